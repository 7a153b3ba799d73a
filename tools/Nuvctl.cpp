#include "tools/Nuvctl.hpp"

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

#include "core/MessageTable.hpp"
#include "core/NumberFormat.hpp"
#include "core/ResultText.hpp"
#include "measure/Cyclic.hpp"
#include "measure/Diagnostics.hpp"
#include "measure/PowerOutputs.hpp"
#include "measure/ReadingLog.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "protocol/AddressList.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "tools/CliProgram.hpp"
#include "tools/FirmwareCommand.hpp"
#include "tools/ModbusErrors.hpp"

namespace nuv::cli {
namespace detail {
namespace {

constexpr const char* kUsage =
    "Usage: nuvctl [--port PATH | --simulate | --simulate-bus LIST] [--address N] [-v] COMMAND\n"
    "              [OPTIONS]\n"
    "\n"
    "Talks to an NUV temperature module from the command line.\n"
    "\n"
    "  --port PATH     use this serial port (any tty) as the module's device\n"
    "  --simulate      use the simulated module\n"
    "                  (default: the FTDI cable described \"ORNEVA NUV\" or \"ORNEVA Terminal\")\n"
    "  --simulate-bus LIST\n"
    "                  use simulated modules at these addresses on one cable (\"1,4,7\")\n"
    "  --address N     the module's Modbus address, 1..247 (default 2)\n"
    "  -v, --verbose   print the wire trace on standard error\n"
    "  -h, --help      print this help\n"
    "  --version       print the version\n"
    "\n"
    "Commands:\n"
    "  devices                                the attached devices and their state\n"
    "  read [--sensors 10|12|16] [--json]     all temperatures once\n"
    "  watch [--interval SEC] [--count N] [--csv FILE] [--json] [--address LIST]\n"
    "        [--mqtt URL [--site NAME] [--mqtt-auth FILE] [--mqtt-ca FILE]\n"
    "         [--mqtt-queue N] [--ha-discovery]]\n"
    "                                         readings at an interval, one CSV row each;\n"
    "                                         failures are logged on standard error\n"
    "      --address LIST    the modules on the cable, read in turn each interval:\n"
    "                        \"2\", \"1,4,7-9\" (1..247); with more than one, each row\n"
    "                        has the address after the time, and a module that fails\n"
    "                        is counted on its own while the others go on; --count\n"
    "                        and --interval are of the whole list\n"
    "      --json            a JSON line per reading on standard output\n"
    "      --mqtt URL        publish every reading to the MQTT broker at\n"
    "                        mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883,\n"
    "                        TLS): nuv/SITE/ADDRESS/reading, nuv/SITE/ADDRESS/status\n"
    "                        (retained) and nuv/SITE/bridge (\"online\", \"offline\")\n"
    "      --site NAME       the site in the topics (default: the host name)\n"
    "      --mqtt-auth FILE  the broker's user (first line) and password (second line),\n"
    "                        in a file only its owner may read (chmod 600); without it\n"
    "                        NUV_MQTT_USER and NUV_MQTT_PASSWORD, if set\n"
    "      --mqtt-ca FILE    the authority that signed the broker's certificate\n"
    "                        (mqtts only; default: the system's authorities)\n"
    "      --mqtt-queue N    messages kept while the broker is away (default 10000,\n"
    "                        about 13 MB); beyond it the oldest are dropped and counted\n"
    "      --ha-discovery    announce every sensor to Home Assistant (homeassistant/)\n"
    "  power [--json]                         supply voltages and channel currents\n"
    "  outputs [--set MASK]                   read, or set, the four outputs (mask 0..15)\n"
    "  diag [--clear]                         read, or clear, the module's reset counters\n"
    "  firmware [--image FILE]                write the carried firmware build, or a raw or\n"
    "                                         Intel HEX image, through the boot loader\n"
    "  scan [--from A] [--to B] [--limit MS] [--json]\n"
    "                                         ask every address (1..247) once and list the\n"
    "                                         modules that answer (limit: 100 ms each)\n"
    "  report [--json] [FILE] [--pdf PDF] [--remarks TEXT] [--previous OLD.json [--force]]\n"
    "                                         the service report of a site visit (program\n"
    "                                         mode is entered and left), written whole; the\n"
    "                                         memory dump goes beside FILE as FILE-memory.dat;\n"
    "                                         --pdf also draws it as an A4 document;\n"
    "                                         --previous puts what changed since then first\n"
    "  compare [--json] [--force] OLD NEW     what changed between two JSON reports: 0 nothing,\n"
    "                                         1 something, 2 a report cannot be read\n"
    "\n"
    "Program mode (entered and left again by each command, unless --stay):\n"
    "  info [--json] [--stay]                 address, interval and firmware of the module\n"
    "  config [--address N] [--interval SEC] [--save] [--stay]\n"
    "                                         set the address (1..247) and the measurement\n"
    "                                         interval (1..255 s); --save makes the whole\n"
    "                                         configuration permanent\n"
    "  dump FILE [--verify] [--stay]          copy the module's 4096-byte memory into FILE;\n"
    "                                         --verify reads it twice and reads again every\n"
    "                                         piece that differs until two reads agree\n"
    "  reset [--usb]                          reset the module by command (or by the USB\n"
    "                                         cable's DTR line)\n"
    "  normal                                 take the module out of program mode (one left\n"
    "                                         there by --stay or by a stalled command)\n"
    "  search [--channel C] [--json] [--stay] the sensors' serials of a channel (0..9), or of\n"
    "                                         all, level 1 first\n"
    "  sort --channel C SERIAL... [--stay]    put the channel's sensors in this order, level 1\n"
    "                                         first, into the module's working memory\n"
    "\n"
    "Ctrl-C or SIGTERM stops a command at its next exchange with the module; program mode\n"
    "is left and no file is written half. A watch with --mqtt then delivers what waits (for\n"
    "3 s at most), says \"offline\" and ends with 0.\n"
    "\n"
    "Exit status: 0 done (sensor error values are data), 1 link or module failure, a\n"
    "failed reading of watch, readings that did not reach the broker, a broker that\n"
    "refused the login or whose certificate does not verify, or output that cannot be\n"
    "written, 2 usage error, 130 after Ctrl-C (SIGINT), 143 after SIGTERM.\n";

}  // namespace

Program::Program(const Options& options, Environment& env)
    : options_(options),
      env_(env),
      dialogs_(env.err),
      tool_(env.driverFor(options.driver), env.clock, env.pump, dialogs_) {
    tool_.BuildPanel();
    // Ctrl-C: every exchange asks first, so a command ends at the next exchange boundary.
    tool_.link.stopRequested = env_.interrupted;
    if (options_.verbose) {
        tool_.link.trace = [this](const std::string& line) {
            env_.err << "nuvctl: " << line << '\n';
        };
    }
}

int Program::Execute() {
    const std::string& c = options_.command;
    if (c == "devices") return Devices();
    if (c == "read") return Read();
    if (c == "watch") return Watch();
    if (c == "power") return Power();
    if (c == "outputs") return Outputs();
    if (c == "diag") return Diag();
    if (c == "info") return Info();
    if (c == "config") return Config();
    if (c == "dump") return Dump();
    if (c == "reset") return Reset();
    if (c == "normal") return Normal();
    if (c == "scan") return Scan();
    if (c == "report") return Report();
    if (c == "search") return Search();
    if (c == "sort") return Sort();
    if (c == "firmware") return FirmwareCommand(tool_, options_.rest, env_, options_.verbose);
    throw UsageError("unknown command '" + c + "'");
}

// Prints the trace on request, and the failure; returns the exit status of a result.
int Program::Finish(LinkResult code, bool sensorResultsAreData) {
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code == result::Ok || (sensorResultsAreData && IsSensorResult(code))) return kExitDone;
    return Failed("", Explain(code), code);
}

int Program::Devices() {
    const CommandOptions none("devices", options_.rest, {}, {});  // takes no options
    const LinkResult code = tool_.link.ConnectModule();
    // Every device found has a line; after a failure the list shows none of them.
    const auto shown = tool_.link.ShownDevices();
    for (std::size_t row = 0; row < tool_.link.DeviceCount(); ++row) {
        const DeviceRecord device = row < shown.size() ? shown[row] : DeviceRecord{};
        env_.out << device.description << '\t' << device.serial << '\t' << Trimmed(device.state)
                 << '\n';
    }
    // The list is what was asked for: a module that is missing or busy is no failure here.
    const bool listed = code == result::Ok || code == result::LastDeviceBusy ||
                        code == result::NoDevice || code == result::NoModuleDevice;
    if (listed) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        return kExitDone;
    }
    return Finish(code);
}

