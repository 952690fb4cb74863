#include "encrypt/image_analysis.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/number_format.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;

struct MessageRecorder : Reporter {
    std::vector<std::u16string> messages;
    void Message(std::u16string_view text, MessageIcon icon) override {
        EXPECT_EQ(icon, MessageIcon::Information);
        messages.emplace_back(text);
    }
};

TEST(LsbView, ModesColourEachPixel) {
    PixelGrid image(2, 1);
    image.at(0, 0) = Rgb(3, 8, 255);  // red and blue LSBs set
    image.at(1, 0) = Rgb(2, 9, 4);    // green only
    const PixelGrid none;
    EXPECT_EQ(LsbView(image, kLsbViewAll, none).pixels, (std::vector<uint32_t>{Rgb(255, 0, 255), Rgb(0, 255, 0)}));
    EXPECT_EQ(LsbView(image, kLsbViewRed, none).pixels, (std::vector<uint32_t>{Rgb(200, 0, 0), Rgb(200, 200, 200)}));
    EXPECT_EQ(LsbView(image, kLsbViewGreen, none).pixels, (std::vector<uint32_t>{Rgb(200, 200, 200), Rgb(0, 100, 0)}));
    EXPECT_EQ(LsbView(image, kLsbViewBlue, none).pixels, (std::vector<uint32_t>{Rgb(0, 0, 200), Rgb(200, 200, 200)}));
}

TEST(LsbView, DiffMarksOnlyChangedLsbs) {
    const PixelGrid image = RandomGrid(40, 30, 3);
    EXPECT_EQ(LsbView(image, kLsbViewDiff, image), PixelGrid(40, 30, 0));

    PixelGrid changed = image;
    changed.at(7, 5) ^= 0x100;     // green LSB
    changed.at(8, 5) ^= 0x10002;   // blue LSB and a higher red bit
    const PixelGrid diff = LsbView(changed, kLsbViewDiff, image);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t want = (x == 7 && y == 5) ? Rgb(0, 255, 0) : (x == 8 && y == 5) ? Rgb(0, 0, 255) : 0;
            EXPECT_EQ(diff.at(x, y), want) << x << "," << y;
        }

    // Where the reference has no pixel nothing can agree.
    PixelGrid smaller(20, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 20; ++x) smaller.at(x, y) = image.at(x, y);
    const PixelGrid partial = LsbView(image, kLsbViewDiff, smaller);
    EXPECT_EQ(partial.at(19, 29), 0u);
    EXPECT_EQ(partial.at(20, 0), Rgb(255, 255, 255));
    EXPECT_EQ(LsbView(image, kLsbViewDiff, PixelGrid()), PixelGrid(40, 30, Rgb(255, 255, 255)));
    EXPECT_TRUE(LsbView(PixelGrid(), kLsbViewDiff, image).empty());
}

TEST(ColumnGraph, RowsFromLsbSharesAndSteps) {
    // Column 0: every LSB set, never changing. Column 1: all set, then none,
    // alternately. Column 2: red only.
    PixelGrid image(3, 4);
    for (int y = 0; y < 4; ++y) {
        image.at(0, y) = 0x010101;
        image.at(1, y) = (y % 2 == 0) ? 0x010101 : 0;
        image.at(2, y) = 0x000001;
    }
    const ColumnGraph g = ComputeColumnGraph(image);
    EXPECT_EQ(g.green, (std::vector<int>{0, 50, 67}));  // 100 - 100/3 = 66.67
    EXPECT_EQ(g.yellow, (std::vector<int>{100, 0, 100}));

    // A single row has no steps between rows.
    const ColumnGraph flat = ComputeColumnGraph(PixelGrid(5, 1, 0x010101));
    EXPECT_EQ(flat.green, std::vector<int>(5, 0));
    EXPECT_EQ(flat.yellow, std::vector<int>(5, 100));
    EXPECT_TRUE(ComputeColumnGraph(PixelGrid()).green.empty());
}

TEST(ChiSquared, StatisticAndSteps) {
    const std::vector<double> same{4, 7, 3};
    EXPECT_EQ(ChiSquaredStatistic(same, same), 0.0);
    EXPECT_EQ(ChiSquaredProbability(same, same), 0.0);
    // A zero expectation is replaced by 0.00001 itself, so equal zero counts
    // leave a trace of 0.00001 each.
    const std::vector<double> sameWithZero{4, 7, 0};
    EXPECT_DOUBLE_EQ(ChiSquaredStatistic(sameWithZero, sameWithZero), 0.00001);
    EXPECT_EQ(ChiSquaredProbability(sameWithZero, sameWithZero), 0.0);

    const std::vector<double> observed{10, 0, 0};
    const std::vector<double> expected{5, 0, 0};
    EXPECT_DOUBLE_EQ(ChiSquaredStatistic(observed, expected), 5 + 2 * 0.00001);
    EXPECT_EQ(ChiSquaredProbability(observed, expected), 0.9);
    const std::vector<double> zero{0, 0, 0};
    EXPECT_DOUBLE_EQ(ChiSquaredStatistic(observed, zero), (10 - 0.00001) * (10 - 0.00001) / 0.00001 + 2 * 0.00001);
    EXPECT_EQ(ChiSquaredProbability(observed, zero), 1.0);

    EXPECT_EQ(ChiSquaredStep(0.10259), 0.0);
    EXPECT_EQ(ChiSquaredStep(0.1026), 0.1);
    const double edges[] = {0.325, 0.5754, 0.8616, 1.1957, 1.597, 2.0996, 2.7726, 3.7942, 5.9915};
    for (int i = 0; i < 9; ++i) {
        EXPECT_DOUBLE_EQ(ChiSquaredStep(edges[i]), 0.1 * (i + 1)) << edges[i];
        EXPECT_DOUBLE_EQ(ChiSquaredStep(std::nextafter(edges[i], 10.0)), 0.1 * (i + 2)) << edges[i];
    }
    EXPECT_EQ(ChiSquaredStep(1e9), 1.0);
}

