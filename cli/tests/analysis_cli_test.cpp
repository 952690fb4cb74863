// corvane rate and corvane analyze, run as a user runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/number_format.hpp"
#include "cli_test_support.hpp"

namespace corvane {
namespace {

using testing::Outcome;
using testing::PhotoPath;
using testing::RunCorvane;
using testing::Lines;
using testing::Count;
using testing::EndsWith;
using testing::ReadBytes;
using testing::TempFolder;

TEST(RateCommand, PrintsTheThreeCaptionsThenThePrediction) {
    const Outcome o = RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message",
                                  "Meet me at the usual place at noon."});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = Lines(o.out);
    ASSERT_GE(lines.size(), 3u) << o.out;
    EXPECT_EQ(lines[0], "70B/0.039%");  // 35 characters, 280 expected changes in 600 x 400 x 3 LSBs
    EXPECT_TRUE(EndsWith(lines[1], " - NOGO") || EndsWith(lines[1], " - Marginal") || EndsWith(lines[1], " - OK"))
        << lines[1];
    EXPECT_EQ(lines[2].rfind("Enc: ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(" Same: "), std::string::npos);
}

TEST(RateCommand, MessageFileAndSmallImage) {
    TempFolder dir;
    // Two characters above U+FFFF take two UTF-16 units each.
    testing::WriteBytes(dir / "msg.txt", "caf\xC3\xA9 \xF0\x9F\x98\x80\xF0\x9F\x98\x80");
    ASSERT_TRUE(SaveGrid(PixelGrid(19, 300, Rgb(5, 6, 7)), OutputKind::Png, dir / "strip.png"));
    const Outcome o = RunCorvane({"rate", "--carrier", dir / "strip.png", "--message-file", dir / "msg.txt"});
    ASSERT_EQ(o.status, 0) << o.err;
    // 9 units = 18 bytes; 72 / (19 x 300 x 3) = 0.421%.
    EXPECT_EQ(o.out, "18B/0.421%\n0.00% - NOGO\n\n");

    const Outcome empty = RunCorvane({"rate", "--carrier", PhotoPath("astronaut.png")});
    ASSERT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(Lines(empty.out).at(0), "0B");
}

TEST(RateCommand, Failures) {
    EXPECT_EQ(RunCorvane({"rate"}).status, 2);
    EXPECT_EQ(RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message", "a", "--message-file", "b"}).status,
              2);
    TempFolder dir;
    testing::WriteBytes(dir / "broken.png", "not an image");
    for (const std::string& path : {dir / "missing.png", dir / "broken.png"}) {
        const Outcome o = RunCorvane({"rate", "--carrier", path});
        EXPECT_EQ(o.status, 1) << path;
        EXPECT_TRUE(o.out.empty());
        EXPECT_NE(o.err.find(path), std::string::npos);
    }
    EXPECT_EQ(RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message-file", dir / "none.txt"}).status, 1);
}

class AnalyzeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), carrier));
        // Single LSB changes as a message leaves them: 30 red, 20 green, none blue.
        stego = carrier;
        for (int i = 0; i < 50; ++i) stego.at(7 + 11 * i, 3 + 7 * i) ^= i < 30 ? 0x1u : 0x100u;
        ASSERT_TRUE(SaveGrid(carrier, OutputKind::Png, dir / "carrier.png"));
        ASSERT_TRUE(SaveGrid(stego, OutputKind::Png, dir / "stego.png"));
    }
    static std::string Psnr(int changed, double pixels) {
        return FormatNumberAscii(20 * std::log10(255.0 / std::sqrt(changed / pixels)), "00.00");
    }

    TempFolder dir;
    PixelGrid carrier;
    PixelGrid stego;
};

TEST_F(AnalyzeCommand, FiguresAgainstTheCarrier) {
    const Outcome same = RunCorvane({"analyze", "--image", dir / "carrier.png", "--reference", dir / "carrier.png"});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "Chi-Squared Average Probability: 0.000%\nR:100.00 G:100.00 B:100.00\n");

    const Outcome o = RunCorvane({"analyze", "--image", dir / "stego.png", "--reference", dir / "carrier.png"});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out;
    EXPECT_EQ(lines[0].rfind("Chi-Squared Average Probability: ", 0), 0u);
    EXPECT_TRUE(EndsWith(lines[0], "%"));
    const double pixels = 600.0 * 400.0;
    EXPECT_EQ(lines[1], "R:" + Psnr(30, pixels) + " G:" + Psnr(20, pixels) + " B:100.00");
}

TEST_F(AnalyzeCommand, WritesDiffViewAndVariationMap) {
    const Outcome o = RunCorvane({"analyze", "--image", dir / "stego.png", "--reference", dir / "carrier.png",
                                  "--lsb-view", "diff", "--lsb-out", dir / "diff.png", "--variation", "g",
                                  "--variation-out", dir / "vari.png"});
    ASSERT_EQ(o.status, 0) << o.err;
    PixelGrid diff;
    ASSERT_TRUE(LoadGrid(dir / "diff.png", diff));
    ASSERT_EQ(diff.width, 600);
    ASSERT_EQ(diff.height, 400);
    int marked = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x) {
            const uint32_t want = (stego.at(x, y) ^ carrier.at(x, y)) * 255u;
            EXPECT_EQ(diff.at(x, y), want);
            marked += want != 0;
        }
    EXPECT_EQ(marked, 50);

    PixelGrid vari;
    ASSERT_TRUE(LoadGrid(dir / "vari.png", vari));
    EXPECT_EQ(vari.width, 600);
    EXPECT_EQ(vari.at(0, 0), Rgb(190, 200, 210));

    // An existing picture is never replaced.
    const std::string before = ReadBytes(dir / "diff.png");
    const Outcome again =
        RunCorvane({"analyze", "--image", dir / "carrier.png", "--lsb-out", dir / "diff.png"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "diff.png"), before);
}

