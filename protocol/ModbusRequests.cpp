#include "protocol/ModbusRequests.hpp"

namespace nuv {
namespace {

constexpr std::uint8_t kReadHoldingRegisters = 0x03;
constexpr std::uint8_t kReadPower = 0x06;
constexpr std::uint8_t kOutputs = 0x07;
constexpr std::uint8_t kReadOutputsValue = 0x10;
constexpr std::uint8_t kDiagnostic = 0x08;
constexpr std::uint8_t kReadCounters = 0x06;
constexpr std::uint8_t kClearCounters = 0x01;
constexpr std::uint8_t kPowerRegisters = 7;
constexpr std::uint8_t kResetCounters = 6;
// Address, function and byte count before the data, the CRC after it.
constexpr std::uint16_t kHeadAndCrc = 5;

// A request answered by a byte count and `registers` registers.
ModbusRequest Counted(std::array<std::uint8_t, 6> frame, std::uint8_t registers) {
    const auto bytes = static_cast<std::uint8_t>(2 * registers);
    return {frame, static_cast<std::uint16_t>(bytes + kHeadAndCrc),
            ReplyExpectation::WithCount(bytes)};
}

}  // namespace

ModbusRequest ReadRegistersRequest(std::uint8_t address, std::uint8_t start, std::uint8_t count) {
    return Counted({address, kReadHoldingRegisters, 0x00, start, 0x00, count}, count);
}

ModbusRequest ReadPowerRequest(std::uint8_t address) {
    return Counted({address, kReadPower, 0x00, 0x00, 0x00, kPowerRegisters}, kPowerRegisters);
}

ModbusRequest WriteOutputsRequest(std::uint8_t address, std::uint8_t mask) {
    return {{address, kOutputs, 0x00, 0x00, 0x00, mask}, 7, {}};
}

ModbusRequest ReadOutputsRequest(std::uint8_t address) {
    return {{address, kOutputs, 0x00, 0x00, 0x00, kReadOutputsValue}, 7, {}};
}

ModbusRequest ReadResetCountersRequest(std::uint8_t address) {
    return Counted({address, kDiagnostic, 0x00, 0x00, 0x00, kReadCounters}, kResetCounters);
}

ModbusRequest ClearResetCountersRequest(std::uint8_t address) {
    return {{address, kDiagnostic, 0x00, 0x00, 0x00, kClearCounters}, 6, {}};
}

}  // namespace nuv
