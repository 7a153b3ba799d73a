#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nuv::fuzz {

// A harness input, read front to back so that seeds are easy to write and read by hand:
//
//   option bytes   a fixed count per harness (sensors per channel, address, which command...);
//                  missing ones count as 0
//   chunks         what the module sends, each released onto the wire by what the tool does:
//     flags        bits 0..1: what releases the chunk:
//                         0 the next write of a request, 1 the next change of a control line
//                         (DTR or RTS), 2 the chunk before it (it follows that chunk's last
//                         byte, as the second part of an answer does; first in the input, the
//                         next event of either kind), 3 the next event of either kind
//                  bit 2: the bytes are a plain program-mode block (126 bytes, zeros added when
//                         fewer, its mask in bytes 118..125) that goes out encoded, so that its
//                         checksums fit; bytes after the 126th follow it as they are
//                  bits 3..7: d, the delay before the first byte leaves: d ms below 16, else
//                         16 * (d - 14)^2 ms (64 ms .. 4624 ms); chunks that follow one another
//                         add their delays, so any time can be reached to the millisecond
//     length       two bytes, high byte first
//     bytes        `length` bytes, fewer when the input ends first
enum class Trigger : std::uint8_t { Write = 0, Line = 1, Follow = 2, Any = 3 };

struct Chunk {
    Trigger trigger = Trigger::Write;
    bool block = false;
    std::uint8_t delayStep = 0;  // 0..31
    std::vector<std::uint8_t> bytes;

    static constexpr std::uint8_t kMaxDelayStep = 31;
    static std::int64_t DelayNsOf(std::uint8_t step) {
        const std::int64_t ms = step < 16 ? step : 16LL * (step - 14) * (step - 14);
        return ms * 1'000'000;
    }
    std::int64_t DelayNs() const { return DelayNsOf(delayStep); }
    // The largest step whose delay is not longer than `ns`.
    static std::uint8_t DelayStepOf(std::int64_t ns);
    // The bytes as they go on the wire: a block encoded under its own mask, else as they are.
    std::vector<std::uint8_t> WireBytes() const;
};

struct FuzzCase {
    std::vector<std::uint8_t> options;
    std::vector<Chunk> chunks;
};

FuzzCase ParseCase(std::span<const std::uint8_t> data, std::size_t optionBytes);
std::vector<std::uint8_t> SerializeCase(const FuzzCase& fuzzCase);

// A chunk of received bytes as a recording keeps it: a whole program-mode block whose checksums
// fit is kept plain (re-encoding it gives the same bytes), anything else as it came.
Chunk RecordedChunk(Trigger trigger, std::uint8_t delayStep,
                    std::span<const std::uint8_t> received);

}  // namespace nuv::fuzz
