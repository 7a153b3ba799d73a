#pragma once

#include <array>
#include <cstdint>

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// The module's reset counters: total, JTAG, watchdog, brown-out, external (USB), power-up.
using ResetCounters = std::array<std::uint16_t, 6>;

// The exchanges behind the buttons; the counters are set only on success.
LinkResult ReadResetCounters(Tool& tool, std::uint8_t address, ResetCounters& counters);
LinkResult ClearResetCounters(Tool& tool, std::uint8_t address);

// "Read": the module's reset counters as a report in the log.
void Button7Click(Tool& tool);
// "Clear": the module's reset counters to zero.
void Button14Click(Tool& tool);

}  // namespace nuv
