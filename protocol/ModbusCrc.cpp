#include "protocol/ModbusCrc.hpp"

#include <array>

namespace nuv {
namespace {

struct Tables {
    std::array<std::uint8_t, 256> high{};  // combined with the running second byte
    std::array<std::uint8_t, 256> low{};
};

// The published tables: entry i is the CRC step of the byte i, split into the byte that joins
// the first CRC byte and the byte that becomes the second.
constexpr Tables MakeTables() {
    Tables tables;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0xA001U : crc >> 1U;
        }
        tables.high[i] = static_cast<std::uint8_t>(crc & 0xFFU);
        tables.low[i] = static_cast<std::uint8_t>(crc >> 8U);
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

ModbusCrcBytes ModbusCrc(std::span<const std::uint8_t> bytes) {
    return ModbusCrcContinue(kModbusCrcStart, bytes);
}

ModbusCrcBytes ModbusCrcContinue(ModbusCrcBytes crc, std::span<const std::uint8_t> bytes) {
    std::uint8_t first = crc.first;
    std::uint8_t second = crc.second;
    for (std::uint8_t byte : bytes) {
        const std::uint8_t i = first ^ byte;
        first = kTables.high[i] ^ second;
        second = kTables.low[i];
    }
    return {first, second};
}

int ModbusCrcCheck(std::span<const std::uint8_t> data, std::size_t length) {
    if (data.size() < length + 2) return 1;
    const ModbusCrcBytes crc = ModbusCrc(data.first(length));
    return crc.first == data[length] && crc.second == data[length + 1] ? 0 : 1;
}

}  // namespace nuv
