#pragma once

#include <cstddef>
#include <cstdint>

namespace nuv {

class Tool;

// The found sensors' temperatures during an APC run, for the trend plot: one series per sensor,
// named by its serial, so that the heating and the cooling of each can be seen; and each
// channel's last run of the session (tool.sensors.apcRuns).

// A new run of the procedure on a channel: the trend starts empty, and so does the channel's
// record of its runs.
void MarkApcStart(Tool& tool, std::uint8_t channel);
// After a poll that read the table and the status: the temperatures of its first `entries`
// table entries.
void RecordApcPoll(Tool& tool, std::size_t entries);

}  // namespace nuv
