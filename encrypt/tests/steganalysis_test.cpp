#include "encrypt/steganalysis.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <random>

#include "operation_test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;
using testing::RecordingEncryptReporter;
using testing::SelectedInputs;
using testing::TempFolder;

PixelGrid Photo(const std::string& name) {
    PixelGrid g;
    EXPECT_TRUE(LoadGrid(PhotoPath(name), g)) << name;
    return g;
}

// Exactly round(share x N) of the N pixels, chosen at random.
std::vector<size_t> PickPixels(const PixelGrid& g, double share, std::mt19937& rng) {
    std::vector<size_t> all(g.pixels.size());
    std::iota(all.begin(), all.end(), size_t{0});
    std::shuffle(all.begin(), all.end(), rng);
    all.resize(static_cast<size_t>(std::llround(share * static_cast<double>(all.size()))));
    return all;
}

// Replaces the three LSBs of a random `share` of the pixels with random bits.
PixelGrid ReplaceLsbs(PixelGrid g, double share, uint32_t seed) {
    std::mt19937 rng(seed);
    for (size_t i : PickPixels(g, share, rng)) g.pixels[i] = (g.pixels[i] & ~0x010101u) | (rng() & 0x010101u);
    return g;
}

void ExpectFiniteEverywhere(const LsbSteganalysis& e) {
    for (const auto& c : e.channels) {
        EXPECT_TRUE(std::isfinite(c.rs.share));
        EXPECT_TRUE(std::isfinite(c.samplePairs.share));
    }
    EXPECT_TRUE(std::isfinite(e.rs.share));
    EXPECT_TRUE(std::isfinite(e.samplePairs.share));
    EXPECT_TRUE(std::isfinite(e.combined.share));
}

TEST(LsbReplacementEstimate, UntouchedPhotosReadBelowThreePercent) {
    for (const char* name : {"coffee.png", "astronaut.png"}) {
        SCOPED_TRACE(name);
        const LsbSteganalysis e = EstimateLsbReplacement(Photo(name));
        ASSERT_TRUE(e.combined.ok && e.rs.ok && e.samplePairs.ok);
        EXPECT_LT(std::fabs(e.combined.share), 0.03);
        EXPECT_LT(std::fabs(e.rs.share), 0.03);
        EXPECT_LT(std::fabs(e.samplePairs.share), 0.03);
    }
}

TEST(LsbReplacementEstimate, RecoversTheShareOfPixelsWithReplacedLsbs) {
    for (const char* name : {"coffee.png", "astronaut.png"}) {
        const PixelGrid photo = Photo(name);
        for (const double share : {0.20, 0.50}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(share));
            const LsbSteganalysis e = EstimateLsbReplacement(ReplaceLsbs(photo, share, 17));
            EXPECT_NEAR(e.combined.share, share, 0.03);
            // Each method alone, and each channel with a third of the samples,
            // is noisier.
            EXPECT_NEAR(e.rs.share, share, 0.045);
            EXPECT_NEAR(e.samplePairs.share, share, 0.045);
            for (const auto& c : e.channels) {
                EXPECT_NEAR(c.rs.share, share, 0.07);
                EXPECT_NEAR(c.samplePairs.share, share, 0.07);
            }
        }
        // A small share lifts the photo's own reading by about that much.
        SCOPED_TRACE(std::string(name) + " 0.05");
        const double untouched = EstimateLsbReplacement(photo).combined.share;
        EXPECT_NEAR(EstimateLsbReplacement(ReplaceLsbs(photo, 0.05, 17)).combined.share - untouched, 0.05, 0.015);
    }
}

TEST(LsbReplacementEstimate, FlippingAShareOfTheLsbsReadsAsTwiceThatShare) {
    // Random replacement flips half the bits it touches, so flipping all
    // three LSBs of 10% of the pixels looks like replacing those of 20%.
    PixelGrid g = Photo("coffee.png");
    std::mt19937 rng(3);
    for (size_t i : PickPixels(g, 0.10, rng)) g.pixels[i] ^= 0x010101u;
    EXPECT_NEAR(EstimateLsbReplacement(g).combined.share, 0.20, 0.03);
}

