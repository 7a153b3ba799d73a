#include "measure/ReadingRow.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "measure/Temperatures.hpp"
#include "protocol/TemperatureRegister.hpp"

namespace nuv {

std::string LocalTimeStamp(std::int64_t wallSeconds, int utcOffsetSeconds) {
    const auto local = static_cast<std::time_t>(wallSeconds + utcOffsetSeconds);
    std::tm fields{};
    gmtime_r(&local, &fields);
    char text[96];
    const int offset = std::abs(utcOffsetSeconds) / 60;
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                  fields.tm_min, fields.tm_sec, utcOffsetSeconds < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text;
}

std::string SensorColumnName(int channel, int level) {
    return "c" + std::to_string(channel) + "s" + std::to_string(level);
}

std::string ReadingCsvHeader(int sensorsPerChannel, bool withAddress) {
    std::string header = withAddress ? "time,address,result" : "time,result";
    for (int c = 0; c < 10; ++c) {
        for (int s = 0; s < sensorsPerChannel; ++s) {
            header += "," + SensorColumnName(c, s + 1);
        }
    }
    header += ",module,sensor_errors\n";
    return header;
}

std::string ShortestDecimal(double value) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string ReadingCsvRow(const std::string& stamp, LinkResult code,
                          const std::optional<TemperatureReading>& reading, int sensorsPerChannel,
                          std::optional<int> address) {
    std::string row = stamp + ",";
    if (address) row += std::to_string(*address) + ",";
    row += std::to_string(code);
    std::string errors;
    for (int c = 0; c < 10; ++c) {
        for (int s = 0; s < sensorsPerChannel; ++s) {
            row += ',';
            if (!reading || s >= reading->sensorsPerChannel) continue;
            const std::uint16_t raw = reading->Raw(c, s);
            if (const LinkResult error = SensorErrorCode(raw); error != 0) {
                if (!errors.empty()) errors += ' ';
                errors += SensorColumnName(c, s + 1) + ":" + std::to_string(error);
                continue;
            }
            row += ShortestDecimal(RawToCelsius(raw));
        }
    }
    row += ',';
    // The module's own register is a temperature whatever it holds.
    if (reading) row += ShortestDecimal(RawToCelsius(reading->module));
    row += ',' + errors + '\n';
    return row;
}

}  // namespace nuv
