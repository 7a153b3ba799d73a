#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/LinkResult.hpp"
#include "sensors/SensorCommon.hpp"

namespace nuv {

class Tool;

// What the last search of a channel found, for callers without a window.
struct ChannelSearchResult {
    std::uint8_t channel = 0;
    LinkResult code = 0;                // 0, the link's or the exchange's code
    std::uint8_t status = 0;            // the reply's status byte when it passed its checks
    std::uint8_t reported = 0;          // the count byte as the module sent it
    std::vector<SensorSerial> serials;  // level 1 first, at most the sensors per channel
    // Per serial: whether it failed its CRC-8 (twice: the search is repeated once for it).
    std::vector<bool> damaged;
    bool repeated = false;  // the table was asked for again for a damaged serial
    std::size_t DamagedCount() const {
        return static_cast<std::size_t>(std::count(damaged.begin(), damaged.end(), true));
    }
};

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
