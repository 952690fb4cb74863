#include "encrypt/embedding_steps.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/number_format.hpp"
#include "operation_test_support.hpp"

namespace corvane {
namespace {

using testing::kComment;
using testing::PhotoCrop;
using testing::RandomGrid;
using testing::RecordingEncryptReporter;
using testing::SeedOf;

struct StepsRun {
    PixelGrid carrier = PhotoCrop("coffee.png", 100, 60, 256, 192);
    PixelGrid key = RandomGrid(256, 192, 7);
    EmbeddingSteps steps;
    RecordingEncryptReporter reporter;
    SequenceRandom rng;

    StepStatus Run(std::u16string_view message, bool compress = false) {
        steps.Step1(carrier, key);
        const StepStatus s = steps.Step2(carrier, key, message, kComment, SeedOf(kComment), compress, rng, reporter);
        if (s == StepStatus::Done) steps.Step3(carrier);
        return s;
    }
};

TEST(EmbeddingSteps, OutputDiffersFromCarrierOnlyInTheChosenChannelBits) {
    StepsRun run;
    ASSERT_EQ(run.Run(u"The steps keep every other pixel as it was."), StepStatus::Done);
    const auto& taken = run.steps.Taken();
    const int64_t totalBits = 16 * static_cast<int64_t>(run.steps.ContainerText().size());
    // The skipped positions, one per bit, and the one extra the loop takes.
    ASSERT_EQ(static_cast<int64_t>(taken.size()), kSkippedPositions + totalBits + 1);

    std::map<std::pair<int, int>, int> channelAt;
    for (const auto& p : taken) channelAt[{p.x, p.y}] = p.channel;
    int64_t changed = 0;
    const std::vector<uint8_t> mark = run.steps.Mark();
    ASSERT_EQ(mark.size(), 256u * 192u);
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint32_t diff = run.steps.OutputPlane().at(x, y) ^ run.carrier.at(x, y);
            EXPECT_EQ(mark[static_cast<size_t>(y) * 256 + x], channelAt.count({x, y}) ? 1 : 0);
            if (diff == 0) continue;
            ++changed;
            ASSERT_TRUE(channelAt.count({x, y})) << x << "," << y;
            EXPECT_EQ(diff, ChannelBit(channelAt[{x, y}]));
        }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(run.steps.Stats().changedCount, changed);

