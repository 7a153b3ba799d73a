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
// "Save Address": the address list's value into the module's working configuration.
LinkResult SaveAddress(Tool& tool);
void btn12Click(Tool& tool);
// "Save Interval": the interval list's value.
LinkResult SaveInterval(Tool& tool);
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
