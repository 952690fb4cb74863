#include "core/text_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("corvane_text_file_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
};

TEST(ByteOrderMark, NeedsContentAfterTheMark) {
    struct Case {
        std::string bytes;
        int32_t code;
        size_t length;
    };
    const Case cases[] = {
        {"\x00\x00\xFE\xFF\x00"s, kEncodingUtf32BE, 4},
        {"\x00\x00\xFE\xFF"s, kEncodingCodePage, 0},
        {"\xFF\xFE\x00\x00\x41"s, kEncodingUtf32LE, 4},
        // Four bytes are too few for the UTF-32 mark but leave room after the UTF-16 one.
        {"\xFF\xFE\x00\x00"s, kEncodingUtf16LE, 2},
        {"\xFE\xFF\x00"s, kEncodingUtf16BE, 2},
        {"\xFE\xFF"s, kEncodingCodePage, 0},
        {"\xFF\xFE"s, kEncodingCodePage, 0},
        {"\xEF\xBB\xBF\x41"s, kEncodingUtf8, 3},
        {"\xEF\xBB\xBF"s, kEncodingCodePage, 0},
        {"+/v8-A", kEncodingUtf7, 5},
        {"+/v8-", kEncodingCodePage, 0},
        {"+/v8A", kEncodingCodePage, 0},
        {"", kEncodingCodePage, 0},
    };
    for (const Case& c : cases) {
        const ByteOrderMark m = DetectByteOrderMark(c.bytes);
        EXPECT_EQ(m.code, c.code) << testing::PrintToString(c.bytes);
        EXPECT_EQ(m.length, c.length) << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8Look, NeedsAWellFormedMultiByteSequence) {
    EXPECT_FALSE(LooksLikeUtf8("plain ASCII only"));
    EXPECT_FALSE(LooksLikeUtf8(""));
    EXPECT_TRUE(LooksLikeUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(LooksLikeUtf8("\xA9 stray continuation"));
    EXPECT_FALSE(LooksLikeUtf8("caf\xC3\xA9 then \xA9"));
    EXPECT_FALSE(LooksLikeUtf8("\xE2\x82x bad follower"));
    // 0xFE and 0xFF are passed over rather than failing the look.
    EXPECT_TRUE(LooksLikeUtf8("\xFF\xFE\xC3\xA9"));
    EXPECT_FALSE(LooksLikeUtf8("\xFF\xFE"));
    // The old five- and six-byte forms still count as sequences here.
    EXPECT_TRUE(LooksLikeUtf8("\xF8\x88\x80\x80\x80."));
    EXPECT_TRUE(LooksLikeUtf8("\xFC\x84\x80\x80\x80\x80."));
}

TEST(Utf8Look, InspectsOnlyTheFirst2048Bytes) {
    const std::string ascii(2047, 'a');
    // A sequence cut off by the end of the inspected bytes ends the scan.
    EXPECT_TRUE(LooksLikeUtf8("\xC3\xA9" + ascii.substr(2) + "\xE2\x82\xAC"));
    EXPECT_FALSE(LooksLikeUtf8(ascii + "\xC3\xA9"));
    EXPECT_FALSE(LooksLikeUtf8(ascii + "a\xC3\xA9"));
    // ...but a stray byte inside the window still fails it.
    EXPECT_FALSE(LooksLikeUtf8("\xC3\xA9" + ascii.substr(3) + "\x80"));
}

TEST(DecodeTextFile, FileWithoutMarkFollowsIfNoByteOrderMark) {
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC";
    DecodedText d = DecodeTextFile(utf8, 1);
    EXPECT_EQ(d.text, u"Grüße €");
    EXPECT_EQ(d.bom, kEncodingUtf8NoMark);
    for (int32_t flag : {0, 2, -1}) {
        d = DecodeTextFile(utf8, flag);
        EXPECT_EQ(d.text, u"GrÃ¼ÃŸe â‚¬");
        EXPECT_EQ(d.bom, kEncodingCodePage);
    }
    d = DecodeTextFile("\xEF\xBB\xBF" + utf8, 0);
    EXPECT_EQ(d.text, u"Grüße €");
    EXPECT_EQ(d.bom, kEncodingUtf8);
    d = DecodeTextFile("just ASCII", 1);
    EXPECT_EQ(d.text, u"just ASCII");
    EXPECT_EQ(d.bom, kEncodingCodePage);
    // Too short for a mark, so the two bytes are code page characters.
    d = DecodeTextFile("\xFF\xFE", 1);
    EXPECT_EQ(d.text, u"ÿþ");
    EXPECT_EQ(d.bom, kEncodingCodePage);
    d = DecodeTextFile("\xFF\xFE\x41\x00"s, 1);
    EXPECT_EQ(d.text, u"A");
    EXPECT_EQ(d.bom, kEncodingUtf16LE);
    // The five undefined code page bytes come back as C1 controls.
    d = DecodeTextFile("\x80\x81\x8D\x8F\x90\x9D\x9F", 0);
    EXPECT_EQ(d.text, u"€\u0081\u008D\u008F\u0090\u009DŸ");
}

TEST(DecodeTextFile, Utf32KeepsOnlyUnicodeValues) {
    const std::string le = "\xFF\xFE\x00\x00"s "\x41\x00\x00\x00"s "\x00\xF6\x01\x00"s
                           "\x00\x00\x11\x00"s "\xFF\xFF\xFF\xFF"s "\x42\x00\x00\x00"s;
    DecodedText d = DecodeTextFile(le, 0);
    EXPECT_EQ(d.bom, kEncodingUtf32LE);
    EXPECT_EQ(d.text, u"A\U0001F600B");
    const std::string be = "\x00\x00\xFE\xFF"s "\x00\x01\xD1\x1E"s "\x00\x00\x00\x41"s;
    d = DecodeTextFile(be, 0);
    EXPECT_EQ(d.bom, kEncodingUtf32BE);
    EXPECT_EQ(d.text, u"\U0001D11EA");
}

TEST(DecodeTextFile, MalformedContentBecomesReplacementCharacters) {
    // Half a UTF-16 unit at the end.
    EXPECT_EQ(DecodeTextFile("\xFF\xFE\x41\x00\x42"s, 0).text, u"A\uFFFD");
    EXPECT_EQ(DecodeTextFile("\xFE\xFF\x00"s, 0).text, u"\uFFFD");
    // A truncated UTF-32 value.
    EXPECT_EQ(DecodeTextFile("\xFF\xFE\x00\x00\x41\x00\x00\x00\x42\x00"s, 0).text, u"A\uFFFD");
    EXPECT_EQ(DecodeTextFile("\x00\x00\xFE\xFF\x00"s, 0).text, u"\uFFFD");
    // Broken UTF-8 behind a mark.
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF" "a\xC3" "b\xFF", 0).text, u"a\uFFFDb\uFFFD");
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF\xF0\x9F\x98", 0).text, u"\uFFFD");
}

TEST(Utf7, MatchesPublishedExamples) {
    EXPECT_EQ(TextToUtf7(u"Hi Mom -\u263A-!"), "Hi Mom -+Jjo--!");
    EXPECT_EQ(TextToUtf7(u"日本語"), "+ZeVnLIqe-");
    EXPECT_EQ(TextToUtf7(u"1 + 1 = 2"), "1 +- 1 = 2");
    EXPECT_EQ(Utf7ToText("A+ImIDkQ."), u"A\u2262\u0391.");
    EXPECT_EQ(Utf7ToText("Hi Mom -+Jjo--!"), u"Hi Mom -\u263A-!");
    EXPECT_EQ(Utf7ToText("+ZeVnLIqe-"), u"日本語");
    EXPECT_EQ(Utf7ToText("+2D3eAA-"), u"\U0001F600");
}

TEST(Utf7, MalformedInputDecodesWithReplacement) {
    EXPECT_EQ(Utf7ToText("a+"), u"a\uFFFD");
    EXPECT_EQ(Utf7ToText("+!x"), u"\uFFFD!x");
    // One base64 digit holds too few bits for a unit.
    EXPECT_EQ(Utf7ToText("+A-b"), u"\uFFFDb");
    EXPECT_EQ(Utf7ToText("+AGEA-"), u"a\uFFFD");
    EXPECT_EQ(Utf7ToText("\xC3\xA9"), u"\uFFFD\uFFFD");
}

TEST(EncodeTextFile, WritesMarkAndByteOrder) {
    const std::u16string t = u"A\U0001F600";
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf16LE), "\xFF\xFE\x41\x00\x3D\xD8\x00\xDE"s);
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf16BE), "\xFE\xFF\x00\x41\xD8\x3D\xDE\x00"s);
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf32LE),
              "\xFF\xFE\x00\x00\x41\x00\x00\x00\x00\xF6\x01\x00"s);
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf32BE),
              "\x00\x00\xFE\xFF\x00\x00\x00\x41\x00\x01\xF6\x00"s);
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf8), "\xEF\xBB\xBF\x41\xF0\x9F\x98\x80");
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf8NoMark), "\x41\xF0\x9F\x98\x80");
    EXPECT_EQ(*EncodeTextFile(t, kEncodingUtf7), "+/v8-A+2D3eAA-");
    EXPECT_EQ(*EncodeTextFile(u"€ é \U0001F600", kEncodingCodePage), "\x80 \xE9 ??");
    EXPECT_FALSE(EncodeTextFile(t, 1252).has_value());
    EXPECT_FALSE(EncodeTextFile(t, 2).has_value());
}

