#pragma once
// Rounding and the number and date patterns shown to the user or stored in
// hidden containers.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Nearest integer, exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t Nearest(double v);

// Formats v with a digit pattern: "0" a mandatory digit, "#" an optional one,
// a "," among the integer digits turns on grouping by thousands, a "."
// starts the decimals, a trailing "%" multiplies by 100 and appends "%".
// The value is rounded to the digits shown, halves away from zero.
// Examples: "0000000", "00", "0.00%", "00.00%", "0.000%", "0.000", "#,##0",
// "#,##,0", "00%".
std::u16string FormatNumber(double v, std::string_view pattern);
std::string FormatNumberAscii(double v, std::string_view pattern);

struct CivilDate {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    bool operator==(const CivilDate&) const = default;
};

bool IsValidDate(const CivilDate& d);
CivilDate AddDays(const CivilDate& d, int64_t days);
CivilDate Today();  // local time
// "YYYY-MM-DD"
std::u16string FormatDate(const CivilDate& d);
std::string FormatDateAscii(const CivilDate& d);
// Parses "YYYY-MM-DD" strictly; false for anything else or a day the month lacks.
bool ParseDate(std::string_view text, CivilDate& out);

}  // namespace corvane
