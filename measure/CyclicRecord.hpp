#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// What a cyclic measurement leaves beyond the grids: its row in the reading log, when one is
// open, and its points on the trend.

// After each cyclic reading taken at `wallSeconds` with result `code` (the reading itself, if
// any, is tool.measure.lastReading).
void RecordCyclicReading(Tool& tool, std::int64_t wallSeconds, LinkResult code);
// A new cyclic run starts: the trend draws no line across the time between the runs.
void MarkCyclicStart(Tool& tool);

// The trend's series names: a sensor position's is its reading-log column (SensorColumnName),
// the module's is this.
inline constexpr const char* kModuleSeries = "module";

// "Log to file…": asks for a file and logs every cyclic reading into it from now on; pressed
// while a log is open, it closes the log.
void LogToFileClick(Tool& tool);

// Opens the reading log at `path` (the same as choosing it in the dialog); false when the file
// cannot be created, which the message log says.
bool OpenReadingLog(Tool& tool, const std::string& path);

}  // namespace nuv