TEST(EncodeTextFile, LoneSurrogates) {
    const std::u16string lone = u"a\xD800" u"b\xDC00";
    EXPECT_EQ(*EncodeTextFile(lone, kEncodingUtf32BE),
              "\x00\x00\xFE\xFF"s "\x00\x00\x00\x61"s "\x00\x00\xFF\xFD"s "\x00\x00\x00\x62"s
              "\x00\x00\xFF\xFD"s);
    EXPECT_EQ(DecodeTextFile(*EncodeTextFile(lone, kEncodingUtf32LE), 0).text, u"a\uFFFDb\uFFFD");
    // UTF-16 and UTF-7 carry units, so the text survives them unchanged.
    EXPECT_EQ(DecodeTextFile(*EncodeTextFile(lone, kEncodingUtf16BE), 0).text, lone);
    EXPECT_EQ(DecodeTextFile(*EncodeTextFile(lone, kEncodingUtf7), 0).text, lone);
}

TEST_F(TextFileTest, SaveThenLoadRoundTripsEveryUnicodeEncoding) {
    const std::u16string text =
        u"Grüße, 世界! \U0001F600 \U0001D11E\r\nline 2\t+1 -2 ~\\ \"q\" +/v8- A+B-C\n\u00A0\u2029end";
    for (int32_t code : {kEncodingUtf8NoMark, kEncodingUtf16LE, kEncodingUtf16BE, kEncodingUtf32LE,
                         kEncodingUtf32BE, kEncodingUtf7, kEncodingUtf8}) {
        const std::string path = Path("round_" + std::to_string(code) + ".txt");
        ASSERT_TRUE(SaveTextFile(path, text, code, false).ok) << code;
        const LoadFileResult r = LoadTextFile(path, 1);
        ASSERT_TRUE(r.ok) << code;
        EXPECT_EQ(r.text, text) << code;
        EXPECT_EQ(r.bom, code);
    }
}

