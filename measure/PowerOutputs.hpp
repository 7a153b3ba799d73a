#pragma once

#include <array>
#include <cstdint>

#include "app/LinkResult.hpp"

namespace nuv {

class Tool;

// The exchange of the power, output and diagnostic commands: link preparation, one request,
// the byte count in Memo1, then either the two red failure lines or the green answer dump.
LinkResult ModuleExchange(Tool& tool, const std::array<std::uint8_t, 6>& request,
                          std::uint16_t expected);

// "Read values": supply voltages and channel currents.
void Button8Click(Tool& tool);
// A click on OUT1..OUT4: all four outputs are written.
void OutputBoxClick(Tool& tool);
// "Read Outputs": the boxes take the colours of the module's outputs.
void Button40Click(Tool& tool);

}  // namespace nuv
