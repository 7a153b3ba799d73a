#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace nuv {

// A request of the module's program mode as a command prepares it: 126 bytes, byte 0 the block
// marker 0x7E, byte 1 the command, byte 2 the sub-command or first parameter, bytes 3..117
// further parameters; bytes 118..125 take the trailer.
inline constexpr std::size_t kProgramBlockSize = 126;
// On the wire a block is followed by its XOR and sum checksums.
inline constexpr std::size_t kProgramWireSize = 128;
inline constexpr std::uint8_t kBlockMarker = 0x7E;
// Bytes 1..117 are masked; 118..125 carry the mask in encoded form.
inline constexpr std::size_t kMaskedFirst = 1;
inline constexpr std::size_t kMaskedLast = 117;
inline constexpr std::size_t kTrailerFirst = 118;

using ProgramBlock = std::array<std::uint8_t, kProgramBlockSize>;
using ProgramWire = std::array<std::uint8_t, kProgramWireSize>;
using BlockMask = std::array<std::uint8_t, 8>;

// A block of zeros with the marker in byte 0 and the command in bytes 1 and 2.
ProgramBlock MakeProgramBlock(std::uint8_t command, std::uint8_t sub);

// The 128 bytes that go on the wire for a block under a mask: byte 0 as it is, bytes 1..117
// XORed with the mask, the trailer (M[i] XOR M[i+1] for i = 0..6, then M[7]), then the XOR and
// the 8-bit sum of the 126 plain bytes with the mask itself in bytes 118..125.
ProgramWire EncodeProgramBlock(const ProgramBlock& block, const BlockMask& mask);

// The mask a block carries in its trailer: M[7] = byte 125, M[i] = M[i+1] XOR byte 118+i.
BlockMask RebuildMask(std::span<const std::uint8_t, kProgramWireSize> wire);

// A block as it came off the wire, unmasked: bytes 1..117 plain again, the mask in bytes
// 118..125, the checksums in 126 and 127 as they came; `checksumsOk` when both fit.
struct DecodedBlock {
    ProgramWire bytes{};
    bool checksumsOk = false;
};
DecodedBlock DecodeProgramBlock(std::span<const std::uint8_t, kProgramWireSize> wire);

}  // namespace nuv
