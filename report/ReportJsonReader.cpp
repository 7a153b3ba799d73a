#include "report/ReportJsonReader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "measure/ReadingRow.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "report/JsonValue.hpp"

namespace nuv {
namespace {

using Type = JsonValue::Type;

// The members of one section of the report, read with their place named in every complaint.
class Section {
  public:
    Section(const JsonValue* value, std::string name, std::string& error)
        : value_(value), name_(std::move(name)), error_(error) {}

    bool Present() const { return value_ != nullptr && value_->type == Type::Object; }
    const JsonValue* Member(std::string_view key) const {
        return Present() ? value_->Find(key) : nullptr;
    }
    std::string Place(std::string_view key) const { return name_ + "." + std::string(key); }
    bool Wrong(std::string_view key, std::string_view what) const {
        if (error_.empty()) error_ = Place(key) + " is not " + std::string(what);
        return false;
    }

    // A text; null reads as empty where the report writes null for "not there".
    bool Text(std::string_view key, std::string& out) const {
        const JsonValue* v = Member(key);
        if (v == nullptr || v->IsNull()) return true;
        if (v->type != Type::String) return Wrong(key, "a text");
        out = v->text;
        return true;
    }
    template <typename T>
    bool Whole(std::string_view key, std::optional<T>& out, long long low, long long high) const {
        const JsonValue* v = Member(key);
        if (v == nullptr || v->IsNull()) return true;
        const auto number = v->Integer(low, high);
        if (!number) {
            return Wrong(
                key, "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
        }
        out = static_cast<T>(*number);
        return true;
    }
    bool Real(std::string_view key, std::optional<double>& out) const {
        const JsonValue* v = Member(key);
        if (v == nullptr || v->IsNull()) return true;
        if (v->type != Type::Number) return Wrong(key, "a number");
        out = v->number;
        return true;
    }
    bool Flag(std::string_view key, std::optional<bool>& out) const {
        const JsonValue* v = Member(key);
        if (v == nullptr || v->IsNull()) return true;
        if (v->type != Type::Bool) return Wrong(key, "true or false");
        out = v->boolean;
        return true;
    }

  private:
    const JsonValue* value_;
    std::string name_;
    std::string& error_;
};

bool ReadFormat(const JsonValue& root, int& format, std::string& error) {
    const JsonValue* member = root.Find("format");
    if (member == nullptr) {
        format = 1;  // the first reports carried no version
        return true;
    }
    if (member->type == Type::String) {
        // The first reports named their format "nuv-service-report/1".
        constexpr std::string_view kName = "nuv-service-report/";
        const std::string& text = member->text;
        if (text.rfind(kName, 0) != 0 || text.size() == kName.size() ||
            text.size() > kName.size() + 3 ||
            text.find_first_not_of("0123456789", kName.size()) != std::string::npos) {
            error = "not a service report: its format is \"" + text + "\"";
            return false;
        }
        format = std::stoi(text.substr(kName.size()));
    } else if (const auto number = member->Integer(1, 1000)) {
        format = static_cast<int>(*number);
    } else {
        error = "not a service report: its format is not a version number";
        return false;
    }
    if (format < 1 || format > kReportFormat) {
        error = "a report of format " + std::to_string(format) + ", which this program (format " +
                std::to_string(kReportFormat) + ") cannot read";
        return false;
    }
    return true;
}

bool ReadSteps(const JsonValue& root, ReadReport& report, std::string& error) {
    for (const auto& [key, value] : root.members) {
        const JsonValue* ok = value.Find("ok");
        if (ok == nullptr) continue;  // no step: "format", "comparison", "remarks", ...
        if (ok->type != Type::Bool) {
            error = key + ".ok is not true or false";
            return false;
        }
        ReadReport::Step step{key, ok->boolean, ""};
        if (!Section(&value, key, error).Text("error", step.error)) return false;
        report.steps.push_back(std::move(step));
    }
    return true;
}

bool ReadChannels(const Section& sensors, ReadReport& report, std::string& error) {
    for (std::size_t c = 0; c < report.channels.size(); ++c) {
        const std::string key = "channel_" + std::to_string(c);
        const JsonValue* channel = sensors.Member(key);
        if (channel == nullptr) continue;
        const Section fields(channel, sensors.Place(key), error);
        std::optional<bool> ok;
        if (!fields.Present()) return sensors.Wrong(key, "an object");
        if (!fields.Flag("ok", ok)) return false;
        ReadReport::Channel& read = report.channels[c];
        if (!fields.Text("error", read.error)) return false;
        if (ok != true) continue;
        const JsonValue* serials = fields.Member("serials");
        if (serials == nullptr || serials->type != Type::Array) {
            return fields.Wrong("serials", "a list");
        }
        for (const JsonValue& serial : serials->items) {
            if (serial.type != Type::String) return fields.Wrong("serials", "a list of texts");
            read.serials.push_back(serial.text);
        }
        read.searched = true;
    }
    return true;
}

// A list of up to `most` lists of numbers (null where the report has none).
bool ReadGrid(const Section& section, std::string_view key, std::size_t most,
              std::vector<std::vector<std::optional<double>>>& grid) {
    const JsonValue* rows = section.Member(key);
    if (rows == nullptr) return true;
    if (rows->type != Type::Array || rows->items.size() > most) {
        return section.Wrong(key, "a list of at most " + std::to_string(most) + " lists");
    }
    for (const JsonValue& row : rows->items) {
        if (row.type != Type::Array || row.items.size() > 16) {
            return section.Wrong(key, "a list of lists of at most 16 values");
        }
        auto& values = grid.emplace_back();
        for (const JsonValue& item : row.items) {
            if (item.IsNull()) {
                values.emplace_back();
            } else if (item.type == Type::Number) {
                values.emplace_back(item.number);
            } else {
                return section.Wrong(key, "a list of lists of numbers");
            }
        }
    }
    return true;
}

bool ReadReading(const Section& reading, ReadReport& report) {
    if (!reading.Whole("address", report.readingAddress, 0, 255) ||
        !reading.Whole("result", report.readingResult, 0, 65535) ||
        !reading.Whole("sensors_per_channel", report.sensorsPerChannel, 0, 16) ||
        !reading.Real("module_temperature", report.moduleTemperature)) {
        return false;
    }
    std::vector<std::vector<std::optional<double>>> degrees;
    std::vector<std::vector<std::optional<double>>> raw;
    if (!ReadGrid(reading, "channels", 10, degrees) || !ReadGrid(reading, "raw", 10, raw)) {
        return false;
    }
    for (std::size_t c = 0; c < degrees.size(); ++c) {
        for (std::size_t s = 0; s < degrees[c].size(); ++s) {
            ReadReport::Value value{degrees[c][s], 0};
            // The raw word names the error value where the report has it.
            if (c < raw.size() && s < raw[c].size() && raw[c][s]) {
                const double word = *raw[c][s];
                if (word < 0 || word > 65535 || word != static_cast<int>(word)) {
                    return reading.Wrong("raw", "a list of lists of 16-bit words");
                }
                value.error = SensorErrorCode(static_cast<std::uint16_t>(word));
            }
            if (value.error != 0) value.celsius.reset();
            report.readings[c].push_back(value);
        }
    }
    return true;
}

bool ReadSupply(const Section& supply, ReadReport& report) {
    if (!supply.Real("system_v", report.systemVolts) || !supply.Real("main_v", report.mainVolts)) {
        return false;
    }
    const JsonValue* currents = supply.Member("currents_a");
    if (currents == nullptr || currents->IsNull()) return true;
    if (currents->type != Type::Array || currents->items.size() > 5) {
        return supply.Wrong("currents_a", "a list of at most 5 numbers");
    }
    for (const JsonValue& current : currents->items) {
        if (current.type != Type::Number) return supply.Wrong("currents_a", "a list of numbers");
        report.currents.push_back(current.number);
    }
    return true;
}

bool ReadSections(const JsonValue& root, ReadReport& report, std::string& error) {
    const Section header(root.Find("report"), "report", error);
    const Section device(root.Find("device"), "device", error);
    const Section firmware(root.Find("firmware"), "firmware", error);
    const Section memory(root.Find("memory"), "memory", error);
    const Section normal(root.Find("normal_mode"), "normal_mode", error);
    const Section outputs(root.Find("outputs"), "outputs", error);
    const Section counters(root.Find("reset_counters"), "reset_counters", error);
    const Section top(&root, "report", error);
    if (!top.Whole("failed_steps", report.failedSteps, 0, 1000) ||
        !header.Text("date", report.date) || !header.Text("tool_version", report.toolVersion) ||
        !header.Text("build", report.build) ||
        !header.Text("carried_firmware", report.carriedFirmware) ||
        !device.Text("description", report.description) ||
        !device.Text("serial", report.ftdiSerial) || !device.Text("model", report.model) ||
        !device.Whole("hardware_version", report.hardwareVersion, 0, 1'000'000) ||
        !firmware.Whole("address", report.address, 0, 255) ||
        !firmware.Whole("interval_s", report.interval, 0, 255) ||
        !firmware.Text("firmware", report.firmware) ||
        !firmware.Whole("firmware_class", report.firmwareClass, 0, 255) ||
        !firmware.Whole("firmware_build", report.firmwareBuild, 0, 255) ||
        !firmware.Text("standard", report.standard) ||
        !firmware.Whole("sensors_per_channel", report.capacity, 0, 16) ||
        !firmware.Flag("up_to_date", report.upToDate) ||
        !memory.Whole("bytes", report.memoryBytes, 0, 1 << 20) ||
        !memory.Text("sha256", report.sha256) || !memory.Text("dump_file", report.dumpFile) ||
        !normal.Flag("program_mode_entered", report.programModeEntered) ||
        !outputs.Whole("mask", report.outputs, 0, 255)) {
        return false;
    }
    for (std::size_t j = 0; j < kResetCounterKeys.size(); ++j) {
        if (!counters.Whole(kResetCounterKeys[j], report.resetCounters[j], 0, 0xFFFFFFFFLL)) {
            return false;
        }
    }
    if (const JsonValue* remarks = root.Find("remarks"); remarks != nullptr) {
        if (remarks->type != Type::String) return top.Wrong("remarks", "a text");
        report.remarks = remarks->text;
    }
    const Section sensors(root.Find("sensors"), "sensors", error);
    return ReadChannels(sensors, report, error) &&
           ReadReading(Section(root.Find("reading"), "reading", error), report) &&
           ReadSupply(Section(root.Find("supply"), "supply", error), report);
}

}  // namespace

const ReadReport::Step* ReadReport::FindStep(std::string_view key) const {
    for (const Step& step : steps) {
        if (step.key == key) return &step;
    }
    return nullptr;
}

bool ReadReport::StepOk(std::string_view key) const {
    const Step* step = FindStep(key);
    return step != nullptr && step->ok;
}

std::optional<ReadReport> ReadReportJson(std::string_view json, std::string& error) {
    error.clear();
    std::string why;
    const auto root = ParseJson(json, why);
    if (!root) {
        error = "not JSON: " + why;
        return std::nullopt;
    }
    if (root->type != Type::Object || root->Find("report") == nullptr ||
        root->Find("report")->type != Type::Object) {
        error = "not a service report: it has no \"report\" section";
        return std::nullopt;
    }
    ReadReport report;
    if (!ReadFormat(*root, report.format, error) || !ReadSteps(*root, report, error) ||
        !ReadSections(*root, report, error)) {
        if (error.empty()) error = "not a service report";
        return std::nullopt;
    }
    return report;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit,
                                         std::string& error) {
    error.clear();
    // Not blocking: a FIFO in place of the file must not hold the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file";
    } else {
        char buffer[65536];
        while (true) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = std::strerror(errno);
                break;
            }
            if (got == 0) break;
            if (bytes.size() + static_cast<std::size_t>(got) > limit) {
                error = "larger than " + std::to_string(limit) + " bytes";
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    if (!error.empty()) return std::nullopt;
    return bytes;
}

std::optional<ReadReport> ReadReportFile(const std::string& path, std::string& error) {
    error.clear();
    std::string why;
    const auto bytes = ReadWholeFile(path, kMaxReportFileBytes, why);
    if (!bytes) {
        error = "cannot read " + path + ": " + why;
        return std::nullopt;
    }
    auto report = ReadReportJson(*bytes, why);
    if (!report) error = path + ": " + why;
    return report;
}

}  // namespace nuv
