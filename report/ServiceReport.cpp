#include "report/ServiceReport.hpp"

#include <cstdio>

#include "config/MemoryRead.hpp"
#include "config/ProgramMode.hpp"
#include "core/MessageTable.hpp"
#include "core/NumberFormat.hpp"
#include "firmware/Sha256.hpp"
#include "link/HardwareVersion.hpp"
#include "measure/Diagnostics.hpp"
#include "measure/PowerOutputs.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "model/Tool.hpp"
#include "protocol/FailureText.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "protocol/ModbusReply.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "report/ReportFormat.hpp"
#include "sensors/ChannelSearch.hpp"
#include "sensors/SensorCommon.hpp"

namespace nuv {
namespace {

constexpr int kSteps = 10;

ReportField Text(std::string key, std::string label, const std::string& value) {
    return {std::move(key), std::move(label), value, JsonString(value)};
}

ReportField Number(std::string key, std::string label, long long value,
                   const std::string& unit = "") {
    return {std::move(key), std::move(label), std::to_string(value) + unit, std::to_string(value)};
}

ReportField Measured(std::string key, std::string label, double value, int decimals,
                     const std::string& unit) {
    return {std::move(key), std::move(label), FixedDecimals(value, decimals) + " " + unit,
            ShortestDecimal(value)};
}

ReportField Flag(std::string key, std::string label, bool value) {
    return {std::move(key), std::move(label), value ? "yes" : "no", value ? "true" : "false"};
}

// Why a step's exchange failed, for the report: a plain sentence of what happened and what to
// do, and the code for reference. (The window's log keeps the message table's texts.)
std::string Why(const Tool& tool, LinkResult code, bool programMode = false) {
    return (programMode ? ProgramFailureSentence(tool.link, tool.program, code)
                        : ModbusFailureSentence(tool.link, tool.modbus, code)) +
           " (result " + std::to_string(code) + ")";
}

class Collector {
  public:
    Collector(Tool& tool, const ReportOptions& options, const ReportProgress& progress)
        : tool_(tool), options_(options), progress_(progress), guard_(tool) {}

    ServiceReport Run() {
        Header();
        Step(&Collector::Device);
        Step(&Collector::Firmware);
        Step(&Collector::Serials);
        Step(&Collector::Memory);
        Leave();  // also after a stop: program mode is left whatever happens
        const std::uint8_t address = identity_.address >= 1 && identity_.address <= 247
                                         ? identity_.address
                                         : options_.address;
        Step(&Collector::Reading, address);
        Step(&Collector::Supply, address);
        Step(&Collector::Outputs, address);
        Step(&Collector::ResetCounterStep, address);
        report_.stopped = stopped_;
        return std::move(report_);
    }

  private:
    // Runs a step unless a stop was requested (Ctrl-C on the command line): from then on the
    // steps are not made, and the report says it was stopped.
    template <typename... Args>
    void Step(void (Collector::*step)(Args...), Args... args) {
        if (tool_.link.StopRequested()) stopped_ = true;
        if (!stopped_) (this->*step)(args...);
    }

    ReportStep Begin(std::string key, std::string title) {
        if (progress_) progress_(static_cast<int>(report_.steps.size()), kSteps, title);
        ReportStep step;
        step.key = std::move(key);
        step.title = std::move(title);
        return step;
    }
    void End(ReportStep step) { report_.steps.push_back(std::move(step)); }
    static void Fail(ReportStep& step, std::string why, LinkResult code = 0) {
        step.ok = false;
        step.failure = std::move(why);
        if (code != result::Ok) step.code = code;
    }

    void Header() {
        ReportStep step = Begin("report", "Report");
        const std::int64_t wall = tool_.clock.WallSeconds();
        step.fields.push_back(
            Text("date", "Date", LocalTimeStamp(wall, tool_.clock.UtcOffsetSeconds(wall))));
        step.fields.push_back(Text("tool_version", "Tool version", options_.toolVersion));
        step.fields.push_back(Text("build", "Build", options_.buildVersion));
        step.fields.push_back(Text("carried_firmware", "Carried firmware",
                                   FirmwareVersionText(CurrentFirmwareVersion)));
        End(std::move(step));
    }