    // The skipped positions and the extra one keep their pixels.
    for (size_t i = 0; i < taken.size(); ++i) {
        const bool carriesBit = i >= static_cast<size_t>(kSkippedPositions) && i + 1 < taken.size();
        if (carriesBit) continue;
        EXPECT_EQ(run.steps.OutputPlane().at(taken[i].x, taken[i].y), run.carrier.at(taken[i].x, taken[i].y));
    }
    // The steps' planes agree with one another.
    const PixelGrid xorPlane = run.steps.XorPlane(run.carrier, run.key);
    const PixelGrid messagePlane = run.steps.MessagePlane(run.carrier, run.key);
    for (size_t i = 0; i < run.carrier.pixels.size(); ++i) {
        EXPECT_EQ(xorPlane.pixels[i], run.carrier.pixels[i] ^ run.key.pixels[i]);
        EXPECT_EQ(run.steps.OutputPlane().pixels[i], messagePlane.pixels[i] ^ run.key.pixels[i]);
    }
}

TEST(EmbeddingSteps, ParitiesCarryTheContainerBitsInOrder) {
    StepsRun run;
    ASSERT_EQ(run.Run(u"abc"), StepStatus::Done);
    // 10 + 7 + 7 + 3 + 10 + 64 code units, both length fields zero.
    const std::u16string& container = run.steps.ContainerText();
    ASSERT_EQ(container.size(), 101u);
    EXPECT_EQ(container.substr(10, 14), u"00000000000000");
    EXPECT_EQ(container.substr(24, 3), u"abc");
    const std::vector<uint8_t> bits = TextToBits(container);
    ASSERT_EQ(bits.size(), 1616u);
    const auto& taken = run.steps.Taken();
    const PixelGrid messagePlane = run.steps.MessagePlane(run.carrier, run.key);
    const int flagX = SeedOf(kComment) & 1, flagY = (SeedOf(kComment) & 2) ? 1 : 0;
    for (size_t i = 0; i < bits.size(); ++i) {
        const auto& p = taken[kSkippedPositions + i];
        ASSERT_EQ(ParityBit(messagePlane.at(p.x, p.y)), bits[i]) << i;
    }
    for (const auto& p : taken) {
        EXPECT_EQ(p.x % 2, flagX);
        EXPECT_EQ(p.y % 2, flagY);
        EXPECT_GE(p.x, 1);
        EXPECT_LE(p.x, 254);
        EXPECT_GE(p.y, 1);
        EXPECT_LE(p.y, 190);
        EXPECT_NE(EligibleChannel(run.carrier, p.x, p.y), 0);
    }
}

TEST(EmbeddingSteps, RerunReproducesAndClockReseedsAfterwards) {
    StepsRun run;
    run.steps.SetClock([] { return 123456; });
    ASSERT_EQ(run.Run(u"Same again"), StepStatus::Done);
    const PixelGrid first = run.steps.OutputPlane();
    // The generator ends seeded with the clock: its upper 16 bits come from
    // the tick count alone.
    SequenceRandom expected;
    expected.SetState(0);
    expected.Seed(123456);
    EXPECT_EQ(run.rng.State() >> 8, expected.State() >> 8);

    run.rng.SetState(0xABCDEF);  // whatever state the program left it in
    ASSERT_EQ(run.Run(u"Same again"), StepStatus::Done);
    EXPECT_EQ(run.steps.OutputPlane(), first);
}

TEST(EmbeddingSteps, ProgressCaptionsAndStatistics) {
    StepsRun run;
    ASSERT_EQ(run.Run(u"progress"), StepStatus::Done);
    const auto captions = run.reporter.Only("progress");
    ASSERT_GE(captions.size(), 2u);
    EXPECT_EQ(captions.front(), "0.06%");  // bit 1 of 1,696
    EXPECT_EQ(captions.back(), "100.00%");
    // The share only grows, and ends whole.
    EXPECT_TRUE(std::is_sorted(run.reporter.fractions.begin(), run.reporter.fractions.end()));
    EXPECT_EQ(run.reporter.fractions.back(), 1.0);

    const EncodeStats& s = run.steps.Stats();
    EXPECT_EQ(s.totalBits, 16 * (kContainerOverhead + 8));
    const std::string expected = FormatNumberAscii(s.changedCount / (3.0 * 256 * 192), "0.000%") + " / " +
                                 FormatNumberAscii(1696.0 / (256 * 192), "0.000") + "bpp";
    EXPECT_EQ(run.reporter.Only("stats"), std::vector<std::string>{expected});
    EXPECT_EQ(run.reporter.statsColour, kStatsGoodColour);
}

TEST(EncodeStats, ColourBands) {
    // 100 x 100 pixels hold 30,000 channel values.
    EncodeStats s{0, 1600, 100, 100};
    EXPECT_EQ(s.Text(), u"0.000% / 0.160bpp");
    EXPECT_EQ(s.Colour(), kStatsGoodColour);
    s.changedCount = 1500;  // exactly 5%
    EXPECT_EQ(s.Colour(), kStatsGoodColour);
    s.changedCount = 1501;
    EXPECT_EQ(s.Colour(), kStatsWarningColour);
    s.changedCount = 3000;  // exactly 10%
    EXPECT_EQ(s.Colour(), kStatsWarningColour);
    EXPECT_EQ(s.Text(), u"10.000% / 0.160bpp");
    s.changedCount = 3001;
    EXPECT_EQ(s.Colour(), kStatsBadColour);
}

TEST(EmbeddingSteps, FlatCarrierExhaustsPositions) {
    StepsRun run;
    run.carrier = testing::DarkNoise(256, 192, 3, 5);
    EXPECT_EQ(run.Run(u"nowhere to go"), StepStatus::PositionsExhausted);
    EXPECT_EQ(run.reporter.Only("progress").back(), "100.00%");
}

TEST(EmbeddingSteps, ShortCommentGivesShortDelimiters) {
    std::u16string start, end;
    KeyDelimiters(u"<abcdefghij><klmnop", start, end);
    EXPECT_EQ(start, u"abcdefghij");
    EXPECT_EQ(end, u"<klmnop");
    KeyDelimiters(u"<ab", start, end);
    EXPECT_EQ(start, u"ab");
    EXPECT_EQ(end, u"");
}

TEST(EmbeddingSteps, StepTwoBeforeStepOneDoesNothing) {
    StepsRun run;
    EXPECT_EQ(run.steps.Step2(run.carrier, run.key, u"early", kComment, SeedOf(kComment), false, run.rng,
                              run.reporter),
              StepStatus::NeedsStep1);
    EXPECT_TRUE(run.steps.Mark().empty());
    EXPECT_TRUE(run.reporter.events.empty());
}

TEST(EmbeddingSteps, KeySmallerThanCarrierLeavesUncoveredPixels) {
    EmbeddingSteps steps;
    const PixelGrid carrier = RandomGrid(6, 5, 1);
    const PixelGrid key = RandomGrid(4, 3, 2);
    steps.Step1(carrier, key);
    const PixelGrid plane = steps.XorPlane(carrier, key);
    EXPECT_EQ(plane.at(3, 2), carrier.at(3, 2) ^ key.at(3, 2));
    EXPECT_EQ(plane.at(4, 2), carrier.at(4, 2));
    EXPECT_EQ(plane.at(0, 4), carrier.at(0, 4));
}

}  // namespace
}  // namespace corvane
