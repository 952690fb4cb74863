#include "keygen/key_generation.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/platform.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

struct RecordingReporter : KeyGenerationReporter {
    bool preview = true;
    std::vector<std::u16string> statuses, messages, comments;
    std::vector<MessageIcon> icons;
    std::vector<std::string> saved;
    std::vector<std::pair<int32_t, int32_t>> numbers;  // number, count
    std::vector<std::pair<int, int>> previews;
    bool WantsPreview() const override { return preview; }
    void Status(std::u16string_view t) override { statuses.emplace_back(t); }
    void Message(std::u16string_view t, MessageIcon icon) override {
        messages.emplace_back(t);
        icons.push_back(icon);
    }
    void KeyComment(std::u16string_view c) override { comments.emplace_back(c); }
    std::function<void()> onSaved;
    void KeySaved(const SavedKey& key) override {
        saved.push_back(key.path);
        numbers.emplace_back(key.number, key.count);
        if (onSaved) onSaved();
    }
    void Preview(const PixelGrid& g) override { previews.emplace_back(g.width, g.height); }
    std::function<bool()> stopWhen;
    mutable int stopQueries = 0;
    bool StopRequested() const override {
        ++stopQueries;
        return stopWhen && stopWhen();
    }
};

struct Batch {
    TempFolder folder;
    KeyGenerationInputs inputs;
    KeyGeneratorState state;
    SequenceRandom rng;
    RecordingReporter reporter;
    Batch() {
        inputs.root = folder / "app";
        inputs.fallbackRoot = folder / "fallback";
        inputs.widthText = u"24";
        inputs.heightText = u"30";
        inputs.seriesName = u"series";
        inputs.startYear = 2026;
        inputs.startMonth = 12;
        inputs.startDay = 6;
    }
    KeyGenerationResult Run() { return GenerateKeys(inputs, state, rng, reporter); }
    std::string KeyFolder() const { return inputs.root + "/Keys/series"; }
};

// "<", ten characters of codes 33-255, "><", ten more, ">", "<", 00-15, ">".
bool IsKeyComment(const std::u16string& comment) {
    if (comment.size() != 28) return false;
    const std::string bytes = TextToAnsi(comment);
    if (AnsiToText(bytes) != comment) return false;  // every character has its own byte
    std::string shape;
    for (unsigned char b : bytes) shape.push_back(b >= 33 && b != '<' && b != '>' ? 'c' : static_cast<char>(b));
    static const std::regex kLayout(R"(<[c<>]{10}><[c<>]{10}><[c<>]{2}>)");
    if (!std::regex_match(shape, kLayout)) return false;
    for (size_t i = 1; i <= 10; ++i)
        if (static_cast<unsigned char>(bytes[i]) < 33 || static_cast<unsigned char>(bytes[i + 12]) < 33) return false;
    static const std::regex kNumber(R"(0[0-9]|1[0-5])");
    return std::regex_match(bytes.substr(25, 2), kNumber);
}

