#pragma once

#include <cstddef>
#include <cstdint>

// The product's firmware image and boot loader identification, embedded by the build from the
// files that NUV_FIRMWARE_IMAGE and NUV_BOOTLOADER_ID name (firmware/EmbedFirmware.cmake). A
// build without them has kProductImagePresent false and carries the development stand-in.
namespace nuv::carried {
extern const bool kProductImagePresent;
extern const std::uint8_t kProductImage[];
extern const std::size_t kProductImageSize;
extern const std::uint8_t kProductIdentification[8];
}  // namespace nuv::carried
