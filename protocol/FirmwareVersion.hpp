#pragma once

#include <cstdint>
#include <string>

namespace nuv {

// Version word of the firmware build that the tool carries: class byte 0x00 (standard ORNEVA
// probes, 10 sensors per channel), build 0x48.
inline constexpr std::uint16_t CurrentFirmwareVersion = 0x0048;

// "CC.BB": class and build byte in upper-case hex ("00.48").
std::string FirmwareVersionText(std::uint16_t version);

// The probe standard of a firmware class byte (its high nibble): "ORNEVA", "MULTICORE", "LIROS",
// "LIROS/SUPERTECH", or "unknown".
const char* StandardName(std::uint8_t firmwareClass);

// What a firmware of the given class byte supports: the probe standard (high nibble) and the
// sensors per channel (low nibble).
std::string FirmwareSupportText(std::uint8_t firmwareClass);

}  // namespace nuv
