#pragma once

#include <array>
#include <cstdint>

#include "protocol/ModbusReply.hpp"

namespace nuv {

// The module's normal-mode requests by name. Each gives the frame without its CRC (the Modbus
// client adds it), the length of a whole answer with its CRC, and what the answer's head must say.
struct ModbusRequest {
    std::array<std::uint8_t, 6> frame{};
    std::uint16_t replyLength = 0;
    ReplyExpectation expectation;
};

// Function 0x03: `count` holding registers from `start`; each answers two data bytes.
ModbusRequest ReadRegistersRequest(std::uint8_t address, std::uint8_t start, std::uint8_t count);

// Function 0x06 read as the module answers it: seven registers (main and system voltage, the
// five currents), laid out like a read of seven registers.
ModbusRequest ReadPowerRequest(std::uint8_t address);

// Function 0x07: the four digital outputs set from the low bits of `mask`, or read back with the
// value 0x10; the module echoes the request.
ModbusRequest WriteOutputsRequest(std::uint8_t address, std::uint8_t mask);
ModbusRequest ReadOutputsRequest(std::uint8_t address);

// Function 0x08: the six reset counters read (sub-function 6), or cleared (sub-function 1).
ModbusRequest ReadResetCountersRequest(std::uint8_t address);
ModbusRequest ClearResetCountersRequest(std::uint8_t address);

}  // namespace nuv
