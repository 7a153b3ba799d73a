#pragma once

#include <optional>
#include <string>

#include "firmware/FirmwareImage.hpp"

namespace nuv {

// A firmware image from a file, checked before anything goes to the module: the file exists,
// is a regular file and can be read, is not empty, and its image fits the page buffer. Intel
// HEX (by the extension .hex, .ihx or .ihex, or by a first character ':') must be well formed
// with correct checksums; anything else is a raw image that starts at address 0, when it can be
// one: not a text, and at least one page long.
struct FirmwareFileResult {
    std::optional<FirmwareImage> image;
    // Why the file cannot be used, when there is no image.
    std::string error;
};
FirmwareFileResult LoadFirmwareFile(const std::string& path);

}  // namespace nuv
