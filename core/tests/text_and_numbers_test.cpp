#include <gtest/gtest.h>

#include "core/code_page.hpp"
#include "core/number_format.hpp"

namespace corvane {
namespace {

TEST(CodePage, MapsTheWindows1252Table) {
    EXPECT_EQ(AnsiToUnicode(0x41), u'A');
    EXPECT_EQ(AnsiToUnicode(0x80), u'\u20AC');
    EXPECT_EQ(AnsiToUnicode(0x9F), u'\u0178');
    EXPECT_EQ(AnsiToUnicode(0xA0), u'\u00A0');
    EXPECT_EQ(AnsiToUnicode(0xFF), u'\u00FF');
    // The five bytes the code page leaves undefined stand for themselves.
    for (uint8_t b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(AnsiToUnicode(b), char16_t{b});
}

TEST(CodePage, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const char16_t c = AnsiToUnicode(static_cast<uint8_t>(b));
        EXPECT_TRUE(HasAnsiByte(c));
        EXPECT_EQ(UnicodeToAnsi(c), b);
    }
}

TEST(CodePage, CharactersOutsideBecomeQuestionMarks) {
    EXPECT_FALSE(HasAnsiByte(u'\u0100'));
    EXPECT_EQ(TextToAnsi(u"a\u4E2Db\u0080"), "a?b?");
    EXPECT_EQ(AnsiToText("\x80x"), u"\u20ACx");
}

TEST(Utf8, RoundTripsAllPlanes) {
    const std::u16string text = u"Corvane \u00E9\u20AC\u4E2D \U0001F600\U0010FFFF";
    EXPECT_EQ(Utf8ToText(TextToUtf8(text)), text);
    EXPECT_EQ(TextToUtf8(u"\u00E9"), "\xC3\xA9");
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToText("a\xC3"), u"a\uFFFD");                 // truncated
    EXPECT_EQ(Utf8ToText("\xC0\xAF"), u"\uFFFD\uFFFD");         // overlong
    EXPECT_EQ(Utf8ToText("\xED\xA0\x80x"), u"\uFFFDx");         // encoded surrogate
    EXPECT_EQ(Utf8ToText("\xFF"), u"\uFFFD");
    EXPECT_EQ(TextToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(Rounding, HalvesGoToEven) {
    EXPECT_EQ(Nearest(2.5), 2);
    EXPECT_EQ(Nearest(3.5), 4);
    EXPECT_EQ(Nearest(-2.5), -2);
    EXPECT_EQ(Nearest(1.5000001), 2);
    EXPECT_EQ(Nearest(0.4999999), 0);
}

TEST(NumberFormat, Patterns) {
    EXPECT_EQ(FormatNumber(0, "0000000"), u"0000000");
    EXPECT_EQ(FormatNumber(4242, "0000000"), u"0004242");
    EXPECT_EQ(FormatNumber(7, "00000"), u"00007");
    EXPECT_EQ(FormatNumber(15, "00"), u"15");
    EXPECT_EQ(FormatNumber(0.1, "00%"), u"10%");
    EXPECT_EQ(FormatNumber(1, "00%"), u"100%");
    EXPECT_EQ(FormatNumber(0.05, "00%"), u"05%");
    EXPECT_EQ(FormatNumber(0.0041666, "0.00%"), u"0.42%");
    EXPECT_EQ(FormatNumber(1, "0.00%"), u"100.00%");
    EXPECT_EQ(FormatNumber(2.0 / 1.5, "0.00%"), u"133.33%");
    EXPECT_EQ(FormatNumber(0.05, "00.00%"), u"05.00%");
    EXPECT_EQ(FormatNumber(0.02, "0.000%"), u"2.000%");
    EXPECT_EQ(FormatNumber(0.1234, "0.000"), u"0.123");
    EXPECT_EQ(FormatNumber(1234567, "#,##0"), u"1,234,567");
    EXPECT_EQ(FormatNumber(0, "#,##0"), u"0");
    EXPECT_EQ(FormatNumber(999, "#,##0"), u"999");
    EXPECT_EQ(FormatNumber(12.345, "#,##0"), u"12");
    EXPECT_EQ(FormatNumber(1499 * 0.001, "#,##0"), u"1");
    EXPECT_EQ(FormatNumber(150, "#,##,0"), u"150");
    EXPECT_EQ(FormatNumber(289200, "#,##,0"), u"289,200");
}

TEST(NumberFormat, DecimalHalvesRoundAwayFromZero) {
    EXPECT_EQ(FormatNumber(0.285, "0.00"), u"0.29");
    EXPECT_EQ(FormatNumber(0.125, "0.00"), u"0.13");
    EXPECT_EQ(FormatNumber(2.5, "0"), u"3");
    EXPECT_EQ(FormatNumber(-1.5, "0"), u"-2");
    EXPECT_EQ(FormatNumber(-0.001, "0.00"), u"0.00");
    // Large values are not pushed up by the allowance for binary halves.
    EXPECT_EQ(FormatNumber(500000000, "#,##0"), u"500,000,000");
    EXPECT_EQ(FormatNumber(4294967295.0, "0"), u"4294967295");
    EXPECT_EQ(FormatNumber(268435456.3, "#,##0"), u"268,435,456");
    EXPECT_EQ(FormatNumber(100000000.4, "0"), u"100000000");
    EXPECT_EQ(FormatNumber(268435456, "0.00"), u"268435456.00");
}

TEST(Dates, FormatAddAndValidate) {
    EXPECT_EQ(FormatDate({2026, 12, 6}), u"2026-12-06");
    EXPECT_EQ(AddDays({2026, 12, 30}, 2), (CivilDate{2027, 1, 1}));
    EXPECT_EQ(AddDays({2028, 2, 28}, 1), (CivilDate{2028, 2, 29}));
    EXPECT_EQ(AddDays({2027, 2, 28}, 1), (CivilDate{2027, 3, 1}));
    EXPECT_FALSE(IsValidDate({2026, 2, 29}));
    EXPECT_TRUE(IsValidDate({2000, 2, 29}));
    EXPECT_FALSE(IsValidDate({1900, 2, 29}));
    EXPECT_FALSE(IsValidDate({2026, 4, 31}));
    CivilDate d;
    EXPECT_TRUE(ParseDate("2026-12-30", d));
    EXPECT_EQ(d, (CivilDate{2026, 12, 30}));
    EXPECT_FALSE(ParseDate("2026-02-30", d));
    EXPECT_FALSE(ParseDate("2026-1-30", d));
    EXPECT_FALSE(ParseDate("20x6-01-30", d));
}

}  // namespace
}  // namespace corvane
