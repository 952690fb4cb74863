#include "encrypt/detectability.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <thread>

#include "operation_test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoCrop;
using testing::PhotoPath;

PixelGrid Photo(const std::string& name) {
    PixelGrid g;
    EXPECT_TRUE(LoadGrid(PhotoPath(name), g)) << name;
    return g;
}

// Words in a fixed, seeded order: text that compresses about as well as
// prose does.
std::u16string Prose(size_t units, uint32_t seed) {
    static const char16_t* const kWords[] = {u"the",   u"river", u"under", u"stone", u"bridge", u"morning",
                                             u"quiet", u"train", u"at",    u"noon",  u"we",     u"meet",
                                             u"north", u"gate",  u"bring", u"the",   u"papers", u"and"};
    std::mt19937 rng(seed);
    std::u16string text;
    while (text.size() < units) {
        text += kWords[rng() % std::size(kWords)];
        text += rng() % 9 == 0 ? u". " : u" ";
    }
    text.resize(units);
    return text;
}

DetectabilityRequest Request(std::u16string message, bool compress, uint64_t seed = 5) {
    DetectabilityRequest r;
    r.message = std::move(message);
    r.compress = compress;
    r.seed = seed;
    return r;
}

TEST(Detectability, VerdictEdges) {
    EXPECT_EQ(ClassifyDetectability(0.01, 0.0049, 0.0199), Detectability::Low);
    EXPECT_EQ(ClassifyDetectability(0.01, 0.005, 0.0), Detectability::Medium);
    EXPECT_EQ(ClassifyDetectability(0.01, 0.001, 0.02), Detectability::Medium);
    EXPECT_EQ(ClassifyDetectability(0.01, 0.0199, 0.08), Detectability::Medium);
    EXPECT_EQ(ClassifyDetectability(0.01, 0.02, 0.0), Detectability::High);
    // A carrier that already reads high leaves no room.
    EXPECT_EQ(ClassifyDetectability(0.048, 0.003, 0.0), Detectability::High);
    EXPECT_EQ(ClassifyDetectability(0.047, 0.003, 0.0), Detectability::Low);
}

TEST(SubGridEstimate, TakesEveryOtherPixelFromItsOffset) {
    PixelGrid g(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) g.at(x, y) = static_cast<uint32_t>(10 * y + x);
    const PixelGrid odd = SubGrid(g, SubGridIndex(1, 0));
    ASSERT_EQ(odd.width, 2);
    ASSERT_EQ(odd.height, 2);
    EXPECT_EQ(odd.pixels, (std::vector<uint32_t>{1, 3, 21, 23}));
    const PixelGrid last = SubGrid(g, SubGridIndex(1, 1));
    EXPECT_EQ(last.width, 2);
    EXPECT_EQ(last.height, 1);
    EXPECT_EQ(SubGrid(g, SubGridIndex(0, 0)).width, 3);
    EXPECT_TRUE(SubGrid(PixelGrid(1, 1), SubGridIndex(1, 0)).empty());
    EXPECT_TRUE(SubGrid(g, 4).empty());
}

TEST(SubGridEstimate, FindsTheSubGridAnEmbeddingWrote) {
    PixelGrid photo = Photo("coffee.png");
    const SubGridEstimates clean = EstimateSubGrids(photo);
    // One channel's LSB replaced at 30% of the pixels of sub-grid x+1 y+1:
    // 7.5% of the image, too little for the whole-image figure to stand out.
    std::mt19937 rng(3);
    for (int y = 1; y < photo.height; y += 2)
        for (int x = 1; x < photo.width; x += 2)
            if (rng() % 10 < 3) photo.at(x, y) = (photo.at(x, y) & ~1u) | (rng() & 1u);
    const SubGridEstimates e = EstimateSubGrids(photo);
    ASSERT_EQ(e.largest, SubGridIndex(1, 1));
    EXPECT_NEAR(e.Largest().share - clean.subGrids[3].share, 0.10, 0.03);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(e.subGrids[i].share, clean.subGrids[i].share, 1e-12);
    const std::string caption = TextToUtf8(SubGridEstimateCaption(e));
    EXPECT_EQ(caption.rfind("Largest Sub-Grid LSB Replacement: ", 0), 0u) << caption;
    EXPECT_NE(caption.find("(x+1 y+1) Sub-Grids: "), std::string::npos) << caption;
    EXPECT_EQ(TextToUtf8(SubGridEstimateCaption(EstimateSubGrids(PixelGrid()))),
              "Largest Sub-Grid LSB Replacement: -- Sub-Grids: -- -- -- --");
}

