#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// The Modbus addresses a slave may have.
inline constexpr int kFirstSlaveAddress = 1;
inline constexpr int kLastSlaveAddress = 247;

// A list of module addresses as a person writes it: numbers and ranges separated by commas,
// "2", "1,4,7-9" (blanks around the items are allowed). Each address 1..247, a range from low to
// high, no address twice. The addresses in the order written (a range upwards), or none with
// the reason in words ("'0' is not an address of 1..247", "4 is listed twice", ...).
std::optional<std::vector<int>> ParseAddressList(std::string_view text, std::string& reason);

// The list written back, ranges of three or more joined: {1,4,7,8,9} gives "1,4,7-9".
std::string AddressListText(const std::vector<int>& addresses);

}  // namespace nuv
