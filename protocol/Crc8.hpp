#pragma once

#include <cstdint>
#include <span>

namespace nuv {

// The 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, least significant bit first, start value 0) of a
// sensor's serial number, through its 256-entry table. Over all eight bytes of a valid serial
// it is 0.
std::uint8_t OneWireCrc8(std::span<const std::uint8_t> bytes);

}  // namespace nuv
