#pragma once

#include <string>

namespace nuv {

// The locale's separators for measured values.
struct NumberFormat {
    std::string decimalSeparator = ".";
    std::string thousandsSeparator = ",";
};

// A value with a fixed number of decimals and digit grouping, from at most `significant`
// significant digits, rounded half away from zero: 2047.9375 gives "2,047.94", -252 "-252.00".
std::string FormatNumber(double value, int decimals, const NumberFormat& format,
                         int significant = 7);

// A value with `decimals` decimals as printf writes it ("%.*f"): "-0.50", "25.06".
std::string FixedDecimals(double value, int decimals);

}  // namespace nuv