    void Device() {
        ReportStep step = Begin("device", "Device");
        const LinkResult code = tool_.link.ConnectModule();
        if (code != result::Ok) {
            Fail(step, Why(tool_, code), code);
        } else {
            const DeviceRecord& device = tool_.link.Devices()[tool_.link.SelectedIndex()];
            step.fields.push_back(Text("description", "Description", device.description));
            step.fields.push_back(Text("serial", "FTDI serial", device.serial));
            const auto hardware = ParseHardwareVersion(device.serial);
            step.fields.push_back(
                Text("model", "Model", hardware ? std::string(hardware->model) : "unknown"));
            step.fields.push_back(
                hardware ? Number("hardware_version", "Hardware version", hardware->version)
                         : ReportField{"hardware_version", "Hardware version", "unknown", "null"});
        }
        End(std::move(step));
    }

    void Firmware() {
        ReportStep step = Begin("firmware", "Firmware, address and interval");
        const LinkResult code = EnterProgramMode(tool_, identity_);
        if (identity_.entered) {
            guard_.Entered();
            step.fields.push_back(Number("address", "Modbus address", identity_.address));
            step.fields.push_back(
                Number("interval_s", "Measurement interval", identity_.interval, " s"));
        }
        if (code != result::Ok && identity_.entered) {
            Fail(step, "identification: " + Why(tool_, code, true), code);
        } else if (code != result::Ok) {
            // A module that takes no entry frame may be in program mode already.
            Fail(step,
                 "program mode: " +
                     (NoAnswerAtAll(tool_.modbus, code) && ModuleAnswersInProgramMode(tool_)
                          ? "the module is in program mode already (left there earlier) and "
                            "takes no entry frame: take it back to normal mode (\"NORMAL MODE\", "
                            "nuvctl normal) and make the report again (result " +
                                std::to_string(code) + ")"
                          : Why(tool_, code)),
                 code);
        } else {
            const std::uint8_t firmwareClass = identity_.firmwareClass;
            const auto capacity = CapacityOf(firmwareClass);
            step.fields.push_back(Text("firmware", "Firmware",
                                       FirmwareVersionText(static_cast<std::uint16_t>(
                                           firmwareClass << 8U | identity_.firmwareBuild))));
            step.fields.push_back({"firmware_class", "Class", "0x" + HexByte(firmwareClass),
                                   std::to_string(firmwareClass)});
            step.fields.push_back({"firmware_build", "Build",
                                   "0x" + HexByte(identity_.firmwareBuild),
                                   std::to_string(identity_.firmwareBuild)});
            step.fields.push_back(Text("standard", "Probe standard", StandardName(firmwareClass)));
            step.fields.push_back(
                capacity
                    ? Number("sensors_per_channel", "Sensors per channel", *capacity)
                    : ReportField{"sensors_per_channel", "Sensors per channel", "unknown", "null"});
            step.fields.push_back(
                Flag("up_to_date", "Up to date",
                     identity_.firmwareBuild >= (CurrentFirmwareVersion & 0xFFU)));
        }
        End(std::move(step));
    }

    void Serials() {
        ReportStep step = Begin("sensors", "Sensor serials");
        if (!identity_.identified) {
            Fail(step, "not searched: the module's firmware was not identified");
            End(std::move(step));
            return;
        }
        std::string failed;
        std::string damaged;
        for (std::uint8_t channel = 0; channel < 10; ++channel) {
            SearchChannel(tool_, channel, kSearchChannel, channel);
            const ChannelSearchResult& found = tool_.sensors.lastSearch;
            const std::string key = "channel_" + std::to_string(channel);
            const std::string label = "Channel " + std::to_string(channel);
            if (found.code != result::Ok) {
                const std::string why = Why(tool_, found.code, true);
                step.fields.push_back({key, label, "FAILED: " + why,
                                       "{\"ok\":false,\"error\":" + JsonString(why) + "}"});
                failed += (failed.empty() ? "" : ", ") + std::to_string(channel);
                continue;
            }
            // A serial that failed its CRC-8 twice is listed marked, never as a serial.
            std::string text;
            std::string json =
                "{\"ok\":" + std::string(found.DamagedCount() == 0 ? "true" : "false") +
                ",\"serials\":[";
            std::string damagedLevels;
            for (std::size_t level = 0; level < found.serials.size(); ++level) {
                const bool bad = found.damaged[level];
                const std::string serial = bad ? DamagedSerialText(found.serials[level])
                                               : SerialText(found.serials[level]);
                text += (level == 0 ? "" : "\n") + std::to_string(level + 1) + ". " + serial +
                        (bad ? "  damaged: CRC-8 wrong" : "");
                json += (level == 0 ? "" : ",") + JsonString(serial);
                if (bad)
                    damagedLevels += (damagedLevels.empty() ? "" : ",") + std::to_string(level + 1);
            }
            if (!damagedLevels.empty()) {
                json += "],\"damaged\":[" + damagedLevels;
                damaged += (damaged.empty() ? "" : ", ") + std::to_string(channel);
            }
            step.fields.push_back({key, label, text.empty() ? "no sensors" : text, json + "]}"});
        }
        std::string why;
        if (!failed.empty()) why = "the search failed on channel(s) " + failed;
        if (!damaged.empty()) {
            why += (why.empty() ? "" : "; ") +
                   std::string("damaged serials (CRC-8 wrong twice) on channel(s) ") + damaged;
        }
        if (!why.empty()) Fail(step, why);
        End(std::move(step));
    }