TEST(LsbReplacementEstimate, FlatImages) {
    const LsbSteganalysis flat = EstimateLsbReplacement(PixelGrid(64, 48, Rgb(100, 101, 0)));
    EXPECT_TRUE(flat.rs.ok);
    EXPECT_TRUE(flat.samplePairs.ok);
    EXPECT_NEAR(flat.rs.share, 0.0, 1e-12);
    EXPECT_NEAR(flat.samplePairs.share, 0.0, 1e-12);
    EXPECT_NEAR(flat.combined.share, 0.0, 1e-12);

    // Values at both ends, where the negated flip leaves 0...255.
    PixelGrid ends(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ends.at(x, y) = (x / 3 + y) % 2 ? Rgb(255, 0, 254) : Rgb(0, 255, 1);
    ExpectFiniteEverywhere(EstimateLsbReplacement(ends));

    // Half the pixels of a flat grey given random LSBs.
    const LsbSteganalysis half = EstimateLsbReplacement(ReplaceLsbs(PixelGrid(200, 200, Rgb(90, 90, 90)), 0.5, 4));
    EXPECT_NEAR(half.samplePairs.share, 0.5, 0.02);
    EXPECT_NEAR(half.combined.share, 0.5, 0.03);
}

TEST(LsbReplacementEstimate, TooSmallOrBrokenGridsGiveNoFigures) {
    auto noFigures = [](const LsbSteganalysis& e) {
        for (const auto& c : e.channels) EXPECT_FALSE(c.rs.ok || c.samplePairs.ok);
        EXPECT_FALSE(e.rs.ok || e.samplePairs.ok || e.combined.ok);
        EXPECT_EQ(e.combined.share, 0.0);
    };
    noFigures(EstimateLsbReplacement(PixelGrid()));
    noFigures(EstimateLsbReplacement(PixelGrid(1, 1, Rgb(1, 2, 3))));
    PixelGrid broken(40, 40);
    broken.pixels.resize(100);
    noFigures(EstimateLsbReplacement(broken));

    // Three columns: pairs but no group of four; the combined figure is then
    // the sample-pair one.
    const LsbSteganalysis narrow = EstimateLsbReplacement(RandomGrid(3, 50, 9));
    EXPECT_FALSE(narrow.rs.ok);
    ASSERT_TRUE(narrow.samplePairs.ok);
    EXPECT_EQ(narrow.combined.share, narrow.samplePairs.share);
    EXPECT_FALSE(EstimateLsbReplacement(PixelGrid(3, 1, Rgb(7, 7, 7))).rs.ok);
    EXPECT_TRUE(EstimateLsbReplacement(PixelGrid(4, 1, Rgb(7, 7, 7))).rs.ok);

    // Tiny random images reach every branch of both equations.
    for (uint32_t seed = 0; seed < 2000; ++seed) {
        std::mt19937 rng(seed);
        const int w = 1 + static_cast<int>(rng() % 7), h = 1 + static_cast<int>(rng() % 7);
        PixelGrid g = RandomGrid(w, h, seed);
        if (seed % 3 == 0)
            for (auto& p : g.pixels) p &= 0x030303u;
        ExpectFiniteEverywhere(EstimateLsbReplacement(g));
    }
}

// The tallies straight from their definitions, a group and a pair at a time.
LsbTallies ReferenceTallies(const PixelGrid& g) {
    LsbTallies t;
    t.ok = true;
    auto negated = [](int v) { return (v & 1) ? v + 1 : v - 1; };
    auto roughness = [](int a, int b, int c, int d) { return std::abs(b - a) + std::abs(c - b) + std::abs(d - c); };
    auto pair = [](int u, int v, SamplePairCounts& k) {
        if (u == v)
            ++k.equal;
        else if (u / 2 == v / 2)
            ++k.lsbOnly;
        else if ((u - v) % 2 != 0)
            ++(std::min(u, v) % 2 ? k.oddStepOddLow : k.oddStepEvenLow);
    };
    for (int ch = 0; ch < 3; ++ch) {
        auto s = [&](int x, int y) { return static_cast<int>((g.at(x, y) >> (8 * ch)) & 0xFF); };
        RsGroupCounts& k = t.groups[ch];
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x + 3 < g.width; x += 4)
                for (int lsbs : {0, 1}) {
                    const int a = s(x, y) ^ lsbs, b = s(x + 1, y) ^ lsbs, c = s(x + 2, y) ^ lsbs, d = s(x + 3, y) ^ lsbs;
                    const int r = roughness(a, b, c, d);
                    const int m = roughness(a, b ^ 1, c ^ 1, d) - r;
                    const int n = roughness(a, negated(b), negated(c), d) - r;
                    (lsbs ? k.flippedRegular : k.regular) += m > 0;
                    (lsbs ? k.flippedSingular : k.singular) += m < 0;
                    (lsbs ? k.flippedRegularNegated : k.regularNegated) += n > 0;
                    (lsbs ? k.flippedSingularNegated : k.singularNegated) += n < 0;
                }
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) {
                if (x + 1 < g.width) pair(s(x, y), s(x + 1, y), t.pairs[ch]);
                if (y + 1 < g.height) pair(s(x, y), s(x, y + 1), t.pairs[ch]);
            }
    }
    return t;
}

