#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/LinkResult.hpp"
#include "core/Rgb.hpp"
#include "protocol/ModbusReply.hpp"

namespace nuv {

class UsbLink;

namespace colour {
inline constexpr Rgb RequestEcho{230, 137, 132};
inline constexpr Rgb ReplyDump{165, 228, 167};
inline constexpr Rgb LinkError{242, 27, 21};
inline constexpr Rgb Hint{255, 255, 128};
}  // namespace colour

// One Modbus RTU exchange of the normal mode: the request goes out with its CRC-16, the reply
// is gathered until it has the expected length or the time runs out, and its CRC is checked.
// The traffic is echoed in the message log. The reply lands in the link's RxBuffer.
class ModbusClient {
  public:
    static constexpr std::size_t kCollectionSize = 65536;
    static constexpr std::size_t kMaxRequest = 254;

    explicit ModbusClient(UsbLink& link);

    // Returns 0 (reply complete, CRC right and its head fits the request), 1 (CRC wrong, or a
    // reply that answers another request: see LastCheck), 19 (send failed), or the code of the
    // last drain (15, 16, 17) when no complete reply came.
    std::uint8_t Transaction(std::span<const std::uint8_t> request, std::uint16_t limitMs,
                             std::uint16_t expected, const ReplyExpectation& expectation = {});

    // Why the last reply was refused although its CRC was right, or why a short reply was short
    // (an exception frame); a fault of None otherwise.
    const ReplyCheck& LastCheck() const { return lastCheck_; }

    // The bytes gathered by the last transaction, also after a failure.
    std::span<const std::uint8_t> Collected() const { return {collected_.data(), count_}; }
    // Forgets the last transaction, as a client just made (for a program that runs one tool
    // through many sessions).
    void Reset();

  private:
    UsbLink& link_;
    std::vector<std::uint8_t> collected_;
    std::size_t count_ = 0;
    ReplyCheck lastCheck_;
};

// Bytes as two upper-case hex digits, each followed by one blank.
std::string HexDump(std::span<const std::uint8_t> bytes);

}  // namespace nuv
