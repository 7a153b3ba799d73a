#pragma once

#include <cstdint>

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// The configuration commands of program mode. Each returns the result of its exchange, or of
// the step before it that failed.

// "Read Firmware ver.": shows class and build as "Firmware version: CC.BB".
LinkResult ReadFirmwareVersion(Tool& tool);
void Button17Click(Tool& tool);
// "Save Address": an address 1..247 into the module's working configuration; 0 (no value chosen)
// is refused with a line and kNothingSelected. The button saves the address list's value.
LinkResult SaveAddress(Tool& tool, std::uint8_t address);
void btn12Click(Tool& tool);
// "Save Interval": an interval 1..255 in seconds, as the address; the button saves the interval
// list's value.
LinkResult SaveInterval(Tool& tool, std::uint8_t interval);
void btn11Click(Tool& tool);
// "SAVE ALL CONFIGURATIONS": makes the working configuration permanent; the module then leaves
// program mode.
LinkResult SaveAllConfigurations(Tool& tool);
void btn15Click(Tool& tool);
// " RST via CODE": the module resets itself into normal mode.
LinkResult ResetViaCode(Tool& tool);
void Button0Click(Tool& tool);

// The result of a save refused because its list holds no value.
inline constexpr LinkResult kNothingSelected = 0xFFFF;

}  // namespace nuv