unsigned ModeOf(const std::string& path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(KeyGeneration, NumberedBatchStatusFilesAndComments) {
    Batch b;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.countText = u"010";  // shown as typed
    const KeyGenerationResult r = b.Run();
    ASSERT_TRUE(r.completed) << (b.reporter.messages.empty() ? "" : TextToUtf8(b.reporter.messages[0]));
    ASSERT_EQ(r.savedPaths.size(), 10u);
    EXPECT_EQ(b.reporter.saved, r.savedPaths);
    EXPECT_EQ(r.savedPaths.front(), b.KeyFolder() + "/00001.png");
    EXPECT_EQ(r.savedPaths.back(), b.KeyFolder() + "/00010.png");

    const std::u16string savedTo = u" Key(s) Saved to: " + Utf8ToText(b.KeyFolder());
    EXPECT_EQ(b.reporter.statuses, (std::vector<std::u16string>{u"Working...", u"Completed." + savedTo}));
    EXPECT_EQ(r.status, u"Completed." + savedTo);
    EXPECT_TRUE(b.reporter.messages.empty());
    ASSERT_EQ(b.reporter.numbers.size(), 10u);
    EXPECT_EQ(b.reporter.numbers.front(), std::make_pair(1, 10));
    EXPECT_EQ(b.reporter.numbers.back(), std::make_pair(10, 10));

    // Each key reads back through the image layer as the run reported it.
    std::set<std::u16string> comments;
    for (size_t i = 0; i < r.savedPaths.size(); ++i) {
        PixelGrid grid;
        std::u16string comment;
        ASSERT_TRUE(LoadKeyGrid(r.savedPaths[i], grid, comment));
        EXPECT_EQ(grid.width, 24);
        EXPECT_EQ(grid.height, 30);
        EXPECT_EQ(comment, b.reporter.comments[i]);
        EXPECT_TRUE(IsKeyComment(comment)) << TextToUtf8(comment);
        comments.insert(comment);
        EXPECT_EQ(ModeOf(r.savedPaths[i]), 0600u);
    }
    EXPECT_EQ(comments.size(), 10u);
    EXPECT_EQ(ModeOf(b.KeyFolder()), 0700u);
    // Only the keys: no temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(b.KeyFolder()), {}), 10);
}

// The count reads as it was typed; the share is rounded to whole percent.
TEST(KeyGeneration, ProgressTextCountsSavedKeys) {
    EXPECT_EQ(KeyProgressText(1, 10, u"010"), u"1 of 010 - Percent Complete: 10%");
    EXPECT_EQ(KeyProgressText(2, 3, u"3"), u"2 of 3 - Percent Complete: 67%");
    EXPECT_EQ(KeyProgressText(1, 300, u"300"), u"1 of 300 - Percent Complete: 00%");
    EXPECT_EQ(KeyProgressText(500, 500, u"500"), u"500 of 500 - Percent Complete: 100%");
}

TEST(KeyGeneration, EveryCommentHasTheKeyLayout) {
    MersenneTwister mt;
    SequenceRandom rng;
    std::set<std::string> numbers;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string c = MakeKeyComment(mt, rng);
        ASSERT_TRUE(IsKeyComment(c)) << TextToUtf8(c);
        numbers.insert(TextToUtf8(c.substr(25, 2)));
    }
    EXPECT_EQ(numbers.size(), 16u);  // "00" to "15" all occur
}

TEST(KeyGeneration, DateNamesCrossTheYearAndDefaultSeriesIsToday) {
    Batch b;
    b.inputs.startYear = 2026;
    b.inputs.startMonth = 12;
    b.inputs.startDay = 30;
    b.inputs.countText = u"3";
    b.inputs.seriesName.clear();
    b.reporter.preview = false;
    const KeyGenerationResult r = b.Run();
    ASSERT_TRUE(r.completed);
    const std::string folder = b.inputs.root + "/Keys/" + FormatDateAscii(Today());
    EXPECT_EQ(r.savedPaths, (std::vector<std::string>{folder + "/2026-12-30.png", folder + "/2026-12-31.png",
                                                      folder + "/2027-01-01.png"}));
    EXPECT_TRUE(b.reporter.previews.empty());
}

TEST(KeyGeneration, PixelSizeTextIsRoundedAndPreviewKeepsShape) {
    Batch b;
    b.inputs.widthText = u" 40.4 ";
    b.inputs.heightText = u"2.45e1";
    b.inputs.naming = KeyNaming::Number;
    ASSERT_TRUE(b.Run().completed);
    PixelGrid grid;
    std::u16string comment;
    ASSERT_TRUE(LoadKeyGrid(b.KeyFolder() + "/00001.png", grid, comment));
    EXPECT_EQ(grid.width, 40);
    EXPECT_EQ(grid.height, 24);  // 24.5: halves go to the even neighbour
    ASSERT_EQ(b.reporter.previews.size(), 1u);
    EXPECT_EQ(b.reporter.previews[0], std::make_pair(500, 300));

    Batch tall;
    tall.inputs.widthText = u"30";
    tall.inputs.heightText = u"60";
    ASSERT_TRUE(tall.Run().completed);
    ASSERT_EQ(tall.reporter.previews.size(), 1u);
    EXPECT_EQ(tall.reporter.previews[0], std::make_pair(250, 500));
}

