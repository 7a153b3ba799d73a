#pragma once

#include <array>
#include <cstdint>

#include "core/LinkResult.hpp"
#include "protocol/ModbusReply.hpp"

namespace nuv {

class Tool;

// Supply voltages in volts and the currents of the channel pairs 0/1 .. 8/9 in amperes.
struct PowerValues {
    float system = 0;
    float main = 0;
    std::array<float, 5> currents{};
};

// The exchanges behind the buttons, for callers without a window. Each returns the exchange's
// result; the out-values are set only on success.
LinkResult ReadPower(Tool& tool, std::uint8_t address, PowerValues& values);
LinkResult WriteOutputs(Tool& tool, std::uint8_t address, std::uint8_t mask);
LinkResult ReadOutputs(Tool& tool, std::uint8_t address, std::uint8_t& bits);

// "Read values": supply voltages and channel currents.
void Button8Click(Tool& tool);
// A click on OUT1..OUT4: all four outputs are written.
void OutputBoxClick(Tool& tool);
// "Read Outputs": the boxes take the colours of the module's outputs.
void Button40Click(Tool& tool);

}  // namespace nuv