TEST(ChiSquared, ColumnsAgainstReference) {
    // Column 0: ten red LSBs against five in the reference (p = 0.9);
    // column 1 the same in both (p = 0).
    PixelGrid reference(2, 10, 0);
    PixelGrid image(2, 10, 0);
    for (int y = 0; y < 10; ++y) {
        image.at(0, y) = 1;
        if (y < 5) reference.at(0, y) = 1;
        image.at(1, y) = reference.at(1, y) = (y % 3 == 0) ? 0x010100 : 0;
    }
    const auto chi = ComputeChiSquared(image, reference);
    ASSERT_TRUE(chi.has_value());
    EXPECT_EQ(chi->probability, (std::vector<double>{0.9, 0.0}));
    EXPECT_EQ(chi->red, (std::vector<int>{10, 100}));
    EXPECT_FLOAT_EQ(chi->average, 0.45f);
    EXPECT_EQ(chi->averageText, u"45.000%");

    const auto identical = ComputeChiSquared(image, image);
    ASSERT_TRUE(identical.has_value());
    EXPECT_EQ(identical->averageText, u"0.000%");

    EXPECT_FALSE(ComputeChiSquared(image, PixelGrid()).has_value());
    EXPECT_FALSE(ComputeChiSquared(image, PixelGrid(2, 9, 0)).has_value());
    EXPECT_FALSE(ComputeChiSquared(PixelGrid(), PixelGrid()).has_value());
}

TEST(Psnr, IdenticalKnownAndMismatchedSizes) {
    const PixelGrid image = RandomGrid(30, 20, 9);
    const PsnrResult same = ComputePsnr(image, image);
    EXPECT_TRUE(same.ok);
    EXPECT_EQ(same.text, u"R:100.00 G:100.00 B:100.00");

    // One red value off by 255 in two pixels: MSE = 255^2 / 2, PSNR = 10 log10(2).
    PixelGrid reference(2, 1, 0);
    PixelGrid changed(2, 1, 0);
    changed.at(1, 0) = Rgb(255, 0, 0);
    const PsnrResult known = ComputePsnr(reference, changed);
    EXPECT_NEAR(known.red, 10 * std::log10(2.0), 1e-12);
    EXPECT_EQ(known.text, u"R:03.01 G:100.00 B:100.00");

    // Only the reference's area counts; an image that does not cover it gets
    // a message, not figures.
    PixelGrid larger = RandomGrid(40, 25, 1);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) larger.at(x, y) = image.at(x, y);
    EXPECT_EQ(ComputePsnr(image, larger).text, u"R:100.00 G:100.00 B:100.00");
    for (const PixelGrid& small : {PixelGrid(29, 20, 0), PixelGrid(30, 19, 0), PixelGrid()}) {
        const PsnrResult r = ComputePsnr(image, small);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.text, kImageSmallerMessage);
    }
    const PsnrResult noReference = ComputePsnr(PixelGrid(), image);
    EXPECT_FALSE(noReference.ok);
    EXPECT_EQ(noReference.text, kNoReferenceMessage);
}

TEST(VariationMap, BlockExampleFlatAreasAndChannels) {
    // The nine green values 0,0,0,0,0,0,0,0,9: m = 1, d = 2, s = 4, level 105.
    PixelGrid block(3, 3, Rgb(77, 0, 200));
    block.at(2, 2) = Rgb(77, 9, 200);
    const PixelGrid green = VariationMapOfChannel(block, 2);
    EXPECT_EQ(green.at(1, 1), Rgb(150, 150, 150));
    EXPECT_EQ(green.at(0, 0), kClearedViewColour);
    EXPECT_EQ(green.at(2, 1), kClearedViewColour);
    EXPECT_EQ(VariationMapOfChannel(block, 1).at(1, 1), 0u);  // red is flat: black

    // Stronger variation is brighter.
    PixelGrid stronger = block;
    stronger.at(2, 2) = Rgb(77, 90, 200);
    EXPECT_GT(VariationMapOfChannel(stronger, 2).at(1, 1) & 0xFF, 150u);

    const PixelGrid photo = RandomGrid(50, 40, 4);
    const PixelGrid map = VariationMapOfChannel(photo, 3);
    ASSERT_EQ(map.width, 50);
    ASSERT_EQ(map.height, 40);
    for (int y = 1; y < 39; ++y)
        for (int x = 1; x < 49; ++x) {
            const uint32_t c = map.at(x, y);
            EXPECT_TRUE(RedOf(c) == GreenOf(c) && GreenOf(c) == BlueOf(c) && (RedOf(c) == 0 || RedOf(c) >= 135));
        }
    EXPECT_EQ(VariationMapOfChannel(PixelGrid(2, 2, 5), 1), PixelGrid(2, 2, kClearedViewColour));
}

