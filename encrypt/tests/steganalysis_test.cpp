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
