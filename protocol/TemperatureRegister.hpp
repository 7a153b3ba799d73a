#pragma once

#include <cstdint>

#include "core/LinkResult.hpp"

namespace nuv {

// A temperature register as the module sends it, in a reading and in the segregation's status.

// A sensor's raw register in degrees Celsius, in steps of 1/16: words from 0xF000 up are
// negative, all below positive (0x8000..0xEFFF read as large positive values).
float RawToCelsius(std::uint8_t high, std::uint8_t low);

// Degrees Celsius of a raw register.
inline float RawToCelsius(std::uint16_t raw) {
    return RawToCelsius(static_cast<std::uint8_t>(raw >> 8U),
                        static_cast<std::uint8_t>(raw & 0xFFU));
}

// The sensor error value a raw register holds (250, 251 or 252), or 0 for a temperature.
LinkResult SensorErrorCode(std::uint16_t raw);

}  // namespace nuv