void Program::SelectSensors(const CommandOptions& opts) {
    if (!opts.Has("--sensors")) return;
    const std::string& value = opts.Value("--sensors");
    const bool layout = value == "10" || value == "12" || value == "16";
    if (!layout || !SelectSensorsPerChannel(tool_, std::stoi(value))) {
        throw UsageError("--sensors takes 10, 12 or 16, not '" + value + "'");
    }
}

int Program::Read() {
    const CommandOptions opts("read", options_.rest, {"--json"}, {"--sensors"});
    SelectSensors(opts);
    const LinkResult code = ReadTemperatures(tool_, Address());
    const int status = Finish(code);
    if (status != kExitDone || !tool_.measure.lastReading) return status;
    const TemperatureReading& reading = *tool_.measure.lastReading;
    if (opts.Has("--json")) {
        PrintJson(code, reading);
    } else {
        PrintTable(code, reading);
    }
    return status;
}

void Program::PrintJson(LinkResult code, const TemperatureReading& reading) {
    std::ostream& out = env_.out;
    out << "{\"address\":" << options_.address
        << ",\"sensors_per_channel\":" << reading.sensorsPerChannel << ",\"result\":" << code
        << ",\"module_temperature\":" << Decimal(RawToCelsius(reading.module)) << ",\"channels\":[";
    for (int c = 0; c < 10; ++c) {
        out << (c != 0 ? "," : "") << '[';
        for (int s = 0; s < reading.sensorsPerChannel; ++s) {
            out << (s != 0 ? "," : "") << Decimal(RawToCelsius(reading.Raw(c, s)));
        }
        out << ']';
    }
    out << "],\"raw\":[";
    for (int c = 0; c < 10; ++c) {
        out << (c != 0 ? "," : "") << '[';
        for (int s = 0; s < reading.sensorsPerChannel; ++s) {
            out << (s != 0 ? "," : "") << reading.Raw(c, s);
        }
        out << ']';
    }
    out << "]}\n";
}

