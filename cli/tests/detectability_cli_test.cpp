// How visible a message will be: corvane rate's prediction, the verdict and
// the limit of corvane encrypt, and the sub-grid line of corvane analyze.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "cli_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::Outcome;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::RunCorvane;
using testing::TempFolder;
using testing::WriteBytes;

std::string MakeKey(const std::string& path, int w, int h) {
    SaveOptions options;
    options.comment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";
    EXPECT_EQ(SaveGridFile(RandomGrid(w, h, 4), OutputKind::Key, path, options), SaveStatus::Saved);
    return path;
}

// Letters of a long message: 2,100 of them uncompressed change about 2.8%
// of the LSBs of the 600 x 400 sample photo, which any estimate sees.
std::string LongText() {
    std::mt19937 rng(6);
    std::string text;
    while (text.size() < 2100) text += static_cast<char>('a' + rng() % 26);
    return text;
}

const std::string kShort = "Meet me at the usual place at noon.";

TEST(RatePrediction, OneLinePerFigureThenTheVerdict) {
    const Outcome o = RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message", kShort});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 11u) << o.out;
    EXPECT_EQ(lines[0], "70B/0.039%");  // the rating's own lines come first, unchanged
    const std::vector<std::string> labels = {"Carrier Estimate: ",
                                             "Predicted Estimate: ",
                                             "Delta: ",
                                             "Sub-Grid (x+",
                                             "Sub-Grid Predicted Estimate: ",
                                             "Sub-Grid Delta: ",
                                             "Longest Low Message: "};
    for (size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(lines[3 + i].rfind(labels[i], 0), 0u) << lines[3 + i];
    EXPECT_EQ(lines[10], "Detectability: Low");
}

TEST(RatePrediction, UncompressedLongMessageIsHighAndCompressionHelps) {
    TempFolder dir;
    WriteBytes(dir / "long.txt", LongText());
    const Outcome raw = RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message-file", dir / "long.txt",
                                    "--no-compress"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(Lines(raw.out).back(), "Detectability: High") << raw.out;
    const Outcome zip = RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--message-file", dir / "long.txt"});
    ASSERT_EQ(zip.status, 0) << zip.err;
    EXPECT_NE(Lines(zip.out).back(), "Detectability: High") << zip.out;
}

TEST(RatePrediction, MessageTooLargeKeepsTheRatingAndSaysWhy) {
    TempFolder dir;
    ASSERT_TRUE(SaveGrid(RandomGrid(40, 30, 2), OutputKind::Png, dir / "small.png"));
    const Outcome o = RunCorvane({"rate", "--carrier", dir / "small.png", "--message", LongText()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Lines(o.out).size(), 3u) << o.out;
    EXPECT_NE(o.err.find("no detectability prediction: the message is too large"), std::string::npos) << o.err;
}

class EncryptVerdict : public ::testing::Test {
protected:
    TempFolder dir;
    std::string key = MakeKey(dir / "key.png", 600, 400);

    Outcome Encrypt(const std::string& message, std::vector<std::string> extra) {
        std::vector<std::string> args = {"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"),
                                         "--key",   key,        "--message", message};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCorvane(args);
    }
    size_t SavedCount() const {
        const fs::path folder = dir / "Encrypted Images";
        if (!fs::exists(folder)) return 0;
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
};

TEST_F(EncryptVerdict, PrintedBeforeTheSave) {
    const Outcome o = Encrypt(kShort, {"--max-detectability", "low"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Lines(o.out).size(), 1u);
    const size_t verdict = o.err.find("Detectability: Low (estimate ");
    ASSERT_NE(verdict, std::string::npos) << o.err;
    EXPECT_LT(verdict, o.err.find("Encrypted Image Saved. ")) << o.err;
}

TEST_F(EncryptVerdict, LimitRefusesToSaveAboveIt) {
    for (const char* limit : {"low", "medium"}) {
        const Outcome o = Encrypt(LongText(), {"--no-compress", "--max-detectability", limit});
        EXPECT_EQ(o.status, 1) << limit;
        EXPECT_TRUE(o.out.empty()) << o.out;
        EXPECT_NE(o.err.find("Detectability: High"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(std::string("not saved: detectability High is above --max-detectability ") + limit),
                  std::string::npos)
            << o.err;
    }
    EXPECT_EQ(SavedCount(), 0u);
    // Without the limit the verdict is only a warning.
    const Outcome saved = Encrypt(LongText(), {"--no-compress"});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.err.find("Detectability: High"), std::string::npos);
    EXPECT_EQ(SavedCount(), 1u);
    EXPECT_EQ(Encrypt(kShort, {"--max-detectability", "high"}).status, 2);
}

// Given the key, the rating predicts exactly what the encryption then
// prints; a key that cannot be read is an error, not a silent stand-in.
TEST_F(EncryptVerdict, RateWithTheKeyPrintsWhatTheEncryptionWill) {
    const std::string message = LongText().substr(0, 1500);
    const Outcome encrypted = Encrypt(message, {"--no-compress"});
    ASSERT_EQ(encrypted.status, 0) << encrypted.err;
    const Outcome rated = RunCorvane(
        {"rate", "--carrier", PhotoPath("coffee.png"), "--key", key, "--message", message, "--no-compress"});
    ASSERT_EQ(rated.status, 0) << rated.err;
    const auto lines = Lines(rated.out);
    ASSERT_EQ(lines.size(), 11u) << rated.out;
    auto figure = [](const std::string& line) { return line.substr(line.rfind(' ') + 1); };
    const std::string printed = lines[10].substr(std::string("Detectability: ").size()) + " (estimate " +
                                figure(lines[3]) + ", +" + figure(lines[5]) + "; written sub-grid +" +
                                figure(lines[8]) + ")";
    EXPECT_NE(encrypted.err.find("Detectability: " + printed), std::string::npos) << encrypted.err << rated.out;
    WriteBytes(dir / "broken.png", "not an image");
    const Outcome broken =
        RunCorvane({"rate", "--carrier", PhotoPath("coffee.png"), "--key", dir / "broken.png", "--message", "hi"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("cannot load the key image"), std::string::npos) << broken.err;
}

TEST(AnalyzeSubGrids, NamesTheSubGridAnotherToolWrote) {
    TempFolder dir;
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("astronaut.png"), photo));
    std::mt19937 rng(1);
    // Half the pixels of sub-grid x+0 y+1 get a random LSB in one channel.
    for (int y = 1; y < photo.height; y += 2)
        for (int x = 0; x < photo.width; x += 2)
            if (rng() % 2) photo.at(x, y) = (photo.at(x, y) & ~0x100u) | (rng() % 2 ? 0x100u : 0);
    ASSERT_TRUE(SaveGrid(photo, OutputKind::Png, dir / "marked.png"));
    const Outcome o = RunCorvane({"analyze", "--image", dir / "marked.png", "--estimate"});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out;
    EXPECT_EQ(lines[1].rfind("Largest Sub-Grid LSB Replacement: ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("(x+0 y+1) Sub-Grids: "), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace corvane
