#include "protocol/BootLoaderProtocol.hpp"

namespace nuv {

std::uint8_t ScramblePageByte(std::uint8_t plain, const BootLoaderKey& key, std::size_t position) {
    // Odd and even positions have masks of their own, from key bytes 4 and 1, and 6 and 2.
    const auto maskOdd = static_cast<std::uint8_t>(static_cast<std::uint8_t>(~key[4]) + key[1]);
    const auto maskEven = static_cast<std::uint8_t>(static_cast<std::uint8_t>(~key[6]) - key[2]);
    const bool third = position % 3 == 0;
    const auto index = static_cast<std::uint8_t>(position & 0xFFU);
    if (position % 2 == 1) {
        const std::uint8_t c = third ? 0x21 : 0x55;
        return static_cast<std::uint8_t>(plain ^ index ^ c ^ maskOdd);
    }
    const std::uint8_t c = third ? 0x18 : 0xFA;
    return static_cast<std::uint8_t>(plain ^ index ^ c ^ maskEven);
}

PageBytes ScramblePage(std::span<const std::uint8_t, bootloader::kPageSize> plain,
                       const BootLoaderKey& key) {
    PageBytes sent{};
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = ScramblePageByte(plain[i], key, i);
    return sent;
}

std::uint8_t PageCheckByte(std::span<const std::uint8_t, bootloader::kPageSize> plain) {
    unsigned sum = 0;
    for (std::uint8_t byte : plain) sum += byte;
    return static_cast<std::uint8_t>(sum & 0xFFU);
}

}  // namespace nuv