void Program::PrintTable(LinkResult code, const TemperatureReading& reading) {
    std::ostream& out = env_.out;
    out << "level";
    for (int c = 0; c < 10; ++c) out << "\tch" << c;
    out << '\n';
    for (int s = 0; s < reading.sensorsPerChannel; ++s) {
        out << s + 1;
        for (int c = 0; c < 10; ++c)
            out << '\t' << FixedDecimals(RawToCelsius(reading.Raw(c, s)), 2);
        out << '\n';
    }
    out << "module\t" << FixedDecimals(RawToCelsius(reading.module), 2) << '\n';
    if (code != result::Ok) {
        // Each error value with its positions ("c3s2"), in words: the window's counters name
        // only how many there were.
        for (const LinkResult error : {SensorPresenceResult, SensorCrcResult, SensorShortResult}) {
            std::string positions;
            for (int c = 0; c < 10; ++c) {
                for (int s = 0; s < reading.sensorsPerChannel; ++s) {
                    if (SensorErrorCode(reading.Raw(c, s)) != error) continue;
                    positions += (positions.empty() ? "" : " ") + SensorColumnName(c, s + 1);
                }
            }
            if (!positions.empty()) {
                out << "sensor error " << int{error} << " at " << positions << ": "
                    << ResultSentence(error) << '\n';
            }
        }
    }
}

int Program::Power() {
    const CommandOptions opts("power", options_.rest, {"--json"}, {});
    PowerValues values;
    const LinkResult code = ReadPower(tool_, Address(), values);
    const int status = Finish(code);
    if (status != kExitDone) return status;
    static constexpr const char* kPairs[] = {"0/1", "2/3", "4/5", "6/7", "8/9"};
    if (opts.Has("--json")) {
        env_.out << "{\"address\":" << options_.address << ",\"result\":" << code
                 << ",\"system_v\":" << Decimal(values.system)
                 << ",\"main_v\":" << Decimal(values.main) << ",\"currents_a\":[";
        for (std::size_t i = 0; i < values.currents.size(); ++i) {
            env_.out << (i != 0 ? "," : "") << Decimal(values.currents[i]);
        }
        env_.out << "]}\n";
    } else {
        env_.out << "System: " << FixedDecimals(values.system, 2) << " V\n"
                 << "Main: " << FixedDecimals(values.main, 2) << " V\n";
        for (std::size_t i = 0; i < values.currents.size(); ++i) {
            env_.out << 'C' << kPairs[i] << ": " << FixedDecimals(values.currents[i], 3) << " A\n";
        }
    }
    return status;
}

