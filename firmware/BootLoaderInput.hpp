#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "core/LinkResult.hpp"

namespace nuv {

class UsbLink;

// The boot loader's bytes as one update receives them. A read takes what it needs and keeps
// the rest of what came for the next read of the same update: a quick boot loader's request
// that arrives in one batch with its identification, or right behind a '@', is examined in its
// turn rather than lost with the surplus. Time limits and result codes are those of the link's
// timed read (21 when nothing came in time, 28 when the rest did not, 15 and 16 when the driver
// failed).
class BootLoaderInput {
  public:
    explicit BootLoaderInput(UsbLink& link) : link_(link) {}

    // Reads `count` bytes, those kept from earlier batches first, waiting `limitMs` for the first
    // byte and then as long again for the rest.
    LinkResult Read(std::size_t count, std::uint16_t limitMs);
    // What the last read got (all of it on success, what came before a failure otherwise).
    std::span<const std::uint8_t> Bytes() const { return got_; }
    // The first byte of the last read, 0 when it got none.
    std::uint8_t First() const { return got_.empty() ? 0 : got_.front(); }
    // Keeps bytes that came behind the one a wait was for, for the next read.
    void Keep(std::span<const std::uint8_t> bytes);
    std::size_t Kept() const { return kept_.size(); }

  private:
    // Takes kept bytes into the read while it needs some.
    void TakeKept(std::size_t count);
    // Takes the last drain's bytes: what the read needs, the rest kept.
    void TakeDrained(std::size_t count);

    UsbLink& link_;
    std::deque<std::uint8_t> kept_;
    std::vector<std::uint8_t> got_;
};

}  // namespace nuv
