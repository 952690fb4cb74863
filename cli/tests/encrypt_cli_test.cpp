// corvane encrypt (and the round trip through corvane decrypt), run as a
// user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "cli_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::PhotoPath;
using testing::RunCorvane;
using testing::Lines;
using testing::Count;
using testing::EndsWith;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A key image as the key generator writes it.
std::string MakeKey(const std::string& path, int w, int h, uint32_t seed = 9) {
    SaveOptions options;
    options.comment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";
    EXPECT_EQ(SaveGridFile(RandomGrid(w, h, seed), OutputKind::Key, path, options), SaveStatus::Saved);
    return path;
}

PixelGrid Load(const std::string& path) {
    PixelGrid g;
    LoadGrid(path, g);
    return g;
}

const std::string kMessage = "Meet at the caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x97\x9D\xEF\xB8\x8F \xD0\x9F\xD1\x80\xD0\xB8!";

TEST(EncryptCommand, RoundTripThroughDecrypt) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", 600, 400);
    const Outcome enc = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key",
                                    key, "--message", kMessage, "--prefix", "demo"});
    ASSERT_EQ(enc.status, 0) << enc.err;
    const auto lines = Lines(enc.out);
    ASSERT_EQ(lines.size(), 1u) << enc.out;
    EXPECT_EQ(fs::path(lines[0]).parent_path().string(), dir / "Encrypted Images");
    EXPECT_TRUE(std::regex_match(fs::path(lines[0]).filename().string(), std::regex("demo-[0-9]{5}\\.png")))
        << lines[0];
    EXPECT_NE(enc.err.find("Pass 1 of 2..."), std::string::npos) << enc.err;
    EXPECT_NE(enc.err.find("Encrypted Image Saved. "), std::string::npos);

    const Outcome dec = RunCorvane({"decrypt", "--image", lines[0], "--key", key});
    EXPECT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out, kMessage);  // exactly, without a newline
    EXPECT_NE(dec.err.find("digest verified"), std::string::npos) << dec.err;
    EXPECT_TRUE(fs::exists(key));
    EXPECT_TRUE(fs::exists(lines[0]));
}

TEST(EncryptCommand, MessageFileOutputPathAndFormatFromItsEnding) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", 600, 400);
    // UTF-16LE with its mark: "Hi \u00e9\U0001F600"
    WriteBytes(dir / "msg.txt", std::string("\xFF\xFEH\0i\0 \0\xE9\0\x3D\xD8\x00\xDE", 14));
    const std::string out = dir / "hidden.webp";
    const Outcome enc = RunCorvane({"encrypt", "--output", out, "--carrier", PhotoPath("coffee.png"), "--key", key,
                                    "--message-file", dir / "msg.txt", "--no-compress"});
    ASSERT_EQ(enc.status, 0) << enc.err;
    EXPECT_EQ(enc.out, out + "\n");
    // A WebP file starts "RIFF" .... "WEBP".
    EXPECT_EQ(ReadBytes(out).substr(8, 4), "WEBP");

    const Outcome dec = RunCorvane({"decrypt", "--image", out, "--key", key, "--output", dir / "back.txt"});
    EXPECT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out, "");
    EXPECT_EQ(ReadBytes(dir / "back.txt"), "Hi \xC3\xA9\xF0\x9F\x98\x80");

    // Neither command replaces a file that exists.
    const Outcome again = RunCorvane({"encrypt", "--output", out, "--carrier", PhotoPath("coffee.png"), "--key", key,
                                      "--message", "x"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos);
    const Outcome decAgain = RunCorvane({"decrypt", "--image", out, "--key", key, "--output", dir / "back.txt"});
    EXPECT_EQ(decAgain.status, 1);
    EXPECT_EQ(ReadBytes(dir / "back.txt"), "Hi \xC3\xA9\xF0\x9F\x98\x80");
}

TEST(EncryptCommand, UsageErrors) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", 600, 400);
    const std::string carrier = PhotoPath("coffee.png");
    const std::vector<std::vector<std::string>> cases = {
        {"encrypt", "--key", key, "--message", "m"},
        {"encrypt", "--carrier", carrier, "--carrier-dir", dir.path(), "--key", key, "--message", "m"},
        {"encrypt", "--carrier", carrier, "--message", "m"},
        {"encrypt", "--carrier", carrier, "--key", key},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--message-file", key},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--root", dir.path(), "--output", dir / "o.png"},
        {"encrypt", "--carrier-dir", dir.path(), "--key", key, "--message", "m", "--output", dir / "o.png"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--format", "gif"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--output", dir / "o.jpg"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--output", dir / "o.png", "--format", "bmp"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--ratio", "0.3"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--max-width", "0"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--prefix", "../up"},
        {"encrypt", "--carrier", carrier, "--key", key, "--message", "m", "--bogus"},
    };
    for (const auto& args : cases) {
        const Outcome o = RunCorvane(args);
        EXPECT_EQ(o.status, 2) << ::testing::PrintToString(args) << o.err;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "Encrypted Images"));
}

