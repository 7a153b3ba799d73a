#pragma once

#include <cstdint>
#include <span>

namespace nuv {

// The CRC-16 of Modbus RTU (reflected polynomial 0xA001, start 0xFFFF, no final XOR) by the
// two-table method. `first` is the byte that goes first on the wire (the low-order byte of the
// CRC value), `second` the byte after it.
struct ModbusCrcBytes {
    std::uint8_t first;
    std::uint8_t second;
    std::uint16_t Value() const { return static_cast<std::uint16_t>(second << 8U | first); }
};

ModbusCrcBytes ModbusCrc(std::span<const std::uint8_t> bytes);
// The CRC of bytes that follow those whose CRC is `crc`: a CRC taken piece by piece.
ModbusCrcBytes ModbusCrcContinue(ModbusCrcBytes crc, std::span<const std::uint8_t> bytes);
inline constexpr ModbusCrcBytes kModbusCrcStart{0xFF, 0xFF};

// The check form: 0 when bytes [length] and [length + 1] hold the CRC of the first `length`
// bytes, 1 otherwise (also when the data is too short to hold them).
int ModbusCrcCheck(std::span<const std::uint8_t> data, std::size_t length);

}  // namespace nuv
