#include "core/number_format.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace corvane {

int64_t Nearest(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

namespace {

// Rounds |v| * 10^decimals half away from zero. The scaled value is first
// taken to 15 significant digits, as a double is shown, so that a decimal
// half stored a little below it (0.285 is 0.28499999999999998 in binary)
// still rounds up, while whole and large numbers keep their own value.
std::string RoundedDigits(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", std::fabs(v) * std::pow(10.0, decimals));
    const double scaled = std::strtod(buf, nullptr);
    const double fl = std::floor(scaled);
    const double r = scaled - fl >= 0.5 ? fl + 1 : fl;
    std::snprintf(buf, sizeof buf, "%.0f", r);
    return buf;
}

}  // namespace

std::string FormatNumberAscii(double v, std::string_view pattern) {
    bool percent = false;
    if (!pattern.empty() && pattern.back() == '%') {
        percent = true;
        pattern.remove_suffix(1);
        v *= 100.0;
    }
    const size_t dot = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, dot);
    const std::string_view decPart = dot == std::string_view::npos ? std::string_view{} : pattern.substr(dot + 1);
    int minInt = 0;
    bool group = false;
    for (char c : intPart) {
        if (c == '0') ++minInt;
        if (c == ',') group = true;
    }
    int decimals = 0;
    for (char c : decPart)
        if (c == '0' || c == '#') ++decimals;

    std::string digits = RoundedDigits(v, decimals);
    while (static_cast<int>(digits.size()) < decimals + 1) digits.insert(digits.begin(), '0');
    std::string ip = digits.substr(0, digits.size() - decimals);
    const std::string dp = digits.substr(digits.size() - decimals);
    // Leading zeros beyond the mandatory ones go; an empty integer part stays
    // empty only when the pattern has no mandatory integer digit.
    size_t lead = 0;
    while (lead < ip.size() && ip[lead] == '0' && static_cast<int>(ip.size() - lead) > minInt) ++lead;
    ip.erase(0, lead);
    while (static_cast<int>(ip.size()) < minInt) ip.insert(ip.begin(), '0');
    if (group && ip.size() > 3) {
        std::string g;
        const size_t n = ip.size();
        for (size_t i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) g.push_back(',');
            g.push_back(ip[i]);
        }
        ip = g;
    }
    bool nonZero = false;
    for (char c : digits)
        if (c != '0') nonZero = true;
    std::string out;
    if (v < 0 && nonZero) out.push_back('-');
    out += ip;
    if (decimals > 0) {
        out.push_back('.');
        out += dp;
    }
    if (percent) out.push_back('%');
    return out;
}

std::u16string FormatNumber(double v, std::string_view pattern) {
    const std::string a = FormatNumberAscii(v, pattern);
    return std::u16string(a.begin(), a.end());
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

CivilDate CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

}  // namespace

bool IsValidDate(const CivilDate& d) {
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.year < 1 || d.year > 9999) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int max = kDays[d.month - 1];
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    if (d.month == 2 && leap) max = 29;
    return d.day <= max;
}

CivilDate AddDays(const CivilDate& d, int64_t days) {
    return CivilFromDays(DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) + days);
}

CivilDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return CivilDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string FormatDateAscii(const CivilDate& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::u16string FormatDate(const CivilDate& d) {
    const std::string a = FormatDateAscii(d);
    return std::u16string(a.begin(), a.end());
}

bool ParseDate(std::string_view t, CivilDate& out) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    auto num = [&](size_t pos, size_t len, int& v) {
        v = 0;
        for (size_t i = pos; i < pos + len; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            v = v * 10 + (t[i] - '0');
        }
        return true;
    };
    CivilDate d;
    if (!num(0, 4, d.year) || !num(5, 2, d.month) || !num(8, 2, d.day) || !IsValidDate(d)) return false;
    out = d;
    return true;
}

}  // namespace corvane
