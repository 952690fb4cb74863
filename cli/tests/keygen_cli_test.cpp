// corvane keygen, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "cli_test_support.hpp"

namespace corvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

using testing::Outcome;

Outcome RunKeygen(std::vector<std::string> args) {
    args.insert(args.begin(), "keygen");
    return testing::RunCorvane(std::move(args));
}

TEST(KeygenCommand, DefaultsMakeOneFullSizeKeyNamedByDate) {
    TempFolder t;
    const Outcome o = RunKeygen({"--root", t.path(), "--start", "2026-12-06"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string folder = t.path() + "/Keys/" + FormatDateAscii(Today());
    EXPECT_EQ(o.out, folder + "/2026-12-06.png\n");
    EXPECT_NE(o.err.find("Completed. Key(s) Saved to: " + folder), std::string::npos) << o.err;
    PixelGrid grid;
    std::u16string comment;
    ASSERT_TRUE(LoadKeyGrid(folder + "/2026-12-06.png", grid, comment));
    EXPECT_EQ(grid.width, 1600);
    EXPECT_EQ(grid.height, 1200);
    EXPECT_EQ(comment.size(), 28u);
    // The delimiters are part of the key: they are not shown.
    EXPECT_EQ(o.err.find(TextToUtf8(comment.substr(1, 10))), std::string::npos);
}

TEST(KeygenCommand, NumberedBatchPrintsEachPath) {
    TempFolder t;
    const Outcome o = RunKeygen({"--root", t.path(), "--series", "caf\xC3\xA9", "--count", "3", "--naming", "number",
                                    "--width", "32", "--height", "24", "--source", "isaac"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string folder = t.path() + "/Keys/caf\xC3\xA9";
    EXPECT_EQ(o.out, folder + "/00001.png\n" + folder + "/00002.png\n" + folder + "/00003.png\n");
    EXPECT_EQ(o.err, "Completed. Key(s) Saved to: " + folder + "\n");  // no progress line off a terminal
}

TEST(KeygenCommand, RefusedInputFailsWithTheMessageAndWritesNothing) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--width", "abc"}, "Pixel size width is non-numeric.\n"},
        {{"--height", "12O0"}, "Pixel size height is non-numeric.\n"},
        {{"--width", "0"}, "Pixel size width must be at least 1.\n"},
        {{"--count", "0"}, "Number of keys must be a whole number from 1 up.\n"},
        {{"--series", "a/b"}, "Key series name cannot be used as a folder name: a/b\n"},
    };
    for (const Case& c : cases) {
        TempFolder t;
        std::vector<std::string> args = {"--root", t.path()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome o = RunKeygen(args);
        EXPECT_EQ(o.status, 1) << c.message;
        EXPECT_EQ(o.err, c.message);
        EXPECT_EQ(o.out, "");
        EXPECT_FALSE(FileExists(t / "Keys"));
    }
}

TEST(KeygenCommand, ExistingKeyStopsTheRunUntouched) {
    TempFolder t;
    ASSERT_TRUE(CreateFolders(t / "Keys/s"));
    WriteBytes(t / "Keys/s/00001.png", "old key");
    const Outcome o = RunKeygen({"--root", t.path(), "--series", "s", "--naming", "number", "--width", "8",
                                    "--height", "8"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("Key file already exists and is never overwritten: " + t.path() + "/Keys/s/00001.png"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(t / "Keys/s/00001.png"), "old key");
}

TEST(KeygenCommand, UsageErrors) {
    TempFolder t;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--source", "dice"}, {"--naming", "alphabet"}, {"--start", "2026-02-30"}, {"--start", "30.12.2026"},
             {"--colour", "red"}, {"stray"}, {"--count"}}) {
        const Outcome o = RunKeygen(args);
        EXPECT_EQ(o.status, 2) << args[0];
        EXPECT_NE(o.err.find("corvane keygen:"), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
    const Outcome help = RunKeygen({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--source mersenne|isaac|rtlgenrandom|cryptgenrandom|rnd"), std::string::npos);
}

}  // namespace
}  // namespace corvane
