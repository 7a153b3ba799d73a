#pragma once

#include <array>
#include <cstdint>

#include "core/LinkResult.hpp"
#include "sensors/SensorCommon.hpp"
#include "sensors/SensorsState.hpp"

namespace nuv {

class Tool;

// Starts the segregation of a channel: the module searches it and waits for the sensors to be
// heated one after another. Returns the number of sensors found (0 after a failure).
std::uint8_t StartSegregation(Tool& tool, std::uint8_t channel, std::uint8_t command,
                              std::uint8_t sub);
// An "APCc" button.
void ApcButtonClick(Tool& tool, std::uint8_t channel);
// One progress poll of the procedure.
void Timer3Timer(Tool& tool);
// "Exit " and the APC window's "Zapisz bierzący uklad": the end of the procedure.
void Button37Click(Tool& tool);
// "Read_APC": one progress read in the layout of ten positions.
void Button36Click(Tool& tool);

}  // namespace nuv
