#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace nuv {

// The module's memory as the last "Read EEPROM" got it: 4096 bytes, the first `valid` of them
// read (64 pieces of 64 bytes).
struct ModuleMemoryImage {
    static constexpr std::size_t kSize = 4096;
    static constexpr std::size_t kPiece = 64;
    std::array<std::uint8_t, kSize> bytes{};
    std::size_t valid = 0;
};

// What the program-mode commands learn of the module and keep. The tool holds it; only config/
// writes it (sensors/ and firmware/, which build on program mode, read it).
struct ConfigState {
    // Sensor positions per channel of the module's firmware: 10, 12 or 16 once program mode
    // has identified it, 0 before.
    std::uint8_t maxSensorsPerChannel = 0;
    // The module's memory as the last "Read EEPROM" got it.
    ModuleMemoryImage memoryImage;
};

}  // namespace nuv