    void Memory() {
        ReportStep step = Begin("memory", "Memory");
        if (!identity_.entered) {
            Fail(step, "not read: program mode was not entered");
            End(std::move(step));
            return;
        }
        // Read twice and compared: two bit errors that cancel out pass a piece's checks.
        MemoryVerification verification;
        const LinkResult code = ReadModuleMemoryVerified(tool_, verification);
        if (!verification.Agreed()) {
            Fail(step, "no two reads agreed for piece(s) " + PieceList(verification.unsettled) +
                           " in " + std::to_string(MemoryVerification::kMaxReadsOfPiece) +
                           " reads each: the line spoils the module's answers");
            End(std::move(step));
            return;
        }
        if (code != result::Ok) {
            Fail(step,
                 Why(tool_, code, true) + " at byte " +
                     std::to_string(verification.failedPiece * ModuleMemoryImage::kPiece),
                 code);
            End(std::move(step));
            return;
        }
        const ModuleMemoryImage& image = tool_.config.memoryImage;
        step.fields.push_back(Number("bytes", "Bytes read", static_cast<long long>(image.valid)));
        step.fields.push_back(Number("pieces_read_again", "Pieces read again (read twice)",
                                     static_cast<long long>(verification.reread.size())));
        step.fields.push_back(
            Text("sha256", "SHA-256", Sha256Hex(std::span(image.bytes).first(image.valid))));
        if (options_.dumpPath.empty()) {
            step.fields.push_back({"dump_file", "Dump file", "not saved", "null"});
        } else if (const auto failure = SaveMemoryImage(image, options_.dumpPath)) {
            Fail(step, "the dump could not be written to " + options_.dumpPath + ": " + *failure);
            step.fields.push_back({"dump_file", "Dump file", "not saved", "null"});
        } else {
            step.fields.push_back(Text("dump_file", "Dump file", options_.dumpPath));
        }
        End(std::move(step));
    }

    void Leave() {
        ReportStep step = Begin("normal_mode", "Back to normal mode");
        step.fields.push_back(
            Flag("program_mode_entered", "Program mode entered", identity_.entered));
        if (const LinkResult code = guard_.Leave(); code != result::Ok) {
            Fail(step,
                 "program mode was not left: " + Why(tool_, code, true) +
                     "; the module may still be in program mode, where it takes no normal-mode "
                     "request: take it back with \"NORMAL MODE\" (nuvctl normal) once it answers "
                     "again, or switch it off and on",
                 code);
        }
        End(std::move(step));
    }

