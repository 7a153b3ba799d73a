#include "fuzz/FuzzInput.hpp"

#include <algorithm>

#include "protocol/ProgramBlock.hpp"

namespace nuv::fuzz {
namespace {

constexpr std::uint8_t kTriggerBits = 0x03;
constexpr std::uint8_t kBlockBit = 0x04;
constexpr unsigned kDelayShift = 3;
constexpr std::size_t kMaxLength = 0xFFFF;

}  // namespace

std::uint8_t Chunk::DelayStepOf(std::int64_t ns) {
    std::uint8_t step = 0;
    while (step < kMaxDelayStep && DelayNsOf(static_cast<std::uint8_t>(step + 1)) <= ns) ++step;
    return step;
}

std::vector<std::uint8_t> Chunk::WireBytes() const {
    if (!block) return bytes;
    ProgramBlock plain{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), plain.size()), plain.begin());
    BlockMask mask{};
    std::copy_n(plain.begin() + kTrailerFirst, mask.size(), mask.begin());
    const ProgramWire wire = EncodeProgramBlock(plain, mask);
    std::vector<std::uint8_t> out(wire.begin(), wire.end());
    if (bytes.size() > plain.size()) {
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(plain.size()),
                   bytes.end());
    }
    return out;
}

FuzzCase ParseCase(std::span<const std::uint8_t> data, std::size_t optionBytes) {
    FuzzCase parsed;
    std::size_t at = 0;
    auto next = [&]() -> std::uint8_t { return at < data.size() ? data[at++] : 0; };
    for (std::size_t i = 0; i < optionBytes; ++i) parsed.options.push_back(next());
    while (at < data.size()) {
        const std::uint8_t flags = next();
        Chunk chunk;
        chunk.trigger = static_cast<Trigger>(flags & kTriggerBits);
        chunk.block = (flags & kBlockBit) != 0;
        chunk.delayStep = static_cast<std::uint8_t>(flags >> kDelayShift);
        std::size_t length = next();
        length = length << 8U | next();
        length = std::min(length, data.size() - at);
        chunk.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        parsed.chunks.push_back(std::move(chunk));
    }
    return parsed;
}

std::vector<std::uint8_t> SerializeCase(const FuzzCase& fuzzCase) {
    std::vector<std::uint8_t> out = fuzzCase.options;
    for (const Chunk& chunk : fuzzCase.chunks) {
        const std::size_t length = std::min(chunk.bytes.size(), kMaxLength);
        auto flags = static_cast<std::uint8_t>(
            std::min(chunk.delayStep, Chunk::kMaxDelayStep) << kDelayShift |
            (static_cast<std::uint8_t>(chunk.trigger) & kTriggerBits));
        if (chunk.block) flags |= kBlockBit;
        out.push_back(flags);
        out.push_back(static_cast<std::uint8_t>(length >> 8U));
        out.push_back(static_cast<std::uint8_t>(length & 0xFFU));
        out.insert(out.end(), chunk.bytes.begin(),
                   chunk.bytes.begin() + static_cast<std::ptrdiff_t>(length));
    }
    return out;
}

Chunk RecordedChunk(Trigger trigger, std::uint8_t delayStep,
                    std::span<const std::uint8_t> received) {
    Chunk chunk;
    chunk.trigger = trigger;
    chunk.delayStep = delayStep;
    if (received.size() == kProgramWireSize) {
        const DecodedBlock decoded = DecodeProgramBlock(
            std::span<const std::uint8_t, kProgramWireSize>(received.data(), kProgramWireSize));
        if (decoded.checksumsOk) {
            chunk.block = true;
            chunk.bytes.assign(decoded.bytes.begin(), decoded.bytes.begin() + kProgramBlockSize);
            return chunk;
        }
    }
    chunk.bytes.assign(received.begin(), received.end());
    return chunk;
}

}  // namespace nuv::fuzz
