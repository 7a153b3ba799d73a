#pragma once

#include <cstdint>

namespace nuv {

// The abort flag of an update: kept at kAbortFlagRunning while it runs; any other value ends
// the wait for the boot loader's prompt ("Wyjscie" sets kAbortFlagStop).
inline constexpr std::uint8_t kAbortFlagRunning = 0xAA;
inline constexpr std::uint8_t kAbortFlagStop = 0xFF;

// What the firmware update keeps beyond one command. The tool holds it; only firmware/ writes
// it.
struct FirmwareState {
    // The update's abort flag: kAbortFlagRunning while an update may go on.
    std::uint8_t abortFlag = kAbortFlagRunning;
};

}  // namespace nuv