    void Reading(std::uint8_t address) {
        ReportStep step = Begin("reading", "One reading");
        // The layout of the module's firmware, when program mode named it.
        SelectSensorsPerChannel(tool_, tool_.config.maxSensorsPerChannel);
        const LinkResult code = ReadTemperatures(tool_, address);
        const auto& reading = tool_.measure.lastReading;
        if (!reading) {
            Fail(step, Why(tool_, code), code);
            End(std::move(step));
            return;
        }
        step.fields.push_back(Number("address", "Address", address));
        step.fields.push_back(Number("result", "Result", code));
        step.fields.push_back(
            Number("sensors_per_channel", "Sensors per channel", reading->sensorsPerChannel));
        step.fields.push_back(Measured("module_temperature", "Module temperature",
                                       RawToCelsius(reading->module), 2, "°C"));
        std::string json = "[";
        std::string words = "[";  // the registers as they came, which name the error values
        for (int c = 0; c < 10; ++c) {
            std::string text;
            json += (c == 0 ? "[" : ",[");
            words += (c == 0 ? "[" : ",[");
            for (int s = 0; s < reading->sensorsPerChannel; ++s) {
                const std::uint16_t raw = reading->Raw(c, s);
                words += (s == 0 ? "" : ",") + std::to_string(raw);
                const LinkResult error = SensorErrorCode(raw);
                text += (s == 0 ? "" : " ") + (error != 0 ? "E" + std::to_string(error)
                                                          : FixedDecimals(RawToCelsius(raw), 2));
                json += (s == 0 ? "" : ",") +
                        (error != 0 ? std::string("null") : ShortestDecimal(RawToCelsius(raw)));
            }
            json += "]";
            words += "]";
            step.fields.push_back({"", "Channel " + std::to_string(c), text, ""});
        }
        step.fields.push_back({"channels", "Error values",
                               "E250 no probe, E251 1-Wire CRC, E252 line shorted (in JSON: null)",
                               json + "]"});
        step.fields.push_back({"raw", "", "", words + "]"});
        End(std::move(step));
    }

    void Supply(std::uint8_t address) {
        ReportStep step = Begin("supply", "Supply voltages and currents");
        PowerValues values;
        if (const LinkResult code = ReadPower(tool_, address, values); code != result::Ok) {
            Fail(step, Why(tool_, code), code);
        } else {
            static constexpr const char* kPairs[] = {"0/1", "2/3", "4/5", "6/7", "8/9"};
            step.fields.push_back(Measured("system_v", "System", values.system, 2, "V"));
            step.fields.push_back(Measured("main_v", "Main", values.main, 2, "V"));
            std::string json = "[";
            for (std::size_t i = 0; i < values.currents.size(); ++i) {
                step.fields.push_back({"", std::string("Channels ") + kPairs[i],
                                       FixedDecimals(values.currents[i], 3) + " A", ""});
                json += (i == 0 ? "" : ",") + ShortestDecimal(values.currents[i]);
            }
            step.fields.push_back({"currents_a", "", "", json + "]"});
        }
        End(std::move(step));
    }

    void Outputs(std::uint8_t address) {
        ReportStep step = Begin("outputs", "Digital outputs");
        std::uint8_t bits = 0;
        if (const LinkResult code = ReadOutputs(tool_, address, bits); code != result::Ok) {
            Fail(step, Why(tool_, code), code);
        } else {
            std::string text;
            for (int i = 0; i < 4; ++i) {
                text += (i == 0 ? "" : ", ") + std::string("OUT") + std::to_string(i + 1) +
                        ((bits >> i & 1) != 0 ? " on" : " off");
            }
            step.fields.push_back({"mask", "Outputs", text, std::to_string(bits & 0x0F)});
        }
        End(std::move(step));
    }

    void ResetCounterStep(std::uint8_t address) {
        ReportStep step = Begin("reset_counters", "Reset counters");
        ResetCounters counters{};
        if (const LinkResult code = ReadResetCounters(tool_, address, counters);
            code != result::Ok) {
            Fail(step, Why(tool_, code), code);
        } else {
            static constexpr const char* kKeys[] = {"total",     "jtag",     "watchdog",
                                                    "brown_out", "external", "power_up"};
            static constexpr const char* kLabels[] = {"Total",     "JTAG",           "Watchdog",
                                                      "Brown-out", "External (USB)", "Power-up"};
            for (std::size_t j = 0; j < counters.size(); ++j) {
                step.fields.push_back(Number(kKeys[j], kLabels[j], counters[j]));
            }
        }
        End(std::move(step));
    }

    Tool& tool_;
    const ReportOptions& options_;
    const ReportProgress& progress_;
    ProgramModeScope guard_;  // leaves program mode on every path, also when a step throws
    ModuleIdentity identity_;
    ServiceReport report_;
    bool stopped_ = false;
};

}  // namespace

ServiceReport CollectServiceReport(Tool& tool, const ReportOptions& options,
                                   const ReportProgress& progress) {
    return Collector(tool, options, progress).Run();
}

}  // namespace nuv
