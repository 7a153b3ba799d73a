#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/ConfigState.hpp"
#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// Reads the module's memory piece by piece into tool.config.memoryImage, moving the progress bar.
// `onPiece` hears the progress after each piece. Returns 0 when all 64 pieces came, else the
// code of the exchange that failed (reading stops there; that piece is not kept).
LinkResult ReadModuleMemory(Tool& tool, const std::function<void(int)>& onPiece = {});
// How a memory read that was checked by reading it again went.
struct MemoryVerification {
    // Reads a piece gets at most: the two of every piece and the ones that settle a difference.
    static constexpr std::size_t kMaxReadsOfPiece = 6;
    std::size_t reads = 0;               // pieces read in all
    std::vector<std::size_t> reread;     // pieces whose first two reads differed
    std::vector<std::size_t> unsettled;  // pieces of which no two reads agreed
    std::size_t failedPiece = 0;         // the piece whose exchange failed, when one did
    bool Agreed() const { return unsettled.empty(); }
};
// Reads the module's memory twice, and again every piece whose reads differ, until two reads of
// that piece agree: two bit errors that cancel out pass the block's checks, but seldom the same
// two twice. The tool's image holds the agreed bytes; it stays without valid bytes while a
// piece is unsettled. Returns 0; the code of an exchange that failed (reading stops there);
// or 17 (no data) when a piece is unsettled. `onPiece` hears the progress, as for the single
// read.
LinkResult ReadModuleMemoryVerified(Tool& tool, MemoryVerification& verification,
                                    const std::function<void(int)>& onPiece = {});
// The unsettled pieces in words: "3 (0x00C0), 17 (0x0440)".
std::string PieceList(const std::vector<std::size_t>& pieces);

// "Read EEPROM": the memory read, then the save dialog.
void Button42Click(Tool& tool);

// Writes the image's valid bytes to a file, whole or not at all. Returns none on success, else
// the reason in words.
std::optional<std::string> SaveMemoryImage(const ModuleMemoryImage& image, const std::string& path);

// "READ_EEPROM_126B" and "SPI Read": one block, printed byte by byte.
void btn10Click(Tool& tool);
void btn14Click(Tool& tool);

}  // namespace nuv
