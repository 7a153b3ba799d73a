#pragma once

#include <optional>

#include "core/Trend.hpp"
#include "measure/ErrorCounters.hpp"
#include "measure/ReadingLog.hpp"
#include "measure/TemperatureReading.hpp"

namespace nuv {

// What the measurement commands keep from one command to the next. The tool holds it; only
// measure/ writes it.
struct MeasureState {
    // The failed readings, counted by kind for the error logger's labels.
    ErrorCounters counters;
    // The registers of the last reading, empty after a failed one.
    std::optional<TemperatureReading> lastReading;
    // The cyclic interval in use, for when the interval list holds no valid choice.
    unsigned cyclicIntervalSeconds = 4;
    // The file that "Log to file…" writes every cyclic reading into, while open.
    ReadingLog readingLog;
    // Temperatures over time of the cyclic measurement, for the trend plot.
    TrendModel cyclicTrend;
};

}  // namespace nuv