TEST(KeyGeneration, UnusableInputIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::u16string width = u"24", height = u"30", count = u"1", series = u"s";
        KeyNaming naming = KeyNaming::Date;
        int year = 2026, month = 12, day = 6;
        std::u16string message;
    };
    const std::u16string tooLarge = u"Key pixel size is over the limit of 268,435,456 pixels (256 megapixels).";
    const std::u16string badCount = u"Number of keys must be a whole number from 1 up.";
    const std::vector<Case> cases = {
        {.width = u"abc", .message = u"Pixel size width is non-numeric."},
        {.width = u"", .height = u"x", .message = u"Pixel size width is non-numeric."},
        {.width = u"12px", .message = u"Pixel size width is non-numeric."},
        {.height = u"1,200", .message = u"Pixel size height is non-numeric."},
        {.height = u"e5", .message = u"Pixel size height is non-numeric."},
        {.width = u"0", .message = u"Pixel size width must be at least 1."},
        {.width = u"0.5", .message = u"Pixel size width must be at least 1."},
        {.height = u"-3", .message = u"Pixel size height must be at least 1."},
        {.width = u"16385", .height = u"16384", .message = tooLarge},
        {.width = u"1e999", .message = tooLarge},
        {.count = u"0", .message = badCount},
        {.count = u"1.5", .message = badCount},
        {.count = u"-2", .message = badCount},
        {.count = u"ten", .message = badCount},
        {.count = u"", .message = badCount},
        {.count = u"99999999999", .message = badCount},
        {.year = 2026, .month = 2, .day = 30, .message = u"Start date 2026-2-30 does not exist."},
        {.year = 2027, .month = 13, .day = 1, .message = u"Start date 2027-13-1 does not exist."},
        {.count = u"2", .year = 9999, .month = 12, .day = 31, .message = u"The last key's date would fall after 9999-12-31."},
        {.series = u"..", .message = u"Key series name cannot be used as a folder name: .."},
        {.series = u"../escape", .message = u"Key series name cannot be used as a folder name: ../escape"},
    };
    for (const Case& c : cases) {
        Batch b;
        b.inputs.widthText = c.width;
        b.inputs.heightText = c.height;
        b.inputs.countText = c.count;
        b.inputs.seriesName = c.series;
        b.inputs.naming = c.naming;
        b.inputs.startYear = c.year;
        b.inputs.startMonth = c.month;
        b.inputs.startDay = c.day;
        const uint32_t rngBefore = b.rng.State();
        const KeyGenerationResult r = b.Run();
        SCOPED_TRACE(TextToUtf8(c.message));
        EXPECT_FALSE(r.completed);
        ASSERT_EQ(b.reporter.messages.size(), 1u);
        EXPECT_EQ(b.reporter.messages[0], c.message);
        EXPECT_EQ(b.reporter.icons[0], MessageIcon::Information);
        EXPECT_TRUE(b.reporter.statuses.empty());
        EXPECT_FALSE(FileExists(b.inputs.root));
        EXPECT_FALSE(FileExists(b.inputs.fallbackRoot));
        EXPECT_EQ(b.rng.State(), rngBefore);
    }

    // With number naming the start date plays no part.
    Batch numbered;
    numbered.inputs.naming = KeyNaming::Number;
    numbered.inputs.startMonth = 2;
    numbered.inputs.startDay = 30;
    EXPECT_TRUE(numbered.Run().completed);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// A key that the memory cannot hold is refused like unusable input: a
