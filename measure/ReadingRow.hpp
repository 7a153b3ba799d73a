#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/LinkResult.hpp"
#include "measure/TemperatureReading.hpp"

namespace nuv {

// One reading as a row of comma-separated values: the row of the window's reading log and of
// `nuvctl watch --csv`. Columns: the local time with its offset from UTC, the reading's result
// code, degrees of every sensor (channel 0 levels 1..S, then channel 1 ...), the module's own
// temperature, and the sensor error values of the reading as "c3s2:252" items separated by
// blanks. A sensor that gave an error value has an empty cell (its code is in the last column);
// a failed reading has every value cell empty. A log of several modules on one bus has the
// module's address as its second column, "time,address,result,...": a log of one module keeps
// the columns it always had.

// "2026-01-01T13:05:09+01:00": the local time at `wallSeconds` with the zone's offset.
std::string LocalTimeStamp(std::int64_t wallSeconds, int utcOffsetSeconds);

// The column of a sensor position, "c3s2": channel 3, level 2 (also its trend series).
std::string SensorColumnName(int channel, int level);

// The header line, "time,result,c0s1,...,c9sS,module,sensor_errors\n" ("time,address,result,..."
// with the address column).
std::string ReadingCsvHeader(int sensorsPerChannel, bool withAddress = false);

// One row, line break included. `reading` is empty after a failed reading. With an address, the
// row has the address column.
std::string ReadingCsvRow(const std::string& stamp, LinkResult code,
                          const std::optional<TemperatureReading>& reading, int sensorsPerChannel,
                          std::optional<int> address = std::nullopt);

// Shortest decimal text that reads back as the same value ("25.0625", "-0.5").
std::string ShortestDecimal(double value);

}  // namespace nuv
