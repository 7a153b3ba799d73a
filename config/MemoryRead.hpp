#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/LinkResult.hpp"

namespace nuv {

class Tool;

// The module's memory as the last "Read EEPROM" got it: 4096 bytes, the first `valid` of them
// read (64 pieces of 64 bytes).
struct ModuleMemoryImage {
    static constexpr std::size_t kSize = 4096;
    static constexpr std::size_t kPiece = 64;
    std::array<std::uint8_t, kSize> bytes{};
    std::size_t valid = 0;
};

// Reads the module's memory piece by piece into the tool's image, moving the progress bar.
// `onPiece` hears the progress after each piece. Returns 0 when all 64 pieces came, else the
// code of the exchange that failed (reading stops there; that piece is not kept).
LinkResult ReadModuleMemory(Tool& tool, const std::function<void(int)>& onPiece = {});
// "Read EEPROM": the memory read, then the save dialog.
void Button42Click(Tool& tool);

// Writes the image's valid bytes to a file, whole or not at all. Returns none on success, else
// the reason in words.
std::optional<std::string> SaveMemoryImage(const ModuleMemoryImage& image, const std::string& path);

// "READ_EEPROM_126B" and "SPI Read": one block, printed byte by byte.
void btn10Click(Tool& tool);
void btn14Click(Tool& tool);

}  // namespace nuv
