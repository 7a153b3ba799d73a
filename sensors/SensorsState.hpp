#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/LinkResult.hpp"
#include "core/Trend.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {

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

// The module's progress of a segregation: the raw temperatures of the table's entries (high
// byte first), the count of sensors already given their level, and the state.
struct SegregationStatus {
    static constexpr std::size_t kSize = 36;
    std::array<std::uint8_t, kSize> bytes{};
    std::uint8_t Sorted() const { return bytes[32]; }
    std::uint8_t State() const { return bytes[33]; }
};

namespace segregation_state {
inline constexpr std::uint8_t Finished = 0;
inline constexpr std::uint8_t HeatNext = 1;
inline constexpr std::uint8_t Cooling = 2;
}  // namespace segregation_state

// The order of the sorted list as the module takes it: serials of levels 1..n, the count n at
// byte 8N (N the sensors per channel), 0xFF elsewhere.
using SortedSerialTable = std::array<std::uint8_t, 256>;

// The APC runs of a window session, for the service report: each channel's last run, its
// sensors' temperatures by serial.
struct ApcRuns {
    std::map<std::uint8_t, TrendModel> byChannel;
    std::optional<std::uint8_t> running;  // the channel of the run under way, or the last one
};

// What the sensor commands keep from one command to the next. The tool holds it; only sensors/
// writes it.
struct SensorsState {
    // The last search of a channel.
    ChannelSearchResult lastSearch;
    // The segregation's table of serials and its status, as the last poll read them.
    std::array<std::uint8_t, kSensorTableSize> segregationTable{};
    SegregationStatus segregationStatus;
    // The channel of the sort-by-serial area, and the order it builds.
    std::uint8_t sbsChannel = 0;
    SortedSerialTable sortedSerialTable = [] {
        SortedSerialTable table{};
        table.fill(0xFF);
        return table;
    }();
    // The found sensors' temperatures during an APC run, for the trend plot.
    TrendModel apcTrend;
    // Each channel's last APC run of this session, for the service report.
    ApcRuns apcRuns;
};

}  // namespace nuv