std::array<double, 12> CountsOf(const LsbTallies& t, int ch) {
    const RsGroupCounts& k = t.groups[ch];
    const SamplePairCounts& p = t.pairs[ch];
    return {k.regular,         k.singular,        k.regularNegated,        k.singularNegated,
            k.flippedRegular,  k.flippedSingular, k.flippedRegularNegated, k.flippedSingularNegated,
            p.equal,           p.lsbOnly,         p.oddStepEvenLow,        p.oddStepOddLow};
}

void ExpectReferenceTallies(const PixelGrid& g) {
    SCOPED_TRACE(std::to_string(g.width) + " x " + std::to_string(g.height));
    const LsbTallies fast = TallyLsbs(g), reference = ReferenceTallies(g);
    ASSERT_TRUE(fast.ok);
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(CountsOf(fast, ch), CountsOf(reference, ch)) << "channel " << ch;
}

// Random values over a few levels; the top byte, which is no sample,
// filled in as well.
PixelGrid RandomLevels(int w, int h, const std::vector<int>& levels, uint32_t seed) {
    std::mt19937 rng(seed);
    PixelGrid g(w, h);
    for (auto& p : g.pixels) {
        p = rng() & 0xFF000000u;
        for (int ch = 0; ch < 3; ++ch) p |= static_cast<uint32_t>(levels[rng() % levels.size()]) << (8 * ch);
    }
    return g;
}

TEST(LsbTallies, EqualTheirDefinitionsForAnyImage) {
    // Widths around the 64-pixel runs the pass takes at a time and part
    // groups; single rows and columns.
    std::vector<int> all(256);
    std::iota(all.begin(), all.end(), 0);
    uint32_t seed = 0;
    for (int w : {1, 2, 3, 4, 5, 6, 7, 63, 64, 65, 67, 128, 130, 193})
        for (int h : {1, 2, 5}) {
            ExpectReferenceTallies(RandomLevels(w, h, all, ++seed));
            ExpectReferenceTallies(RandomLevels(w, h, {0, 1, 2, 3, 252, 253, 254, 255}, ++seed));
            ExpectReferenceTallies(RandomLevels(w, h, {126, 127, 128, 129, 130}, ++seed));
        }
    // Flat images and extremes wide enough that a count reaches every lane
    // thousands of times along a row.
    for (uint32_t fill : {0x00000000u, 0xFFFFFFFFu, 0xFF000100u, 0x00FE01FFu})
        ExpectReferenceTallies(PixelGrid(64 * 40 + 3, 3, fill));
    ExpectReferenceTallies(RandomLevels(64 * 40 + 5, 4, {0, 1, 254, 255}, 99));

    for (const char* name : {"coffee.png", "astronaut.png"}) {
        SCOPED_TRACE(name);
        const PixelGrid photo = Photo(name);
        ExpectReferenceTallies(photo);
        ExpectReferenceTallies(SubGrid(photo, 3));
        ExpectReferenceTallies(ReplaceLsbs(photo, 0.3, 5));
    }

    PixelGrid broken(100, 3);
    broken.pixels.pop_back();
    EXPECT_FALSE(TallyLsbs(broken).ok);
    EXPECT_FALSE(TallyLsbs(PixelGrid()).ok);
}

TEST(LsbReplacementEstimate, DegenerateRsEquations) {
    EXPECT_FALSE(RsShare({}).ok);
    // A first-order equation whose root falls where the share has a pole.
    RsGroupCounts pole;
    pole.regular = 10;
    pole.flippedSingular = 10;
    EXPECT_FALSE(RsShare(pole).ok);
    // First order with an ordinary root: x = 1/3.
    RsGroupCounts linear = pole;
    linear.regularNegated = 5;
    const LsbShareEstimate l = RsShare(linear);
    ASSERT_TRUE(l.ok);
    EXPECT_NEAR(l.share, -2.0, 1e-12);
    // 4x^2 - 2x + 1 has no real root; its vertex x = 1/4 stands in.
    RsGroupCounts noRoot;
    noRoot.regular = noRoot.flippedRegular = 1;
    noRoot.flippedSingularNegated = 2;
    const LsbShareEstimate v = RsShare(noRoot);
    ASSERT_TRUE(v.ok);
    EXPECT_NEAR(v.share, -1.0, 1e-12);
}

