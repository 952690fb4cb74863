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

// Moving the tallies at the changed pixels must give exactly what a new
// pass over the changed image gives, neighbours and edges included.
TEST(LsbTallies, MovedAtChangedPixelsEqualANewPass) {
    const PixelGrid before = PhotoCrop("coffee.png", 200, 100, 37, 23);  // widths that leave part groups
    std::mt19937 rng(4);
    PixelGrid after = before;
    std::vector<std::pair<int, int>> changed;
    // Runs of neighbours, corners and edges, and scattered pixels; one
    // listed pixel left as it was.
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {0, 0}, {1, 0}, {2, 0}, {3, 0}, {36, 22}, {36, 0}, {0, 22}, {5, 5}, {5, 6}, {6, 5}, {33, 10}, {34, 10}})
        changed.emplace_back(x, y);
    for (int i = 0; i < 60; ++i) changed.emplace_back(static_cast<int>(rng() % 37), static_cast<int>(rng() % 23));
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    for (const auto& [x, y] : changed)
        if (x != 5 || y != 6) after.at(x, y) ^= ChannelBit(1 + static_cast<int>(rng() % 3)) | (rng() % 4 == 0 ? 0x10101u : 0);
    ExpectSameTallies(UpdateTallies(TallyLsbs(before), before, after, changed), TallyLsbs(after));
    for (int i = 0; i < kSubGrids; ++i) {
        SCOPED_TRACE(i);
        ExpectSameTallies(UpdateSubGridTallies(TallyLsbs(SubGrid(before, i)), before, after, i, changed),
                          TallyLsbs(SubGrid(after, i)));
    }
    EXPECT_FALSE(UpdateTallies(TallyLsbs(before), before, PixelGrid(5, 5), changed).ok);
}

TEST(Detectability, TrialFiguresEqualAFullEstimateOfItsOutput) {
    const PixelGrid photo = PhotoCrop("astronaut.png", 100, 100, 300, 240);
    DetectabilityRequest r = Request(Prose(500, 8), false, 3);
    r.findLongestLow = false;
    const CarrierEstimates clean = EstimateCarrier(photo);
    const DetectabilityPrediction fast = PredictDetectability(photo, clean, r);
    ASSERT_EQ(fast.status, PredictionStatus::Done);
    // Without tallies the trial estimates its whole output again.
    CarrierEstimates bare = clean;
    bare.wholeTallies = {};
    const DetectabilityPrediction slow = PredictDetectability(photo, bare, r);
    EXPECT_NEAR(fast.figures.delta, slow.figures.delta, 1e-12);
    EXPECT_NEAR(fast.figures.subGridDelta, slow.figures.subGridDelta, 1e-12);
    EXPECT_GT(fast.figures.subGridDelta, 2 * fast.figures.delta);
    // The one-shot form estimates only the sub-grid it writes.
    const DetectabilityPrediction once = PredictDetectability(photo, r);
    EXPECT_NEAR(once.figures.subGridDelta, fast.figures.subGridDelta, 1e-12);
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
            EXPECT_LE(p.trialEmbeddings, 3);
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
        EXPECT_EQ(p.trialEmbeddings, 1);
        seen.insert(p.figures.subGrid);
    }
    EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
}  // namespace corvane
