#pragma once

#include <optional>
#include <string_view>

namespace nuv {

// Model and hardware version as the FTDI serial text names them: characters 1 to 3 the model,
// characters 4 and 5 the version in decimal ("NUV13xxx" is model NUV, version 13).
struct HardwareVersion {
    std::string_view model;
    int version = 0;
};

// Empty when the text is shorter than five characters or characters 4 and 5 are not both
// decimal digits (a busy device shows "?").
std::optional<HardwareVersion> ParseHardwareVersion(std::string_view serial);

// Whether the device's hardware has the USB-to-RS485 pass-through: NUV from version 13, KWD from
// version 10. A text that names no version does not have it.
bool HasRs485PassThrough(std::string_view serial);

}  // namespace nuv