TEST_F(TextFileTest, CodePageSaveKeepsWhatTheCodePageHolds) {
    const std::u16string text = u"Café € „quote“ \u0081 ÿ";
    ASSERT_TRUE(SaveTextFile(Path("cp.txt"), text, kEncodingCodePage, false).ok);
    LoadFileResult r = LoadTextFile(Path("cp.txt"), 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, text);
    EXPECT_EQ(r.bom, kEncodingCodePage);

    ASSERT_TRUE(SaveTextFile(Path("lossy.txt"), u"ok \U0001F600 世", kEncodingCodePage, false).ok);
    EXPECT_EQ(Read("lossy.txt"), "ok ?? ?");
    // ASCII saved as UTF-8 without a mark is indistinguishable from the code page.
    ASSERT_TRUE(SaveTextFile(Path("ascii.txt"), u"ascii", kEncodingUtf8NoMark, false).ok);
    r = LoadTextFile(Path("ascii.txt"), 1);
    EXPECT_EQ(r.text, u"ascii");
    EXPECT_EQ(r.bom, kEncodingCodePage);
}

TEST_F(TextFileTest, LoadFailuresAndEmptyFiles) {
    LoadFileResult r = LoadTextFile(Path("missing.txt"), 1);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(LoadTextFile("", 1).ok);
    EXPECT_FALSE(LoadTextFile(dir_.string(), 1).ok);

    r = LoadTextFile(Write("empty.txt", ""), 1);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.text.empty());
    EXPECT_EQ(r.bom, kEncodingCodePage);
}

TEST_F(TextFileTest, SaveFailures) {
    // Nothing to save creates nothing.
    SaveFileResult s = SaveTextFile(Path("empty.txt"), u"", kEncodingUtf8, true);
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(fs::exists(Path("empty.txt")));
    EXPECT_FALSE(SaveTextFile("", u"x", kEncodingUtf8, true).ok);
    EXPECT_FALSE(SaveTextFile(Path("no/such/dir.txt"), u"x", kEncodingUtf8, true).ok);
    EXPECT_FALSE(SaveTextFile(dir_.string(), u"x", kEncodingUtf8, true).ok);

    // An existing file is replaced only when asked to.
    Write("old.txt", "old");
    s = SaveTextFile(Path("old.txt"), u"new", kEncodingUtf8NoMark, false);
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(s.error.empty());
    EXPECT_EQ(Read("old.txt"), "old");
    EXPECT_TRUE(SaveTextFile(Path("old.txt"), u"new", kEncodingUtf8NoMark, true).ok);
    EXPECT_EQ(Read("old.txt"), "new");

    // An unknown code neither truncates the file nor creates one.
    EXPECT_FALSE(SaveTextFile(Path("old.txt"), u"newer", 1252, true).ok);
    EXPECT_EQ(Read("old.txt"), "new");
    EXPECT_FALSE(SaveTextFile(Path("unknown.txt"), u"x", 7, true).ok);
    EXPECT_FALSE(fs::exists(Path("unknown.txt")));
}

TEST_F(TextFileTest, WriteErrorIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const SaveFileResult s = SaveTextFile("/dev/full", u"does not fit", kEncodingUtf8, true);
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(s.error.empty());
    EXPECT_TRUE(fs::exists("/dev/full"));
}

}  // namespace
}  // namespace corvane
