#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/LinkResult.hpp"
#include "measure/TemperatureReading.hpp"
#include "mqtt/MqttMessage.hpp"

namespace nuv::mqtt {

// The payloads of the bridge's messages, as pure functions of what the reading gave.

// A text as a JSON string, quotes included: the quote, the backslash and control characters are
// escaped, a byte that is not UTF-8 becomes U+FFFD; other UTF-8 passes as it is.
std::string JsonString(std::string_view text);

// PREFIX/ADDRESS/reading: one reading of one module, with the fields and the degrees of
// `nuvctl read --json`:
//   {"time":"2026-01-01T13:05:09+01:00","address":4,"sensors_per_channel":10,"result":252,
//    "module_temperature":31.25,"channels":[[24,23.5,...],...,[null,...]],
//    "sensor_errors":{"c9s1":252}}
// `time` is the local time with its offset (LocalTimeStamp). "channels" holds channel 0..9, each
// level 1 first. A sensor that gave an error value is null, with its code (250, 251, 252) under
// its column name (SensorColumnName) in "sensor_errors". A failed reading (`reading` empty) has
// every value null, `sensorsPerChannel` of them a channel, and no sensor errors; its result says
// why.
std::string ReadingJson(int address, const std::string& time, LinkResult code,
                        const std::optional<TemperatureReading>& reading, int sensorsPerChannel);

// The counters of one module's readings since the bridge started.
struct ModuleCounters {
    std::uint64_t readings = 0;          // every attempt
    std::uint64_t failed = 0;            // no reading at all (a link or module failure)
    std::uint64_t withSensorErrors = 0;  // a reading with at least one sensor error value
};

// Counts one reading of result `code` (0, a sensor error result 250..252, or a failure).
void CountReading(ModuleCounters& counters, LinkResult code);

struct ModuleStatus {
    int address = 0;
    std::string time;                            // of the last reading
    LinkResult lastResult = 0;                   // of the last reading
    std::optional<std::string> lastReadingTime;  // of the last reading that gave values
    ModuleCounters counters;
};

// PREFIX/ADDRESS/status, retained:
//   {"time":"...","address":4,"last_result":0,"last_reading":"..." or null,"readings":12,
//    "failed":1,"with_sensor_errors":2}
std::string StatusJson(const ModuleStatus& status);

// The messages themselves: a reading is not retained, a status and the bridge's state are.
MqttMessage ReadingMessage(const std::string& prefix, int address, std::string json);
MqttMessage StatusMessage(const std::string& prefix, const ModuleStatus& status);
// "online" or "offline" on PREFIX/bridge.
MqttMessage BridgeMessage(const std::string& prefix, bool online);

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

}  // namespace nuv::mqtt
