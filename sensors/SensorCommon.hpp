#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace nuv {

class Tool;

using SensorSerial = std::array<std::uint8_t, 8>;

// The table of a channel's sensors as the module sends it for a search or a segregation: up to
// 16 serials of 8 bytes, level order, and the count at byte 8N (N the sensors per channel).
inline constexpr std::size_t kSensorTableSize = 129;
inline constexpr std::size_t kMaxLevels = 16;
// A table of 16 levels takes two blocks: its bytes 0..80, then 81..128.
inline constexpr std::size_t kFirstPartBytes = 81;
inline constexpr std::size_t kSecondPartBytes = 48;

// A serial as the window shows it: 16 upper-case hexadecimal digits, byte 0 first.
std::string SerialText(std::span<const std::uint8_t> serial);
// A shown serial back to its bytes: each pair of characters is one byte, a character counting
// its code less 48 below code 64 and less 55 from there ("0".."9", "A".."F"), the byte taken
// modulo 256. Characters missing at the end count as "0".
SensorSerial SerialBytes(std::string_view text);

// Whether the sensors per channel are known (program mode reported the firmware's capacity);
// says in the log why not, and that the command is refused.
bool CapacityKnown(Tool& tool);

// Shows levels 1..levels of a grid: 12 level rows as laid out, more for 16 levels.
void ShowLevels(class StringGrid& grid, std::size_t levels);

}  // namespace nuv
