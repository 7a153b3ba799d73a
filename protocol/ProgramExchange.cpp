#include "protocol/ProgramExchange.hpp"

#include <string>

#include "core/MessageLog.hpp"
#include "link/UsbLink.hpp"

namespace nuv {
namespace {

constexpr std::uint32_t kPauseAfterWriteMs = 100;
constexpr std::uint32_t kPauseSliceMs = 10;

// Failure texts go to the end of the log text in the log's own colour.
void AppendToLog(MessageLog& log, const std::string& piece) {
    log.SetColour(colour::LogDefault);
    log.AppendText(piece);
}

}  // namespace

ProgramClient::ProgramClient(UsbLink& link)
    : link_(link),
      maskState_(0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(link.LinkClock().NowNs())) {}

BlockMask ProgramClient::NextMask() {
    if (maskSource) return maskSource();
    // splitmix64: every exchange a new mask.
    std::uint64_t z = (maskState_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    z ^= z >> 31U;
    BlockMask mask{};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = static_cast<std::uint8_t>(z >> (8 * i));
    }
    return mask;
}

std::uint8_t ProgramClient::Exchange(const ProgramBlock& block, std::uint16_t limitMs,
                                     std::uint16_t expected) {
    const UsbLink::ExchangeGuard exchange(link_, "a program-mode exchange");
    lastStatus_ = 0;
    if (link_.StopRequested()) return static_cast<std::uint8_t>(result::Stopped);

    lastStatus_ = 0;
    MessageLog& log = link_.Log();
    const ProgramWire wire = EncodeProgramBlock(block, NextMask());

    // Whatever waits on the link now answers no request of this exchange.
    link_.DiscardInput();
    if (const LinkResult code = link_.WriteBytes(std::span(wire).first(kProgramBlockSize));
        code != result::Ok) {
        AppendToLog(log, "\n TDAError: " + std::to_string(code));
        return static_cast<std::uint8_t>(code);
    }
    if (const LinkResult code = link_.WriteBytes(std::span(wire).subspan(kProgramBlockSize));
        code != result::Ok) {
        AppendToLog(log, "\n DCT_Error: " + std::to_string(code));
        return static_cast<std::uint8_t>(code);
    }
    // The module's time to take the block in; a window is served meanwhile.
    const std::uint32_t slice = link_.Pump().ServesWindow() ? kPauseSliceMs : kPauseAfterWriteMs;
    for (std::uint32_t slept = 0; slept < kPauseAfterWriteMs; slept += slice) {
        link_.Pump().ProcessEvents();
        link_.LinkClock().SleepMs(slice);
    }
    if (const LinkResult code = link_.ReadTimed(expected, limitMs); code != result::Ok) {
        AppendToLog(log, "\n Timeout_Error: " + std::to_string(code));
        return static_cast<std::uint8_t>(code);
    }

    // A reply of length 0 leaves the buffer cleared: its checks pass over zeros, and its
    // status 0 counts as accepted, since such a command's reply is not examined.
    ProgramWire received{};
    const auto rx = link_.RxBuffer();
    std::copy_n(rx.begin(), kProgramWireSize, received.begin());
    const DecodedBlock reply = DecodeProgramBlock(received);
    link_.StoreReply(reply.bytes);
    if (!reply.checksumsOk) {
        AppendToLog(log, "\n Error CC: 1");
        return 1;
    }
    lastStatus_ = reply.bytes[0];
    switch (lastStatus_) {
        case reply_status::Accepted:
            return 0;
        case reply_status::Refused:
            return result::FirstByteTimeout;  // 21, as the module's NAK
        case reply_status::AcceptedWithDuplicates:
            AppendToLog(log, "\nZnaleziono takie same seriale!!!");
            return 0;
        case 0:
            // A whole reply must say what became of the request; all zeros say nothing.
            return expected == 0 ? 0 : kNoStatusResult;
        default:
            return lastStatus_;
    }
}

}  // namespace nuv