// message, no status, no folder and no file.
TEST(KeyGeneration, KeyLargerThanTheMemoryIsRefusedBeforeAnythingIsWritten) {
    if (kAddressSanitizer) GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
    Batch b;
    b.inputs.widthText = u"16000";
    b.inputs.heightText = u"16000";  // a gigabyte of pixels
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit small = old;
    small.rlim_cur = 512u << 20;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &small), 0);
    const KeyGenerationResult r = b.Run();
    setrlimit(RLIMIT_AS, &old);
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(r.status.empty());
    EXPECT_TRUE(b.reporter.statuses.empty());
    ASSERT_EQ(b.reporter.messages.size(), 1u);
    EXPECT_EQ(b.reporter.messages[0], u"Not enough memory for a key of 16000 x 16000 pixels.");
    EXPECT_EQ(b.reporter.icons[0], MessageIcon::Information);
    EXPECT_FALSE(std::filesystem::exists(b.inputs.root));
}

TEST(KeyGeneration, ExistingKeyIsNeverOverwritten) {
    Batch b;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.countText = u"3";
    ASSERT_TRUE(CreateFolders(b.KeyFolder()));
    WriteBytes(b.KeyFolder() + "/00002.png", "the only copy of an old key");
    // Names that the batch would not write do not stand in its way.
    WriteBytes(b.KeyFolder() + "/0003.png", "decoy");
    WriteBytes(b.KeyFolder() + "/00003.PNG", "decoy");

    KeyGenerationResult r = b.Run();
    EXPECT_FALSE(r.completed);
    ASSERT_EQ(b.reporter.messages.size(), 1u);
    EXPECT_EQ(b.reporter.messages[0],
              u"Key file already exists and is never overwritten: " + Utf8ToText(b.KeyFolder() + "/00002.png"));
    EXPECT_FALSE(FileExists(b.KeyFolder() + "/00001.png"));
    EXPECT_FALSE(FileExists(b.KeyFolder() + "/00003.png"));
    EXPECT_EQ(ReadBytes(b.KeyFolder() + "/00002.png"), "the only copy of an old key");
    EXPECT_TRUE(b.reporter.statuses.empty());

    // The same with dates: the clash in the middle of the batch is named.
    Batch d;
    d.inputs.startYear = 2026;
    d.inputs.startMonth = 12;
    d.inputs.startDay = 30;
    d.inputs.countText = u"3";
    ASSERT_TRUE(CreateFolders(d.KeyFolder()));
    WriteBytes(d.KeyFolder() + "/2027-01-01.png", "old");
    WriteBytes(d.KeyFolder() + "/2026-12-29.png", "old, before the batch");
    r = d.Run();
    EXPECT_FALSE(r.completed);
    ASSERT_EQ(d.reporter.messages.size(), 1u);
    EXPECT_EQ(d.reporter.messages[0],
              u"Key file already exists and is never overwritten: " + Utf8ToText(d.KeyFolder() + "/2027-01-01.png"));
    EXPECT_FALSE(FileExists(d.KeyFolder() + "/2026-12-30.png"));

    // A second run over a finished batch is refused the same way.
    Batch again;
    again.inputs.naming = KeyNaming::Number;
    ASSERT_TRUE(again.Run().completed);
    const std::string first = ReadBytes(again.KeyFolder() + "/00001.png");
    again.reporter = RecordingReporter();
    EXPECT_FALSE(again.Run().completed);
    EXPECT_EQ(ReadBytes(again.KeyFolder() + "/00001.png"), first);
}

