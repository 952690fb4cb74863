#include "encrypt/carrier_analysis.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "core/image_decoder.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;

std::u16string Chars(size_t n) { return std::u16string(n, u'x'); }

TEST(LsbUsage, CaptionAndBands) {
    const LsbUsage none = UpdateLsbUsage(u"", 100, 100);
    EXPECT_EQ(none.caption, u"0B");
    EXPECT_TRUE(none.recolour);
    EXPECT_EQ(none.colour, kLsbGood);

    const LsbUsage example = UpdateLsbUsage(Chars(75), 100, 100);
    EXPECT_EQ(example.messageBytes, 150);
    EXPECT_DOUBLE_EQ(example.lsbShare, 0.02);
    EXPECT_EQ(example.caption, u"150B/2.000%");
    EXPECT_EQ(example.colour, kLsbGood);

    // 150 characters flip 1200 bits on average: exactly 5% of 100 x 80 x 3
    // LSBs and exactly 10% of 80 x 50 x 3.
    EXPECT_EQ(UpdateLsbUsage(Chars(150), 100, 80).caption, u"300B/5.000%");
    EXPECT_EQ(UpdateLsbUsage(Chars(150), 100, 80).colour, kLsbGood);
    EXPECT_EQ(UpdateLsbUsage(Chars(151), 100, 80).colour, kLsbWarning);
    EXPECT_EQ(UpdateLsbUsage(Chars(150), 80, 50).caption, u"300B/10.000%");
    EXPECT_EQ(UpdateLsbUsage(Chars(150), 80, 50).colour, kLsbWarning);
    EXPECT_EQ(UpdateLsbUsage(Chars(151), 80, 50).colour, kLsbBad);

    EXPECT_EQ(UpdateLsbUsage(Chars(6173), 1600, 1200).caption, u"12,346B/0.857%");
}

TEST(LsbUsage, WithoutImageOnlyTheLengthAndNoRecolour) {
    for (auto [w, h] : {std::pair{0, 0}, {0, 100}, {100, 0}, {-5, 10}}) {
        const LsbUsage u = UpdateLsbUsage(Chars(75), w, h);
        EXPECT_EQ(u.caption, u"150B") << w << "x" << h;
        EXPECT_FALSE(u.recolour);
        EXPECT_EQ(u.lsbShare, 0);
    }
}

TEST(LsbUsage, HugeImageDoesNotWrapTheLsbCount) {
    // 50000 x 50000 x 3 LSBs do not fit in 32 bits.
    const LsbUsage u = UpdateLsbUsage(Chars(75), 50000, 50000);
    EXPECT_GT(u.lsbShare, 0);
    EXPECT_NEAR(u.lsbShare, 600.0 / 7.5e9, 1e-15);
    EXPECT_EQ(u.caption, u"150B/0.000%");
    EXPECT_EQ(u.colour, kLsbGood);
}

TEST(CarrierAnalysis, SampleStepsAndColumns) {
    EXPECT_EQ(SampleStep(20), 10);
    EXPECT_EQ(SampleStep(1000), 10);
    EXPECT_EQ(SampleStep(1001), 10);
    EXPECT_EQ(SampleStep(1050), 10);
    EXPECT_EQ(SampleStep(1150), 12);
    EXPECT_EQ(SampleStep(1600), 16);

    Reporter quiet;
    // A 20-pixel-high strip has its one sample row at y = 10.
    EXPECT_EQ(AnalyseCarrier(PixelGrid(1000, 20, Rgb(9, 9, 9)), quiet).sampleCount, 99);
    PixelGrid wide(1001, 20, Rgb(9, 9, 9));
    wide.at(990, 10) = Rgb(0, 0, 0);   // the last sampled column
    wide.at(1000, 10) = Rgb(0, 0, 0);  // past it
    const CarrierAnalysisResult r = AnalyseCarrier(wide, quiet);
    EXPECT_EQ(r.sampleCount, 99);
    EXPECT_EQ(r.blackCount, 1);
    EXPECT_EQ(AnalyseCarrier(PixelGrid(1150, 20, Rgb(9, 9, 9)), quiet).sampleCount, 95);  // 10, 22, ... 1138
}