TEST(VariationMap, NeedsAChannelOption) {
    const PixelGrid image = RandomGrid(10, 10, 2);
    for (int32_t mode : {int32_t{kLsbViewAll}, int32_t{kLsbViewDiff}, -1, 7}) {
        MessageRecorder recorder;
        EXPECT_FALSE(VariationMap(image, mode, recorder).has_value());
        EXPECT_EQ(recorder.messages, std::vector<std::u16string>{kNoVariationColourMessage});
    }
    MessageRecorder recorder;
    const auto red = VariationMap(image, kLsbViewRed, recorder);
    ASSERT_TRUE(red.has_value());
    EXPECT_EQ(*red, VariationMapOfChannel(image, 1));
    EXPECT_TRUE(recorder.messages.empty());
}

// A message written into a photo changes single LSBs: the PSNR must follow
// from the number of changed values, and the Diff view must show each one.
TEST(ImageAnalysis, EncryptedPhotoAgainstItsCarrier) {
    PixelGrid carrier;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), carrier));
    const PixelGrid key = RandomGrid(carrier.width, carrier.height, 11);
    KeyParams kp;
    ASSERT_TRUE(KeyParameters(u"<abcdefghij><klmnopqrst><07>", kp));
    std::u16string container;
    ASSERT_EQ(BuildContainer(std::u16string(400, u'q'), kp.startDelimiter, kp.endDelimiter, false, container),
              BuildStatus::Ok);
    const std::vector<uint8_t> bits = TextToBits(container);
    PixelGrid stego = carrier;
    SequenceRandom rng;
    PositionSequence seq(carrier, kp.seed, rng);
    PositionSequence::Position p;
    for (size_t i = 0; i < kSkippedPositions + bits.size(); ++i) {
        ASSERT_TRUE(seq.Next(p));
        if (i < static_cast<size_t>(kSkippedPositions)) continue;
        if (static_cast<uint8_t>(ParityBit(stego.at(p.x, p.y) ^ key.at(p.x, p.y))) != bits[i - kSkippedPositions])
            stego.at(p.x, p.y) ^= ChannelBit(p.channel);
    }

    const PixelGrid diff = LsbView(stego, kLsbViewDiff, carrier);
    int64_t changed[3] = {0, 0, 0};
    for (uint32_t c : diff.pixels)
        for (int ch = 0; ch < 3; ++ch) changed[ch] += ((c >> (8 * ch)) & 0xFF) == 255;
    ASSERT_GT(changed[0] + changed[1] + changed[2], 0);
    EXPECT_LE(changed[0] + changed[1] + changed[2], static_cast<int64_t>(bits.size()));

    const PsnrResult psnr = ComputePsnr(carrier, stego);
    ASSERT_TRUE(psnr.ok);
    const double n = static_cast<double>(carrier.width) * carrier.height;
    const double figures[3] = {psnr.red, psnr.green, psnr.blue};
    for (int ch = 0; ch < 3; ++ch) {
        const double want = changed[ch] == 0 ? 100.0 : 20 * std::log10(255.0 / std::sqrt(changed[ch] / n));
        EXPECT_NEAR(figures[ch], want, 1e-9) << ch;
        EXPECT_GT(figures[ch], 60.0);
    }

    const auto chi = ComputeChiSquared(stego, carrier);
    ASSERT_TRUE(chi.has_value());
    EXPECT_GE(chi->average, 0.0f);
    EXPECT_LT(chi->average, 0.5f);

    const ImageAnalysisResult calc = AnalyseImage(stego, kLsbViewDiff, carrier);
    EXPECT_EQ(calc.view, diff);
    EXPECT_EQ(calc.graph.green.size(), static_cast<size_t>(carrier.width));
    ASSERT_TRUE(calc.chiSquared.has_value());
    EXPECT_EQ(calc.chiSquared->averageText, chi->averageText);
}

TEST(ImageAnalysis, EmptyImageGivesEmptyResults) {
    const ImageAnalysisResult r = AnalyseImage(PixelGrid(), kLsbViewAll, RandomGrid(5, 5, 1));
    EXPECT_TRUE(r.view.empty());
    EXPECT_TRUE(r.graph.green.empty());
    EXPECT_FALSE(r.chiSquared.has_value());
}

}  // namespace
}  // namespace corvane