int Program::Outputs() {
    const CommandOptions opts("outputs", options_.rest, {}, {"--set"});
    if (opts.Has("--set")) {
        const auto mask = static_cast<std::uint8_t>(NumberIn("--set", opts.Value("--set"), 0, 15));
        return Finish(WriteOutputs(tool_, Address(), mask));
    }
    std::uint8_t bits = 0;
    const int status = Finish(ReadOutputs(tool_, Address(), bits));
    if (status != kExitDone) return status;
    for (int i = 0; i < 4; ++i) {
        env_.out << "OUT" << i + 1 << ' ' << ((bits >> i & 1) != 0 ? "on" : "off") << '\n';
    }
    env_.out << "mask " << (bits & 0x0F) << '\n';
    return status;
}

int Program::Diag() {
    const CommandOptions opts("diag", options_.rest, {"--clear"}, {});
    if (opts.Has("--clear")) {
        const int status = Finish(ClearResetCounters(tool_, Address()));
        if (status == kExitDone) env_.out << "reset counters cleared\n";
        return status;
    }
    ResetCounters counters{};
    const int status = Finish(ReadResetCounters(tool_, Address(), counters));
    if (status != kExitDone) return status;
    static constexpr const char* kNames[] = {"total",     "jtag",     "watchdog",
                                             "brown-out", "external", "power-up"};
    for (std::size_t j = 0; j < counters.size(); ++j) {
        env_.out << kNames[j] << '\t' << counters[j] << '\n';
    }
    return status;
}

Options Parse(const std::vector<std::string>& args, Environment& env, bool& handled) {
    Options options;
    handled = false;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            env.out << kUsage;
            handled = true;
            return options;
        }
        if (arg == "--version") {
            env.out << "nuvctl " << NUV_VERSION << '\n';
            handled = true;
            return options;
        }
        if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--simulate") {
            options.driver.simulate = true;
        } else if (arg == "--simulate-bus") {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            std::string reason;
            const auto addresses = ParseAddressList(args[++i], reason);
            if (!addresses) throw UsageError("--simulate-bus: " + reason);
            options.driver.simulate = true;
            options.driver.simulatedBus = *addresses;
        } else if (arg == "--port" || arg == "--address") {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--port") {
                if (value.empty()) throw UsageError("--port needs the path of a serial port");
                options.driver.port = value;
            } else {
                options.address = static_cast<int>(NumberIn("--address", value, 1, 247));
                options.addressGiven = true;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError("unknown option '" + arg + "'");
        } else {
            break;
        }
    }
    if (options.driver.simulate && !options.driver.port.empty()) {
        throw UsageError("--port and --simulate (or --simulate-bus) exclude each other");
    }
    if (i >= args.size()) throw UsageError("a command is needed");
    options.command = args[i];
    options.rest.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    return options;
}

}  // namespace detail

bool DrawsPdf(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--pdf") != args.end();
}

namespace {

// 128 + the stop signal's number, as a shell reports a program that a signal ended.
int StopStatus(const Environment& environment) {
    const int signal = environment.stopSignal();
    return kExitSignalBase + (signal != 0 ? signal : SIGINT);
}

// The status of a run, once what it printed has gone out: a failed output fails the run.
int Checked(Environment& environment, int status) {
    if (std::string reason;
        status != kExitFailure && !detail::OutputWritten(environment.out, reason)) {
        environment.err << "nuvctl: cannot write to standard output: " << reason << '\n';
        return kExitFailure;
    }
    return status;
}

}  // namespace

int Run(const std::vector<std::string>& args, Environment& environment) {
    try {
        bool handled = false;
        const detail::Options options = detail::Parse(args, environment, handled);
        if (handled) return Checked(environment, kExitDone);  // --help, --version
        // Two report files, no module.
        // It checks its own output: a failed write is 2 there, as diff has it.
        if (options.command == "compare") return detail::Compare(options.rest, environment);
        detail::Program program(options, environment);
        const int status = Checked(environment, program.Execute());
        if (environment.interrupted() && !program.StopIsNormalEnd()) return StopStatus(environment);
        return status;
    } catch (const detail::UsageError& error) {
        environment.err << "nuvctl: " << error.what() << "\nTry 'nuvctl --help'.\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        environment.err << "nuvctl: " << error.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace nuv::cli