TEST(CarrierAnalysis, FlatImagesScoreLow) {
    Reporter quiet;
    const CarrierAnalysisResult grey = AnalyseCarrier(PixelGrid(100, 100, Rgb(30, 60, 90)), quiet);
    EXPECT_EQ(grey.sampleCount, 81);
    EXPECT_EQ(grey.sameCount, 4 * 81);
    EXPECT_DOUBLE_EQ(grey.score, 0.5);
    EXPECT_EQ(grey.caption, u"50.00% - NOGO");
    EXPECT_EQ(grey.statistics, u"Enc: 00.00% Same: 100.00% Blk: 00.00% Wht: 00.00%");
    EXPECT_EQ(grey.verdict, Verdict::Nogo);
    EXPECT_EQ(grey.colour, kScoreNogo);

    const CarrierAnalysisResult black = AnalyseCarrier(PixelGrid(100, 100, 0), quiet);
    EXPECT_DOUBLE_EQ(black.score, 0.25);
    EXPECT_EQ(black.caption, u"25.00% - NOGO");
    EXPECT_EQ(black.statistics, u"Enc: 00.00% Same: 100.00% Blk: 100.00% Wht: 00.00%");

    const CarrierAnalysisResult white = AnalyseCarrier(PixelGrid(100, 100, Rgb(255, 255, 255)), quiet);
    EXPECT_EQ(white.whiteCount, 81);
    EXPECT_EQ(white.blackCount, 0);
    EXPECT_EQ(white.caption, u"25.00% - NOGO");
}

TEST(CarrierAnalysis, NoiseIsOkAndPhotoIsRated) {
    Reporter quiet;
    const CarrierAnalysisResult noise = AnalyseCarrier(RandomGrid(300, 200, 5), quiet);
    EXPECT_EQ(noise.sampleCount, 29 * 19);
    EXPECT_GT(noise.encRatio, 0.95);
    EXPECT_EQ(noise.verdict, Verdict::Ok);
    EXPECT_EQ(noise.colour, kScoreOk);

    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
    const CarrierAnalysisResult r = AnalyseCarrier(photo, quiet);
    EXPECT_EQ(r.sampleCount, 59 * 39);
    const double expected = 0.25 * r.encRatio + 0.25 * PenaltyTerm(r.sameRatio) + 0.25 * PenaltyTerm(r.blackRatio) +
                            0.25 * PenaltyTerm(r.whiteRatio);
    EXPECT_DOUBLE_EQ(r.score, expected);
    EXPECT_EQ(r.caption, EncodabilityCaption(r.score));
    EXPECT_EQ(r.statistics.substr(0, 5), u"Enc: ");
}

TEST(CarrierAnalysis, PenaltyAndVerdictEdges) {
    EXPECT_DOUBLE_EQ(PenaltyTerm(0), 1.0);
    EXPECT_DOUBLE_EQ(PenaltyTerm(0.025), 0.5);
    EXPECT_DOUBLE_EQ(PenaltyTerm(0.05), 0.0);
    EXPECT_DOUBLE_EQ(PenaltyTerm(0.5), 0.0);

    EXPECT_EQ(EncodabilityVerdict(0.7999), Verdict::Nogo);
    EXPECT_EQ(EncodabilityVerdict(0.80), Verdict::Marginal);
    EXPECT_EQ(EncodabilityVerdict(0.90), Verdict::Marginal);
    EXPECT_EQ(EncodabilityVerdict(0.9001), Verdict::Ok);
    EXPECT_EQ(EncodabilityCaption(0.9375), u"93.75% - OK");
    EXPECT_EQ(EncodabilityCaption(0.80), u"80.00% - Marginal");
    EXPECT_EQ(EncodabilityCaption(0.90), u"90.00% - Marginal");
}

TEST(CarrierAnalysis, ImagesWithoutSamplePointGetTheLowestVerdict) {
    Reporter quiet;
    for (auto [w, h] : {std::pair{19, 100}, {100, 19}, {1, 1}, {1, 500}, {0, 0}}) {
        const CarrierAnalysisResult r = AnalyseCarrier(PixelGrid(w, h, Rgb(1, 2, 3)), quiet);
        EXPECT_EQ(r.sampleCount, 0) << w << "x" << h;
        EXPECT_EQ(r.caption, u"0.00% - NOGO");
        EXPECT_TRUE(r.statistics.empty());
        EXPECT_EQ(r.colour, kScoreNogo);
    }
    EXPECT_EQ(AnalyseCarrier(PixelGrid(20, 20, Rgb(1, 2, 3)), quiet).sampleCount, 1);
}

// Progress once before sampling and once per sampled column, growing.
TEST(CarrierAnalysis, ReportsProgressPerColumn) {
    struct Recorder : Reporter {
        std::vector<double> fractions;
        void ProgressFraction(double f) override { fractions.push_back(f); }
    } recorder;
    AnalyseCarrier(RandomGrid(100, 60, 1), recorder);
    ASSERT_EQ(recorder.fractions.size(), 1u + 9u);
    EXPECT_EQ(recorder.fractions.front(), 0.0);
    EXPECT_TRUE(std::is_sorted(recorder.fractions.begin(), recorder.fractions.end()));
    EXPECT_LE(recorder.fractions.back(), 1.0);
}

}  // namespace
}  // namespace corvane
