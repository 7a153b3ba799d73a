#include "core/NumberFormat.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nuv {
namespace {

// Rounds a decimal digit string (no sign, no point) of `intDigits` integer digits to
// `decimals` decimals, half away from zero. Returns the integer and fraction digits.
void RoundDigits(std::string digits, int intDigits, int decimals, std::string& integerPart,
                 std::string& fraction) {
    const int keep = intDigits + decimals;
    if (keep < 0) {
        integerPart = "0";
        fraction.assign(static_cast<std::size_t>(decimals), '0');
        return;
    }
    if (static_cast<int>(digits.size()) < keep + 1)
        digits.resize(static_cast<std::size_t>(keep + 1), '0');
    const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
            } else {
                ++digits[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            ++intDigits;
        }
    }
    if (intDigits <= 0) {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-intDigits), '0') + digits;
    } else {
        integerPart = digits.substr(0, static_cast<std::size_t>(intDigits));
        fraction = digits.substr(static_cast<std::size_t>(intDigits));
    }
    fraction.resize(static_cast<std::size_t>(decimals), '0');
}

}  // namespace

std::string FormatNumber(double value, int decimals, const NumberFormat& format, int significant) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    // The significant digits first, as the value would be stored with that precision.
    // to_chars writes what printf's "%.*e" writes, at a fraction of its cost (a cyclic reading
    // formats every sensor's value).
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value),
                                       std::chars_format::scientific, significant - 1);
    if (written.ec == std::errc{}) {
        *written.ptr = '\0';
    } else {
        std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, std::fabs(value));
    }
    std::string mantissa;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') mantissa.push_back(*p);
    }
    const int exponent = std::atoi(p + 1);
    std::string integerPart;
    std::string fraction;
    RoundDigits(mantissa, exponent + 1, decimals, integerPart, fraction);
    const std::size_t first = integerPart.find_first_not_of('0');
    integerPart = first == std::string::npos ? "0" : integerPart.substr(first);

    std::string grouped;
    for (std::size_t i = 0; i < integerPart.size(); ++i) {
        if (i != 0 && (integerPart.size() - i) % 3 == 0) grouped += format.thousandsSeparator;
        grouped.push_back(integerPart[i]);
    }
    const bool zero = integerPart == "0" && fraction.find_first_not_of('0') == std::string::npos;
    std::string text = (value < 0 && !zero) ? "-" + grouped : grouped;
    if (decimals > 0) text += format.decimalSeparator + fraction;
    return text;
}

std::string FixedDecimals(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace nuv
