#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/LinkResult.hpp"
#include "protocol/ProgramBlock.hpp"

namespace nuv {

class UsbLink;

// Byte 0 of a program-mode reply.
namespace reply_status {
inline constexpr std::uint8_t Accepted = 6;
inline constexpr std::uint8_t Refused = 0x15;
// Accepted, and the module found sensors with identical serial numbers.
inline constexpr std::uint8_t AcceptedWithDuplicates = 2;
}  // namespace reply_status

// The result of a full-length reply whose status byte is 0: no module answers so (a line of
// zeros passes both checksums), so it is no data.
inline constexpr std::uint8_t kNoStatusResult = result::NoData;

// One exchange of the module's program mode: a masked block out, a masked block back, both
// checksums and the reply status checked. Failures are appended to the message log as the
// module's program-mode commands show them.
class ProgramClient {
  public:
    explicit ProgramClient(UsbLink& link);

    // Sends `block` (the caller's block is left as it is) and waits `limitMs` for `expected`
    // reply bytes (128, or 0 for a command whose reply is not examined). Returns 0 (accepted),
    // 19 (a write failed), 21/28/15/16 (no or incomplete reply), 1 (checksums wrong), 21
    // (refused), or the status byte of any other reply (17 for a full reply with status 0).
    // The reply is left unmasked in the link's RxBuffer[0..127], its mask in bytes 118..125.
    std::uint8_t Exchange(const ProgramBlock& block, std::uint16_t limitMs, std::uint16_t expected);

    // The status byte of the last exchange's reply, when it passed its checksums; else 0.
    std::uint8_t LastStatus() const { return lastStatus_; }

    // Where each exchange takes its mask. By default a fresh pseudo-random mask per exchange:
    // the module reads the mask from the trailer, so any value serves, and a new one makes
    // equal requests look different on the line, which is what the masking is for. Tests set
    // a fixed mask to check the bytes on the wire.
    std::function<BlockMask()> maskSource;

  private:
    BlockMask NextMask();

    UsbLink& link_;
    std::uint64_t maskState_;
    std::uint8_t lastStatus_ = 0;
};

}  // namespace nuv
