#include "sensors/ApcTrend.hpp"

#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/Tool.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "sensors/SensorCommon.hpp"

namespace nuv {

void MarkApcStart(Tool& tool, std::uint8_t channel) {
    tool.sensors.apcTrend.Clear();
    tool.sensors.apcRuns.byChannel[channel].Clear();
    tool.sensors.apcRuns.running = channel;
}

void RecordApcPoll(Tool& tool, std::size_t entries) {
    std::vector<std::pair<std::string, float>> values;
    values.reserve(entries);
    // At most 16 entries: their serials lie within the 129-byte table.
    for (std::size_t i = 0; i < entries; ++i) {
        const auto serial = std::span(tool.sensors.segregationTable).subspan(8 * i, 8);
        // A damaged serial would start a series of a sensor that is not there.
        if (!SerialIntact(serial)) continue;
        const auto raw =
            static_cast<std::uint16_t>(tool.sensors.segregationStatus.bytes[2 * i] << 8U |
                                       tool.sensors.segregationStatus.bytes[2 * i + 1]);
        // An error value is a gap, as in the cyclic plot.
        values.emplace_back(SerialText(serial), SensorErrorCode(raw) != 0
                                                    ? std::numeric_limits<float>::quiet_NaN()
                                                    : RawToCelsius(raw));
    }
    const std::int64_t now = tool.TrendNowMs();
    tool.sensors.apcTrend.Add(now, values);
    if (tool.sensors.apcRuns.running)
        tool.sensors.apcRuns.byChannel[*tool.sensors.apcRuns.running].Add(now, values);
}

}  // namespace nuv
