#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/Rgb.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {

class Tool;
class StringGrid;

// A serial as the window shows it: 16 upper-case hexadecimal digits, byte 0 first.
std::string SerialText(std::span<const std::uint8_t> serial);
// A shown serial back to its bytes: each pair of characters is one byte, a character counting
// its code less 48 below code 64 and less 55 from there ("0".."9", "A".."F"), the byte taken
// modulo 256. Characters missing at the end count as "0".
SensorSerial SerialBytes(std::string_view text);

// Whether a received serial is whole: its last byte is the 1-Wire CRC-8 of the seven before it,
// as in every sensor's serial. The module's block checks let two bit errors that cancel out
// pass; this check catches them in a serial.
bool SerialIntact(std::span<const std::uint8_t> serial);
// A serial that is not whole, as the grids show it: its digits and a mark, never taken for a
// serial.
std::string DamagedSerialText(std::span<const std::uint8_t> serial);
// The colour of a damaged serial in the grids and of its line in the log.
inline constexpr Rgb kDamagedSerialColour{242, 27, 21};
// Writes a received serial into a grid cell: as a serial when whole, else marked, in red.
void ShowReceivedSerial(StringGrid& grid, std::size_t column, std::size_t row,
                        std::span<const std::uint8_t> serial);
// Whether the first `count` serials of a table (8 bytes each) are whole.
bool TableSerialsIntact(std::span<const std::uint8_t> table, std::size_t count);

// Whether the sensors per channel are known (program mode reported the firmware's capacity);
// says in the log why not, and that the command is refused.
bool CapacityKnown(Tool& tool);

// Shows levels 1..levels of a grid, each row with its level number: 12 level rows as laid out,
// more for 16 levels.
void ShowLevels(StringGrid& grid, std::size_t levels);

}  // namespace nuv
