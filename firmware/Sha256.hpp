#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace nuv {

// SHA-256 (FIPS 180-4) of a byte string: the fingerprint by which a technician can tell one
// firmware image from another.
std::array<std::uint8_t, 32> Sha256(std::span<const std::uint8_t> bytes);
// The same as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace nuv
