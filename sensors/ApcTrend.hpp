#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "core/Trend.hpp"

namespace nuv {

class Tool;

// The found sensors' temperatures during an APC run, for the trend plot: one series per sensor,
// named by its serial, so that the heating and the cooling of each can be seen.

// The APC runs of a window session, for the service report: each channel's last run, its
// sensors' temperatures by serial.
struct ApcRuns {
    std::map<std::uint8_t, TrendModel> byChannel;
    std::optional<std::uint8_t> running;  // the channel of the run under way, or the last one
};

// A new run of the procedure on a channel: the trend starts empty, and so does the channel's
// record of its runs.
void MarkApcStart(Tool& tool, std::uint8_t channel);
// After a poll that read the table and the status: the temperatures of its first `entries`
// table entries.
void RecordApcPoll(Tool& tool, std::size_t entries);

}  // namespace nuv