TEST(KeyGeneration, FallsBackWhenTheKeyCannotBeSavedUnderTheRoot) {
    Batch b;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.countText = u"2";
    ASSERT_TRUE(CreateFolders(b.inputs.root));
    WriteBytes(b.inputs.root + "/Keys", "a file where the Keys folder should be");
    const KeyGenerationResult r = b.Run();
    ASSERT_TRUE(r.completed);
    const std::string fallbackFolder = b.inputs.fallbackRoot + "/Keys/series";
    EXPECT_EQ(r.savedPaths, (std::vector<std::string>{fallbackFolder + "/00001.png", fallbackFolder + "/00002.png"}));
    EXPECT_EQ(r.status, u"Completed. Key(s) Saved to the home folder: " + Utf8ToText(fallbackFolder));
    EXPECT_EQ(ModeOf(fallbackFolder), 0700u);
    EXPECT_EQ(ModeOf(r.savedPaths[0]), 0600u);

    // When the fallback fails too, the run says so instead of reporting a save.
    Batch lost;
    lost.inputs.naming = KeyNaming::Number;
    ASSERT_TRUE(CreateFolders(lost.inputs.root));
    ASSERT_TRUE(CreateFolders(lost.inputs.fallbackRoot));
    WriteBytes(lost.inputs.root + "/Keys", "");
    WriteBytes(lost.inputs.fallbackRoot + "/Keys", "");
    const KeyGenerationResult failed = lost.Run();
    EXPECT_FALSE(failed.completed);
    EXPECT_TRUE(failed.savedPaths.empty());
    ASSERT_EQ(lost.reporter.messages.size(), 1u);
    EXPECT_EQ(lost.reporter.icons[0], MessageIcon::Critical);
    EXPECT_NE(lost.reporter.messages[0].find(u"Key could not be saved"), std::u16string::npos);
    EXPECT_EQ(failed.status, u"Stopped.");
}

// A disk that fills up part way through a batch: the keys saved before stay,
// the run stops at the first key it cannot save whole, with the reason, and no
// partial or empty key remains in either folder.
TEST(KeyGeneration, StopsWholeWhenTheDiskFillsUp) {
    Batch b;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.countText = u"3";
    b.inputs.widthText = u"64";
    b.inputs.heightText = u"48";
    int saves = 0;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    // The first key has room; from the second on, every write fails.
    b.reporter.onSaved = [&] {
        if (++saves == 1) {
            rlimit small = old;
            small.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &small);
        }
    };
    const KeyGenerationResult r = b.Run();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.savedPaths, std::vector<std::string>{b.KeyFolder() + "/00001.png"});
    ASSERT_EQ(b.reporter.messages.size(), 1u);
    EXPECT_EQ(b.reporter.messages[0], u"Key could not be saved to " + Utf8ToText(b.KeyFolder()) +
                                          u"/00002.png (File too large) nor to " +
                                          Utf8ToText(b.inputs.fallbackRoot) + u"/Keys/series/00002.png (File too large).");
    EXPECT_EQ(r.status, u"Stopped. Key(s) Saved to: " + Utf8ToText(b.KeyFolder()));
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::recursive_directory_iterator(b.folder.path()))
        if (!e.is_directory()) left.push_back(e.path().string());
    EXPECT_EQ(left, std::vector<std::string>{b.KeyFolder() + "/00001.png"});
    PixelGrid key;
    std::u16string comment;
    EXPECT_TRUE(LoadKeyGrid(left[0], key, comment));
}

// A stop request is taken between keys: the keys saved before it stay whole,
// nothing of the next key is written, and the run ends without a message.
TEST(KeyGeneration, StopRequestEndsTheRunBetweenKeys) {
    Batch b;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.countText = u"5";
    b.inputs.source = KeySource::Isaac;
    b.reporter.stopWhen = [&b] { return b.reporter.saved.size() == 2; };
    const KeyGenerationResult r = b.Run();
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.savedPaths, (std::vector<std::string>{b.KeyFolder() + "/00001.png", b.KeyFolder() + "/00002.png"}));
    EXPECT_EQ(b.reporter.stopQueries, 3);
    EXPECT_TRUE(b.reporter.messages.empty());
    EXPECT_EQ(r.status, u"Stopped. Key(s) Saved to: " + Utf8ToText(b.KeyFolder()));
    EXPECT_EQ(b.reporter.statuses.back(), r.status);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(b.KeyFolder()), {}), 2);
    for (const std::string& path : r.savedPaths) {
        PixelGrid grid;
        std::u16string comment;
        EXPECT_TRUE(LoadKeyGrid(path, grid, comment));
    }

    // Asked before the first key, it leaves no key at all.
    Batch early;
    early.reporter.stopWhen = [] { return true; };
    const KeyGenerationResult none = early.Run();
    EXPECT_FALSE(none.completed);
    EXPECT_TRUE(none.savedPaths.empty());
    EXPECT_EQ(none.status, u"Stopped.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(early.KeyFolder()), {}), 0);
}