void ExpectSameTallies(const LsbTallies& a, const LsbTallies& b) {
    ASSERT_EQ(a.ok, b.ok);
    for (int ch = 0; ch < 3; ++ch) {
        SCOPED_TRACE(ch);
        const RsGroupCounts &g = a.groups[ch], &h = b.groups[ch];
        EXPECT_EQ(g.regular, h.regular);
        EXPECT_EQ(g.singular, h.singular);
        EXPECT_EQ(g.regularNegated, h.regularNegated);
        EXPECT_EQ(g.singularNegated, h.singularNegated);
        EXPECT_EQ(g.flippedRegular, h.flippedRegular);
        EXPECT_EQ(g.flippedSingular, h.flippedSingular);
        EXPECT_EQ(g.flippedRegularNegated, h.flippedRegularNegated);
        EXPECT_EQ(g.flippedSingularNegated, h.flippedSingularNegated);
        EXPECT_EQ(a.pairs[ch].equal, b.pairs[ch].equal);
        EXPECT_EQ(a.pairs[ch].lsbOnly, b.pairs[ch].lsbOnly);
        EXPECT_EQ(a.pairs[ch].oddStepEvenLow, b.pairs[ch].oddStepEvenLow);
        EXPECT_EQ(a.pairs[ch].oddStepOddLow, b.pairs[ch].oddStepOddLow);
    }
}

// The expected tallies must be exactly the mean of the tallies of every
// image the replaced bits can make: a whole group of four, neighbours
// across rows, corners and edges, two channels of one pixel, a sample
// listed twice.
TEST(ExpectedReplacement, IsTheMeanOverEveryValueOfTheReplacedBits) {
    const PixelGrid before = PhotoCrop("coffee.png", 200, 100, 37, 23);  // widths that leave part groups
    struct Replaced {
        int x, y;
        uint32_t lsbs;
    };
    const std::vector<Replaced> replaced = {{0, 0, 0x1},    {1, 0, 0x1},       {2, 0, 0x1},   {3, 0, 0x1},
                                            {36, 22, 0x100}, {0, 22, 0x10000},  {5, 5, 0x1},   {5, 6, 0x1},
                                            {6, 5, 0x101},   {33, 10, 0x10000}, {5, 5, 0x1}};
    std::vector<std::pair<Replaced, uint32_t>> samples;  // one bit each
    for (const auto& r : replaced)
        for (uint32_t bit : {0x1u, 0x100u, 0x10000u})
            if ((r.lsbs & bit) && std::none_of(samples.begin(), samples.end(), [&](const auto& s) {
                    return s.first.x == r.x && s.first.y == r.y && s.second == bit;
                }))
                samples.push_back({r, bit});
    ASSERT_EQ(samples.size(), 11u);
    std::vector<ExpectedReplacement> expected;
    expected.emplace_back(before, TallyLsbs(before));
    for (int i = 0; i < kSubGrids; ++i) expected.emplace_back(before, TallyLsbs(SubGrid(before, i)), i);
    for (const auto& r : replaced)
        for (auto& e : expected) e.Replace(r.x, r.y, r.lsbs);
    std::vector<LsbTallies> sum(expected.size());
    const uint32_t images = 1u << samples.size();
    for (uint32_t bits = 0; bits < images; ++bits) {
        PixelGrid after = before;
        for (size_t i = 0; i < samples.size(); ++i)
            if (bits >> i & 1) after.at(samples[i].first.x, samples[i].first.y) ^= samples[i].second;
        for (size_t k = 0; k < sum.size(); ++k) {
            const LsbTallies t = TallyLsbs(k == 0 ? after : SubGrid(after, static_cast<int>(k) - 1));
            for (int ch = 0; ch < 3; ++ch) {
                RsGroupCounts& g = sum[k].groups[ch];
                const RsGroupCounts& h = t.groups[ch];
                g.regular += h.regular / images;
                g.singular += h.singular / images;
                g.regularNegated += h.regularNegated / images;
                g.singularNegated += h.singularNegated / images;
                g.flippedRegular += h.flippedRegular / images;
                g.flippedSingular += h.flippedSingular / images;
                g.flippedRegularNegated += h.flippedRegularNegated / images;
                g.flippedSingularNegated += h.flippedSingularNegated / images;
                sum[k].pairs[ch].equal += t.pairs[ch].equal / images;
                sum[k].pairs[ch].lsbOnly += t.pairs[ch].lsbOnly / images;
                sum[k].pairs[ch].oddStepEvenLow += t.pairs[ch].oddStepEvenLow / images;
                sum[k].pairs[ch].oddStepOddLow += t.pairs[ch].oddStepOddLow / images;
            }
            sum[k].ok = true;
        }
    }
    for (size_t k = 0; k < sum.size(); ++k) {
        SCOPED_TRACE(k);
        ExpectSameTallies(expected[k].Tallies(), sum[k]);
    }
    // The moves are real: the whole image's counts left the carrier's.
    EXPECT_NE(expected[0].Tallies().pairs[0].lsbOnly, TallyLsbs(before).pairs[0].lsbOnly);
    EXPECT_FALSE(ExpectedReplacement(PixelGrid(), TallyLsbs(PixelGrid())).Tallies().ok);
}

