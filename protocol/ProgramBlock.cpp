#include "protocol/ProgramBlock.hpp"

namespace nuv {
namespace {

struct Checksums {
    std::uint8_t xorSum = 0;
    std::uint8_t sum = 0;
};

// XOR and 8-bit sum of bytes 0..125 of a plain block whose bytes 118..125 hold the mask.
Checksums ChecksumsOf(std::span<const std::uint8_t> plain) {
    Checksums c;
    for (std::size_t i = 0; i < kProgramBlockSize; ++i) {
        c.xorSum = static_cast<std::uint8_t>(c.xorSum ^ plain[i]);
        c.sum = static_cast<std::uint8_t>(c.sum + plain[i]);
    }
    return c;
}

void ApplyMask(std::span<std::uint8_t> bytes, const BlockMask& mask) {
    for (std::size_t p = kMaskedFirst; p <= kMaskedLast; ++p) {
        bytes[p] = static_cast<std::uint8_t>(bytes[p] ^ mask[(p - 1) % 8]);
    }
}

}  // namespace

ProgramBlock MakeProgramBlock(std::uint8_t command, std::uint8_t sub) {
    ProgramBlock block{};
    block[0] = kBlockMarker;
    block[1] = command;
    block[2] = sub;
    return block;
}

ProgramWire EncodeProgramBlock(const ProgramBlock& block, const BlockMask& mask) {
    ProgramWire wire{};
    std::copy(block.begin(), block.end(), wire.begin());
    std::copy(mask.begin(), mask.end(), wire.begin() + kTrailerFirst);
    const Checksums checks = ChecksumsOf(wire);
    for (std::size_t i = 0; i < 7; ++i) {
        wire[kTrailerFirst + i] = static_cast<std::uint8_t>(mask[i] ^ mask[i + 1]);
    }
    wire[kTrailerFirst + 7] = mask[7];
    ApplyMask(wire, mask);
    wire[126] = checks.xorSum;
    wire[127] = checks.sum;
    return wire;
}

BlockMask RebuildMask(std::span<const std::uint8_t, kProgramWireSize> wire) {
    BlockMask mask{};
    mask[7] = wire[kTrailerFirst + 7];
    for (std::size_t i = 7; i-- > 0;) {
        mask[i] = static_cast<std::uint8_t>(mask[i + 1] ^ wire[kTrailerFirst + i]);
    }
    return mask;
}

DecodedBlock DecodeProgramBlock(std::span<const std::uint8_t, kProgramWireSize> wire) {
    DecodedBlock decoded;
    std::copy(wire.begin(), wire.end(), decoded.bytes.begin());
    const BlockMask mask = RebuildMask(wire);
    std::copy(mask.begin(), mask.end(), decoded.bytes.begin() + kTrailerFirst);
    ApplyMask(decoded.bytes, mask);
    const Checksums checks = ChecksumsOf(decoded.bytes);
    decoded.checksumsOk = checks.xorSum == wire[126] && checks.sum == wire[127];
    return decoded;
}

}  // namespace nuv