TEST(LsbReplacementEstimate, SamplePairEquation) {
    EXPECT_FALSE(SamplePairShare({}).ok);
    EXPECT_FALSE(SamplePairShare({0, 0, 30, 10}).ok);  // no close pairs to measure
    EXPECT_NEAR(SamplePairShare({10, 0, 0, 0}).share, 0.0, 1e-15);
    // Equal neighbours with a quarter of the LSBs flipped: 1/4 + 1/4 - 2/16
    // of the pairs differ in the LSB, a share of 0.5 replaced.
    const LsbShareEstimate flat = SamplePairShare({625, 375, 0, 0});
    ASSERT_TRUE(flat.ok);
    EXPECT_NEAR(flat.share, 0.5, 1e-12);
    // Every close pair differing: no real root; the vertex reads fully
    // replaced.
    EXPECT_NEAR(SamplePairShare({0, 1, 0, 0}).share, 1.0, 1e-12);
}

TEST(LsbReplacementEstimate, Caption) {
    LsbSteganalysis e;
    EXPECT_EQ(LsbEstimateCaption(e), u"LSB Replacement: -- RS:-- (R:-- G:-- B:--) SPA:-- (R:-- G:-- B:--)");
    e.combined = {true, 0.00424};
    e.rs = {true, -0.012};  // noise below zero shows as none
    e.samplePairs = {true, 0.02051};
    e.channels[0] = {{true, 0.5}, {true, 1.7}};
    e.channels[1] = {{false, 0}, {true, 0.12346}};
    e.channels[2] = {{true, 0.03}, {false, 0}};
    EXPECT_EQ(LsbEstimateCaption(e), u"LSB Replacement: 0.42% RS:0.00% (R:50.00% G:-- B:3.00%) "
                                     u"SPA:2.05% (R:100.00% G:12.35% B:--)");
}

// Our own embedding flips at most one LSB per taken pixel, and only as many
// as the message needs.
TEST(LsbReplacementEstimate, ImagesFromTheEncryptorReadNearTheirCarrier) {
    std::mt19937 rng(5);
    std::u16string longMessage;
    for (int i = 0; i < 2000; ++i) longMessage += static_cast<char16_t>(u'!' + rng() % 90);
    for (const std::u16string& message : {std::u16string(u"Meet me at the usual place at noon."), longMessage}) {
        SCOPED_TRACE(message.size());
        TempFolder dir;
        std::filesystem::create_directory(dir / "Encrypted Images");
        PixelGrid carrier = Photo("coffee.png");
        const PixelGrid key = RandomGrid(carrier.width, carrier.height, 7);
        EmbeddingSteps steps;
        RecordingEncryptReporter reporter;
        SequenceRandom positions;
        const EncryptResult r = EncryptImage(carrier, key, SelectedInputs(message, dir.path()), steps, reporter, positions);
        ASSERT_EQ(r.status, EncryptStatus::Saved);
        PixelGrid saved;
        ASSERT_TRUE(LoadGrid(r.savedPath, saved));
        // The carrier now holds the repairs, so it differs from the saved
        // image in the flipped LSBs alone.
        int64_t flipped = 0;
        for (size_t i = 0; i < saved.pixels.size(); ++i)
            flipped += std::popcount((saved.pixels[i] ^ carrier.pixels[i]) & 0x010101u);
        const double replacedLike = 2.0 * static_cast<double>(flipped) / (3.0 * static_cast<double>(saved.pixels.size()));

        const double before = EstimateLsbReplacement(carrier).combined.share;
        const double after = EstimateLsbReplacement(saved).combined.share;
        EXPECT_LT(after, 0.05);
        EXPECT_GT(after - before, 0.0);
        EXPECT_LT(after - before, replacedLike + 0.005);
        if (message.size() < 100) {
            EXPECT_LT(after - before, 0.005);
        }
    }
}

}  // namespace
}  // namespace corvane