TEST(Detectability, KeptEstimatesGiveTheSameFigures) {
    const PixelGrid photo = PhotoCrop("astronaut.png", 100, 100, 300, 240);
    DetectabilityRequest r = Request(Prose(500, 8), false, 3);
    r.findLongestLow = false;
    const CarrierEstimates clean = EstimateCarrier(photo);
    const DetectabilityPrediction kept = PredictDetectability(photo, clean, r);
    ASSERT_EQ(kept.status, PredictionStatus::Done);
    EXPECT_GT(kept.figures.subGridDelta, 2 * kept.figures.delta);
    // The one-shot form estimates only the sub-grid it writes.
    const DetectabilityPrediction once = PredictDetectability(photo, r);
    EXPECT_EQ(once.figures.delta, kept.figures.delta);
    EXPECT_EQ(once.figures.subGridDelta, kept.figures.subGridDelta);
}

TEST(Detectability, RefusesWhatTheEncryptorRefuses) {
    const PixelGrid photo = PhotoCrop("coffee.png", 0, 0, 300, 200);
    EXPECT_EQ(PredictDetectability(PixelGrid(), Request(u"hi", true)).status, PredictionStatus::NoCarrier);
    EXPECT_EQ(PredictDetectability(photo, Request(u"", true)).status, PredictionStatus::NoMessage);
    // Past the reader's window, and past the 0.8 bits per pixel the
    // encryptor allows.
    EXPECT_EQ(PredictDetectability(photo, Request(Prose(600, 1), false)).status, PredictionStatus::TooLarge);
    EXPECT_EQ(PredictDetectability(photo, Request(std::u16string(3100, u'a'), true)).status,
              PredictionStatus::TooLarge);
    // A flat carrier has no textured pixel to write on.
    EXPECT_EQ(PredictDetectability(PixelGrid(300, 200, Rgb(9, 9, 9)), Request(u"hi", true)).status,
              PredictionStatus::PositionsExhausted);
    EXPECT_TRUE(DetectabilityLines(PredictDetectability(photo, Request(u"", true))).empty());
}

TEST(Detectability, SameSeedSameFiguresOnAnyThread) {
    const PixelGrid photo = PhotoCrop("astronaut.png", 0, 0, 256, 256);
    const DetectabilityRequest request = Request(Prose(400, 2), false, 77);
    DetectabilityPrediction a, b;
    std::thread first([&] { a = PredictDetectability(photo, request); });
    std::thread second([&] { b = PredictDetectability(photo, request); });
    first.join();
    second.join();
    ASSERT_EQ(a.status, PredictionStatus::Done);
    EXPECT_EQ(a.figures.delta, b.figures.delta);
    EXPECT_EQ(a.figures.subGridDelta, b.figures.subGridDelta);
    EXPECT_EQ(a.longestLow, b.longestLow);
    // An embedding through the steps flips about half the bits it places.
    EXPECT_EQ(a.containerUnits, 400 + kContainerOverhead);
    EXPECT_NEAR(static_cast<double>(a.changedLsbs), 8.0 * a.containerUnits, 0.1 * 8.0 * a.containerUnits);
    const auto lines = DetectabilityLines(a);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(TextToUtf8(lines.back()), "Detectability: " + TextToUtf8(DetectabilityName(a.figures.verdict)));
}

TEST(Detectability, LongestLowIsNeverShorterThanALowMessage) {
    const PixelGrid photo = PhotoCrop("astronaut.png", 0, 0, 400, 400);
    for (const bool compress : {false, true}) {
        for (const size_t length : {40, 250, 600}) {
            const DetectabilityPrediction p = PredictDetectability(photo, Request(Prose(length, 6), compress, 9));
            ASSERT_EQ(p.status, PredictionStatus::Done);
            if (p.figures.verdict == Detectability::Low) EXPECT_GE(p.longestLow, static_cast<int64_t>(length));
            else EXPECT_LT(p.longestLow, static_cast<int64_t>(length));
        }
    }
}

TEST(Detectability, TakesTheRealKeysSubGridWhenGiven) {
    const PixelGrid photo = PhotoCrop("coffee.png", 100, 100, 200, 160);
    DetectabilityRequest r = Request(Prose(300, 3), true);
    // Characters 5 and 6 make the seed; their product's two low bits the
    // sub-grid: all four come up.
    std::set<int> seen;
    for (const std::u16string comment : {u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>", u"<Qx7!}pL9aZ><Rb2#kT8mWq><01>",
                                         u"<Qx7#}pL9aZ><Rb2#kT8mWq><01>", u"<Qx7$~pL9aZ><Rb2#kT8mWq><01>"}) {
        KeyParams params;
        ASSERT_TRUE(KeyParameters(comment, params));
        r.keyComment = comment;
        r.findLongestLow = false;
        const DetectabilityPrediction p = PredictDetectability(photo, r);
        ASSERT_EQ(p.status, PredictionStatus::Done);
        EXPECT_EQ(p.figures.subGrid, SubGridIndex(params.flagX, params.flagY));
        seen.insert(p.figures.subGrid);
    }
    EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
}  // namespace corvane
