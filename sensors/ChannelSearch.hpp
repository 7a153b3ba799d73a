#pragma once

#include <cstdint>

#include "core/LinkResult.hpp"
#include "sensors/SensorCommon.hpp"
#include "sensors/SensorsState.hpp"

namespace nuv {

class Tool;

// Searches one channel's sensors: their serials by level into the sensor grid and ListBox1.
// A serial that fails its CRC-8 twice is shown marked in red and left out of ListBox1.
// Returns the number of whole serials shown, 0 after any failure.
std::uint8_t SearchChannel(Tool& tool, std::uint8_t channel, std::uint8_t command,
                           std::uint8_t sub);
// A "Search - Channel c" button.
void SearchButtonClick(Tool& tool, std::uint8_t channel);
// "Search all Channels".
void Button9Click(Tool& tool);

}  // namespace nuv