TEST(EncryptCommand, FailuresCarryTheSystemsMessages) {
    TempFolder dir;
    const std::string small = MakeKey(dir / "small.png", 599, 400);
    Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key", small,
                            "--message", "m"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("Key Pixel Width Too Small."), std::string::npos) << o.err;

    const std::string key = MakeKey(dir / "key.png", 600, 400);
    o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key", key, "--message",
                    std::string(20000, 'x'), "--no-compress"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Message Too Large for Image, Try a Larger Image and Key."), std::string::npos) << o.err;

    WriteBytes(dir / "empty.txt", "");
    o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key", key,
                    "--message-file", dir / "empty.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("No Message."), std::string::npos) << o.err;

    o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", dir / "missing.png", "--key", key, "--message", "m"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("cannot load the carrier image"), std::string::npos) << o.err;
    EXPECT_TRUE(fs::is_empty(dir / "Encrypted Images"));
}

TEST(EncryptCommand, MaxWidthAndRatioResizeTheCarrierFirst) {
    TempFolder dir;
    // coffee.png is 600 x 400; a 300 x 200 key fits only the resized carrier.
    const std::string key = MakeKey(dir / "key.png", 300, 200);
    const std::string carrier = PhotoPath("coffee.png");
    struct Case {
        std::vector<std::string> extra;
        int width, height;
    };
    for (const Case& c : {Case{{"--max-width", "300"}, 300, 200}, Case{{"--ratio", "0.50"}, 300, 200},
                          Case{{"--max-width", "250", "--ratio", "0.50:1"}, 300, 200},
                          Case{{"--max-width", "200"}, 200, 133}}) {
        std::vector<std::string> args = {"encrypt", "--root", dir.path(), "--carrier", carrier, "--key", key,
                                         "--message", "resized"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome o = RunCorvane(args);
        ASSERT_EQ(o.status, 0) << ::testing::PrintToString(c.extra) << o.err;
        const std::string saved = Lines(o.out).at(0);
        const PixelGrid g = Load(saved);
        EXPECT_EQ(g.width, c.width);
        EXPECT_EQ(g.height, c.height);
        const Outcome d = RunCorvane({"decrypt", "--image", saved, "--key", key});
        EXPECT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(d.out, "resized");
    }
    const Outcome unresized = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", carrier, "--key", key,
                                          "--message", "m", "--ratio", "1.00"});
    EXPECT_EQ(unresized.status, 1);
    EXPECT_NE(unresized.err.find("Key Pixel Width Too Small."), std::string::npos);
}

TEST(EncryptCommand, BatchOverAFolderInNameOrder) {
    TempFolder dir;
    const std::string carriers = dir / "carriers";
    fs::create_directory(carriers);
    const PixelGrid coffee = Load(PhotoPath("coffee.png"));
    ASSERT_EQ(SaveGridFile(coffee, OutputKind::Bmp, carriers + "/b.bmp"), SaveStatus::Saved);
    fs::copy_file(PhotoPath("astronaut.png"), carriers + "/a.png");
    WriteBytes(carriers + "/c.png", "not an image");
    WriteBytes(carriers + "/.hidden.png", "skipped");
    // The key among the carriers is never taken for one.
    const std::string key = MakeKey(carriers + "/key.png", 600, 600);

    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier-dir", carriers, "--key", key,
                                  "--message", kMessage, "--prefix", "batch", "--format", "tif"});
    EXPECT_EQ(o.status, 1) << o.err;  // c.png failed
    EXPECT_NE(o.err.find("Working: 1 of 3 (" + carriers + "/a.png)"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Working: 3 of 3 (" + carriers + "/c.png)"), std::string::npos);
    EXPECT_NE(o.err.find(carriers + "/c.png"), std::string::npos);
    const auto saved = Lines(o.out);
    ASSERT_EQ(saved.size(), 2u) << o.out;
    EXPECT_EQ(Load(saved[0]).width, 512);  // a.png first
    EXPECT_EQ(Load(saved[1]).width, 600);
    for (const auto& path : saved) {
        EXPECT_TRUE(std::regex_match(fs::path(path).filename().string(), std::regex("batch-[0-9]{5}\\.tif")));
        const Outcome d = RunCorvane({"decrypt", "--image", path, "--key", key});
        EXPECT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(d.out, kMessage);
    }
}

TEST(EncryptCommand, BatchWipesTheKeyOnceAndEachCarrier) {
    TempFolder dir;
    const std::string carriers = dir / "carriers";
    fs::create_directory(carriers);
    fs::copy_file(PhotoPath("coffee.png"), carriers + "/1.png");
    fs::copy_file(PhotoPath("astronaut.png"), carriers + "/2.png");
    const std::string key = MakeKey(dir / "key.png", 600, 600);
    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier-dir", carriers, "--key", key,
                                  "--message", "wipe as you go", "--wipe-key", "--wipe-carrier"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Lines(o.out).size(), 2u);
    EXPECT_EQ(Count(o.err, "Wiping Key File."), 1u) << o.err;
    EXPECT_EQ(Count(o.err, "Wiping Original Image."), 2u);
    EXPECT_EQ(Count(o.err, "Wipe Unsuccessful"), 0u);
    EXPECT_FALSE(fs::exists(key));
    EXPECT_TRUE(fs::is_empty(carriers));
}

TEST(EncryptCommand, EmptyFolderEncryptsNothing) {
    TempFolder dir;
    fs::create_directory(dir / "none");
    const std::string key = MakeKey(dir / "key.png", 600, 400);
    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier-dir", dir / "none", "--key", key,
                                  "--message", "m"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("no carriers"), std::string::npos);
}

}  // namespace
}  // namespace corvane
