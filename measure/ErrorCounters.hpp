#pragma once

#include <cstdint>

namespace nuv {

// Counters of failed readings, shared by the single and the cyclic measurement. 16 bits each,
// wrapping around; reset only by the error logger's commands.
struct ErrorCounters {
    std::uint16_t oneWireShort = 0;
    std::uint16_t oneWireCrc = 0;
    std::uint16_t oneWirePresence = 0;
    std::uint16_t readError = 0;
    std::uint16_t usbError = 0;
    std::uint16_t noData = 0;
    std::uint16_t otherError = 0;
    std::uint16_t measure = 0;
};

// Adds one, wrapping from 65535 to 0, and returns the new count.
inline std::uint16_t CountUp(std::uint16_t& counter) {
    counter = static_cast<std::uint16_t>(counter + 1U);
    return counter;
}

}  // namespace nuv
