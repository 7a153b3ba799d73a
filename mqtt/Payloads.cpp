#include "mqtt/Payloads.hpp"

#include <cstdio>

#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "mqtt/Topics.hpp"
#include "protocol/TemperatureRegister.hpp"

namespace nuv::mqtt {
namespace {

bool IsSensorError(LinkResult code) {
    return code == SensorPresenceResult || code == SensorCrcResult || code == SensorShortResult;
}

std::string Degrees(std::uint16_t raw) {
    const std::string text = ShortestDecimal(RawToCelsius(raw));
    return text.empty() ? "null" : text;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const std::optional<Utf8Char> c = DecodeUtf8(text, at);
        if (!c) {
            json += "\\ufffd";  // a byte that is not UTF-8: the replacement character
            ++at;
            continue;
        }
        if (c->codePoint == '"' || c->codePoint == '\\') {
            json += '\\';
            json += text[at];
        } else if (c->codePoint < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c->codePoint));
            json += escaped;
        } else {
            json.append(text.substr(at, c->length));
        }
        at += c->length;
    }
    return json + '"';
}

std::string ReadingJson(int address, const std::string& time, LinkResult code,
                        const std::optional<TemperatureReading>& reading, int sensorsPerChannel) {
    const int levels = reading ? reading->sensorsPerChannel : sensorsPerChannel;
    std::string json = "{\"time\":" + JsonString(time) + ",\"address\":" + std::to_string(address) +
                       ",\"sensors_per_channel\":" + std::to_string(levels) +
                       ",\"result\":" + std::to_string(code) + ",\"module_temperature\":";
    // The module's own register is a temperature whatever it holds.
    json += reading ? Degrees(reading->module) : "null";
    json += ",\"channels\":[";
    std::string errors;
    for (int c = 0; c < 10; ++c) {
        json += c != 0 ? ",[" : "[";
        for (int s = 0; s < levels; ++s) {
            if (s != 0) json += ',';
            if (!reading) {
                json += "null";
                continue;
            }
            const std::uint16_t raw = reading->Raw(c, s);
            if (const LinkResult error = SensorErrorCode(raw); error != 0) {
                json += "null";
                if (!errors.empty()) errors += ',';
                errors += JsonString(SensorColumnName(c, s + 1)) + ":" + std::to_string(error);
                continue;
            }
            json += Degrees(raw);
        }
        json += ']';
    }
    return json + "],\"sensor_errors\":{" + errors + "}}";
}

void CountReading(ModuleCounters& counters, LinkResult code) {
    ++counters.readings;
    if (IsSensorError(code)) {
        ++counters.withSensorErrors;
    } else if (code != result::Ok) {
        ++counters.failed;
    }
}

std::string StatusJson(const ModuleStatus& status) {
    const ModuleCounters& n = status.counters;
    return "{\"time\":" + JsonString(status.time) +
           ",\"address\":" + std::to_string(status.address) +
           ",\"last_result\":" + std::to_string(status.lastResult) + ",\"last_reading\":" +
           (status.lastReadingTime ? JsonString(*status.lastReadingTime) : "null") +
           ",\"readings\":" + std::to_string(n.readings) +
           ",\"failed\":" + std::to_string(n.failed) +
           ",\"with_sensor_errors\":" + std::to_string(n.withSensorErrors) + "}";
}

MqttMessage ReadingMessage(const std::string& prefix, int address, std::string json) {
    return {ReadingTopic(prefix, address), std::move(json), false};
}

MqttMessage StatusMessage(const std::string& prefix, const ModuleStatus& status) {
    return {StatusTopic(prefix, status.address), StatusJson(status), true};
}

MqttMessage BridgeMessage(const std::string& prefix, bool online) {
    return {BridgeTopic(prefix), std::string(online ? kOnline : kOffline), true};
}

}  // namespace nuv::mqtt