TEST(KeyGeneration, RndSourceWithFixedSeedReproducesItsPixels) {
    Batch b;
    b.inputs.source = KeySource::Rnd;
    b.inputs.naming = KeyNaming::Number;
    b.inputs.widthText = u"37";
    b.inputs.heightText = u"45";
    b.rng.Reset();
    b.rng.Seed(4158);
    ASSERT_TRUE(b.Run().completed);

    SequenceRandom replay;
    replay.Reset();
    replay.Seed(4158);
    PixelGrid expected(37, 45);
    FillKeyGrid(expected, replay, [&replay] { return RndPixel(replay); });
    PixelGrid grid;
    std::u16string comment;
    ASSERT_TRUE(LoadKeyGrid(b.KeyFolder() + "/00001.png", grid, comment));
    EXPECT_EQ(grid, expected);
    EXPECT_EQ(comment, b.reporter.comments.at(0));
}

TEST(KeyGeneration, EverySourceMakesAKey) {
    for (int s = 0; s < kKeySourceCount; ++s) {
        Batch b;
        b.inputs.source = static_cast<KeySource>(s);
        b.inputs.naming = KeyNaming::Number;
        b.inputs.widthText = u"64";
        b.inputs.heightText = u"64";
        PrepareKeyGenerator(b.state, b.rng);
        ASSERT_TRUE(b.Run().completed) << s;
        PixelGrid grid;
        std::u16string comment;
        ASSERT_TRUE(LoadKeyGrid(b.KeyFolder() + "/00001.png", grid, comment));
        EXPECT_TRUE(IsKeyComment(comment));
        std::set<uint32_t> distinct(grid.pixels.begin(), grid.pixels.end());
        EXPECT_GT(distinct.size(), 4000u) << s;  // 4096 pixels of 24 random bits
        uint32_t high = 0;
        for (uint32_t p : grid.pixels) high |= p;
        EXPECT_EQ(high, 0xFFFFFFu) << s;
    }
}

TEST(KeyGeneration, ColumnsRewindOnlyOverRowsTenToTwenty) {
    // Each draw is numbered, so a pixel's value says which draw wrote it last.
    SequenceRandom rng;
    const int height = 26;
    PixelGrid grid(3000, height);
    uint32_t counter = 0;
    FillKeyGrid(grid, rng, [&counter] { return ++counter; });
    uint32_t columnStart = 1;
    int rewound = 0;
    for (int x = 0; x < grid.width; ++x) {
        for (int y = 0; y < 10; ++y) ASSERT_EQ(grid.at(x, y), columnStart + y) << x;
        for (int y = 20; y < height - 1; ++y) ASSERT_EQ(grid.at(x, y + 1), grid.at(x, y) + 1) << x;
        for (int y = 10; y < 20; ++y) ASSERT_LT(grid.at(x, y), grid.at(x, y + 1)) << x;
        const uint32_t draws = grid.at(x, height - 1) - columnStart + 1;
        ASSERT_GE(draws, static_cast<uint32_t>(height));
        rewound += draws > static_cast<uint32_t>(height);
        columnStart += draws;
    }
    // A first rewind in a fifth of the columns, less those sent back to row 20.
    EXPECT_GT(rewound, 3000 * 0.15);
    EXPECT_LT(rewound, 3000 * 0.25);

    // Columns of 20 rows or fewer never draw from the sequence.
    PixelGrid shortGrid(50, 20);
    const uint32_t before = rng.State();
    FillKeyGrid(shortGrid, rng, [] { return 7u; });
    EXPECT_EQ(rng.State(), before);
}

}  // namespace
}  // namespace corvane
