#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace nuv {

// The bytes of the module's boot loader exchange at 115200 baud. The boot loader prompts with
// '>', the tool answers the start byte '<', the boot loader sends its 8-byte identification and
// then asks for each page with '!'; the tool sends the page number (high byte first), the 256
// scrambled page bytes and a check byte, and after the last page the end marker FF FF. The boot
// loader answers a page it could not prepare with '@', and the end marker with its verdict over
// the whole image: 'V' verified, '#' a page failed.
namespace bootloader {
inline constexpr std::uint32_t kBaud = 115200;
inline constexpr std::uint8_t kPrompt = 0x3E;        // '>'
inline constexpr std::uint8_t kStart = 0x3C;         // '<'
inline constexpr std::uint8_t kRequest = 0x21;       // '!'
inline constexpr std::uint8_t kFlashError = 0x40;    // '@'
inline constexpr std::uint8_t kVerified = 0x56;      // 'V'
inline constexpr std::uint8_t kVerifyFailed = 0x23;  // '#'
inline constexpr std::uint8_t kEndMarkerByte = 0xFF;
inline constexpr std::uint16_t kEndMarker = 0xFFFF;
inline constexpr std::size_t kPageSize = 256;
inline constexpr std::size_t kIdentificationSize = 8;
}  // namespace bootloader

// The boot loader's identification; its bytes 1, 2, 4 and 6 are the key of the page scrambling.
using BootLoaderKey = std::array<std::uint8_t, bootloader::kIdentificationSize>;
using PageBytes = std::array<std::uint8_t, bootloader::kPageSize>;

// The byte sent for plain byte `plain` at `position` (0..255) of a page. Scrambling is an XOR
// with a value that depends only on the key and the position, so the same function unscrambles.
std::uint8_t ScramblePageByte(std::uint8_t plain, const BootLoaderKey& key, std::size_t position);
PageBytes ScramblePage(std::span<const std::uint8_t, bootloader::kPageSize> plain,
                       const BootLoaderKey& key);
inline PageBytes UnscramblePage(std::span<const std::uint8_t, bootloader::kPageSize> sent,
                                const BootLoaderKey& key) {
    return ScramblePage(sent, key);
}

// The check byte of a page: the sum modulo 256 of its 256 plain (not scrambled) bytes.
std::uint8_t PageCheckByte(std::span<const std::uint8_t, bootloader::kPageSize> plain);

// The page number as it goes out: high byte first.
inline std::array<std::uint8_t, 2> PageNumberBytes(std::uint16_t page) {
    return {static_cast<std::uint8_t>(page >> 8U), static_cast<std::uint8_t>(page & 0xFFU)};
}

}  // namespace nuv
