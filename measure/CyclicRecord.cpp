#include "measure/CyclicRecord.hpp"

#include <cmath>
#include <limits>

#include "measure/Cyclic.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "protocol/TemperatureRegister.hpp"

namespace nuv {
namespace {

constexpr const char* kLogToFile = "Log to file…";
constexpr const char* kStopLogging = "Stop logging";
constexpr Rgb kLogNote = colour::LogDefault;

void ShowLogClosed(Tool& tool) {
    tool.panel.btnLogToFile.SetCaption(kLogToFile);
}

}  // namespace

void RecordCyclicReading(Tool& tool, std::int64_t wallSeconds, LinkResult code) {
    const std::optional<TemperatureReading>& reading = tool.measure.lastReading;
    const int sensors = reading ? reading->sensorsPerChannel : SensorsPerChannel(tool.panel);

    std::vector<std::pair<std::string, float>> values;
    if (reading) {
        const float gap = std::numeric_limits<float>::quiet_NaN();
        values.reserve(static_cast<std::size_t>(10 * sensors + 1));
        for (int c = 0; c < 10; ++c) {
            for (int s = 0; s < sensors; ++s) {
                const std::uint16_t raw = reading->Raw(c, s);
                values.emplace_back(SensorColumnName(c, s + 1),
                                    SensorErrorCode(raw) != 0 ? gap : RawToCelsius(raw));
            }
        }
        values.emplace_back(kModuleSeries, RawToCelsius(reading->module));
    }
    tool.measure.cyclicTrend.Add(tool.TrendNowMs(), values);

    if (!tool.measure.readingLog.Active()) return;
    const std::string stamp = LocalTimeStamp(wallSeconds, tool.clock.UtcOffsetSeconds(wallSeconds));
    if (const auto failure = tool.measure.readingLog.Write(stamp, code, reading, sensors)) {
        // The measurement goes on; only the log stops. The message log is cleared by the next
        // reading, so the error logger keeps the line as well.
        const std::string line =
            "Reading log stopped: cannot write " + tool.measure.readingLog.Path() + ": " + *failure;
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine(line);
        tool.logger.AppendLine(LoggerStamp(tool.clock.LocalTime()) + " " + line);
        ShowLogClosed(tool);
    }
}

void MarkCyclicStart(Tool& tool) {
    if (tool.measure.cyclicTrend.FrameCount() != 0)
        tool.measure.cyclicTrend.Break(tool.TrendNowMs());
}

bool OpenReadingLog(Tool& tool, const std::string& path) {
    std::string reason;
    auto file = CreateAppendFile(path, reason);
    if (!file) {
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Cannot write " + path + ": " + reason);
        return false;
    }
    tool.measure.readingLog.Start(std::move(file), path);
    tool.panel.btnLogToFile.SetCaption(kStopLogging);
    tool.panel.btnLogToFile.SetHint("Logging every cyclic reading to " + path);
    tool.log.SetColour(kLogNote);
    tool.log.AppendLine("Logging every cyclic reading to " + path);
    return true;
}

void LogToFileClick(Tool& tool) {
    if (tool.measure.readingLog.Active()) {
        const std::size_t rows = tool.measure.readingLog.Rows();
        tool.measure.readingLog.Stop();
        ShowLogClosed(tool);
        tool.log.SetColour(kLogNote);
        tool.log.AppendLine("Reading log closed: " + std::to_string(rows) + " row(s) in " +
                            tool.measure.readingLog.Path());
        return;
    }
    SaveFileRequest request;
    request.filters = {{"Comma-separated values (*.csv)", "*.csv"}, {"All files (*)", "*"}};
    request.defaultExtension = "csv";
    request.folder = tool.saveFolder;
    const auto path = tool.dialogs.ChooseSaveFile(request);
    if (!path) return;
    OpenReadingLog(tool, *path);
}

}  // namespace nuv
