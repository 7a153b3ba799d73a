#include "protocol/Crc8.hpp"

#include <array>

namespace nuv {
namespace {

constexpr std::array<std::uint8_t, 256> MakeTable() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0x8CU : crc >> 1U;
        table[i] = static_cast<std::uint8_t>(crc);
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint8_t OneWireCrc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t crc = 0;
    for (std::uint8_t byte : bytes) crc = kTable[crc ^ byte];
    return crc;
}

}  // namespace nuv