TEST_F(AnalyzeCommand, SmallerImageAndUsageErrors) {
    PixelGrid cropped(599, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 599; ++x) cropped.at(x, y) = stego.at(x, y);
    ASSERT_TRUE(SaveGrid(cropped, OutputKind::Png, dir / "cropped.png"));
    const Outcome o = RunCorvane({"analyze", "--image", dir / "cropped.png", "--reference", dir / "carrier.png"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.out.empty()) << o.out;
    EXPECT_NE(o.err.find("Image Smaller Than Original Image."), std::string::npos) << o.err;

    // A larger image is measured over the reference's area; no chi-squared
    // test for images of different sizes.
    const Outcome larger = RunCorvane({"analyze", "--image", dir / "carrier.png", "--reference", dir / "cropped.png"});
    EXPECT_EQ(larger.status, 0) << larger.err;
    EXPECT_EQ(Lines(larger.out).size(), 1u) << larger.out;
    EXPECT_EQ(larger.out.rfind("R:", 0), 0u);

    const std::string image = dir / "stego.png";
    const std::vector<std::vector<std::string>> usage = {
        {"analyze"},
        {"analyze", "--image", image},
        {"analyze", "--image", image, "--lsb-view", "diff", "--lsb-out", dir / "x.png"},
        {"analyze", "--image", image, "--lsb-view", "rgb", "--lsb-out", dir / "x.png"},
        {"analyze", "--image", image, "--lsb-view", "r"},
        {"analyze", "--image", image, "--variation", "g"},
        {"analyze", "--image", image, "--variation", "all", "--variation-out", dir / "x.png"},
        {"analyze", "--image", image, "--variation-out", dir / "x.png"},
    };
    for (const auto& args : usage) EXPECT_EQ(RunCorvane(args).status, 2) << args.size();
    EXPECT_FALSE(testing::ReadBytes(dir / "x.png").size());
    EXPECT_EQ(RunCorvane({"analyze", "--image", dir / "none.png", "--reference", image}).status, 1);
}

// The combined figure of an estimate line, in percent; -1 when the line is
// not an estimate line with every figure present.
double EstimatePercent(const std::string& line) {
    static const std::regex kLine(
        "LSB Replacement: ([0-9]+\\.[0-9]{2})% RS:[0-9.]+% \\(R:[0-9.]+% G:[0-9.]+% B:[0-9.]+%\\) "
        "SPA:[0-9.]+% \\(R:[0-9.]+% G:[0-9.]+% B:[0-9.]+%\\)");
    std::smatch m;
    return std::regex_match(line, m, kLine) ? std::stod(m[1]) : -1;
}

TEST_F(AnalyzeCommand, EstimatesTheShareOfReplacedLsbs) {
    const Outcome clean = RunCorvane({"analyze", "--image", dir / "carrier.png", "--estimate"});
    ASSERT_EQ(clean.status, 0) << clean.err;
    ASSERT_EQ(Lines(clean.out).size(), 2u) << clean.out;
    const double cleanPercent = EstimatePercent(Lines(clean.out)[0]);
    EXPECT_GE(cleanPercent, 0.0) << clean.out;
    EXPECT_LT(cleanPercent, 3.0);

    // Random bits in the LSBs of half the pixels.
    PixelGrid half = carrier;
    std::mt19937 rng(8);
    for (auto& p : half.pixels)
        if (rng() % 2) p = (p & ~0x010101u) | (rng() & 0x010101u);
    ASSERT_TRUE(SaveGrid(half, OutputKind::Png, dir / "half.png"));
    // After the figures against the reference.
    const Outcome o = RunCorvane({"analyze", "--image", dir / "half.png", "--reference", dir / "carrier.png",
                                  "--estimate"});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 4u) << o.out;
    EXPECT_EQ(lines[0].rfind("Chi-Squared Average Probability: ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("R:", 0), 0u);
    EXPECT_NEAR(EstimatePercent(lines[2]), 50.0, 3.0) << lines[2];
}

TEST_F(AnalyzeCommand, EstimateOfImagesTooSmallToMeasure) {
    ASSERT_TRUE(SaveGrid(PixelGrid(2, 1, Rgb(5, 6, 7)), OutputKind::Png, dir / "pair.png"));
    ASSERT_TRUE(SaveGrid(PixelGrid(1, 1, Rgb(5, 6, 7)), OutputKind::Png, dir / "dot.png"));
    const Outcome pair = RunCorvane({"analyze", "--image", dir / "pair.png", "--estimate"});
    EXPECT_EQ(pair.status, 0) << pair.err;
    EXPECT_EQ(pair.out,
              "LSB Replacement: 0.00% RS:-- (R:-- G:-- B:--) SPA:0.00% (R:0.00% G:0.00% B:0.00%)\n"
              "Largest Sub-Grid LSB Replacement: -- Sub-Grids: -- -- -- --\n");
    const Outcome dot = RunCorvane({"analyze", "--image", dir / "dot.png", "--estimate"});
    EXPECT_EQ(dot.status, 0) << dot.err;
    EXPECT_EQ(dot.out,
              "LSB Replacement: -- RS:-- (R:-- G:-- B:--) SPA:-- (R:-- G:-- B:--)\n"
              "Largest Sub-Grid LSB Replacement: -- Sub-Grids: -- -- -- --\n");

    EXPECT_EQ(RunCorvane({"analyze", "--image", dir / "none.png", "--estimate"}).status, 1);
    EXPECT_EQ(RunCorvane({"analyze", "--image", dir / "dot.png", "--estimate", "yes"}).status, 2);
}

}  // namespace
}  // namespace corvane
