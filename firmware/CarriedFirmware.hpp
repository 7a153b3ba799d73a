#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "firmware/FirmwareImage.hpp"
#include "protocol/BootLoaderProtocol.hpp"

namespace nuv {

// Size of the firmware build that the tool carries.
inline constexpr std::size_t kCarriedImageSize = 17830;

// The firmware build that "Update Firmware" writes: the product's image when the build embedded
// it, else the stand-in below. Its origin says which.
const FirmwareImage& CarriedFirmwareImage();
// The identification that the module's boot loader must send; also the scrambling key.
const BootLoaderKey& CarriedBootLoaderIdentification();
bool CarriesStandIn();

// The development stand-in: 17830 bytes, the same every time, that say in plain text at their
// start and every 1024 bytes that they are not for real modules, with pseudo-random bytes
// between and a build tag for the simulated module. Its identification "NOT-REAL" matches no
// real boot loader, so the tool refuses a real module before a page is sent.
inline constexpr std::string_view kStandInNotice =
    "NUV STAND-IN FIRMWARE - NOT FOR REAL MODULES - development and tests only. ";
inline constexpr BootLoaderKey kStandInIdentification{'N', 'O', 'T', '-', 'R', 'E', 'A', 'L'};
std::vector<std::uint8_t> StandInFirmwareImage();

// A build tag in an image: these bytes, then the firmware's class byte and build byte. The
// simulated module reads it from the flash it was given to answer its firmware identification.
inline constexpr std::string_view kBuildTag = "NUV-FIRMWARE-BUILD:";
struct BuildTag {
    std::uint8_t firmwareClass;
    std::uint8_t build;
};
std::optional<BuildTag> FindBuildTag(std::span<const std::uint8_t> image);

}  // namespace nuv
