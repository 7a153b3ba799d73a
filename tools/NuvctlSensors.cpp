// nuvctl's sensor commands: search and sort.
#include <algorithm>
#include <cctype>
#include <string>

#include "config/ProgramMode.hpp"
#include "sensors/ChannelSearch.hpp"
#include "sensors/SensorCommon.hpp"
#include "sensors/SortBySerial.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli::detail {
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool IsSerial(const std::string& text) {
    return text.size() == 16 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// Program mode entered, but the firmware's sensors per channel unknown: its identification
// failed, and that is the fault to name. False when so.
bool CapacityNamed(const Tool& tool, std::ostream& err, LinkResult entered) {
    if (tool.config.maxSensorsPerChannel != 0) return true;
    err << "nuvctl: the module did not say how many sensors a channel has: ";
    if (entered == result::Ok) {
        // It named a firmware whose class code names no capacity.
        err << "its firmware class names no number of sensors per channel; check the firmware "
               "with nuvctl info\n";
    } else {
        err << DescribeProgram(tool, entered) << " (result " << entered << ")\n";
    }
    return false;
}

// A serial as nuvctl prints it: a damaged one marked, and red on a terminal.
std::string PrintedSerial(const ChannelSearchResult& found, std::size_t level, bool terminal) {
    if (!found.damaged[level]) return SerialText(found.serials[level]);
    const std::string text = DamagedSerialText(found.serials[level]) + "  damaged: CRC-8 wrong";
    return terminal ? "\033[31m" + text + "\033[0m" : text;
}

}  // namespace

int Program::Search() {
    const CommandOptions opts("search", options_.rest, {"--json", "--stay"}, {"--channel"});
    const long only =
        opts.Has("--channel") ? NumberIn("--channel", opts.Value("--channel"), 0, 9) : -1;
    Scope scope(*this, opts.Has("--stay"));
    ModuleIdentity identity;
    const LinkResult entered = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (!identity.entered) return Finish(entered);
    if (!CapacityNamed(tool_, env_.err, entered)) return kExitFailure;
    bool failed = false;
    std::size_t damaged = 0;
    const bool json = opts.Has("--json");
    if (json)
        env_.out << "{\"sensors_per_channel\":" << int{tool_.config.maxSensorsPerChannel}
                 << ",\"channels\":[";
    for (long channel = 0; channel < 10 && !env_.interrupted(); ++channel) {
        if (only >= 0 && channel != only) continue;
        const auto c = static_cast<std::uint8_t>(channel);
        SearchChannel(tool_, c, kSearchChannel, c);
        const ChannelSearchResult& found = tool_.sensors.lastSearch;
        failed |= found.code != result::Ok;
        damaged += found.DamagedCount();
        if (json) {
            // A damaged serial is listed marked, never as 16 digits, and its level named.
            env_.out << (channel != 0 && only < 0 ? "," : "") << "{\"channel\":" << channel
                     << ",\"result\":" << found.code << ",\"reported\":" << int{found.reported}
                     << ",\"serials\":[";
            std::string levels;
            for (std::size_t i = 0; i < found.serials.size(); ++i) {
                env_.out << (i != 0 ? "," : "") << '"'
                         << (found.damaged[i] ? DamagedSerialText(found.serials[i])
                                              : SerialText(found.serials[i]))
                         << '"';
                if (found.damaged[i]) levels += (levels.empty() ? "" : ",") + std::to_string(i + 1);
            }
            env_.out << "],\"damaged\":[" << levels << "]}";
            continue;
        }
        if (found.code != result::Ok) {
            env_.out << "channel " << channel << "\tsearch failed: "
                     << (found.status == 1 ? "the module found the same serials or user bytes"
                                           : DescribeProgram(tool_, found.code))
                     << '\n';
            continue;
        }
        env_.out << "channel " << channel << '\t' << int{found.reported} << " sensor(s)";
        if (found.reported > found.serials.size()) {
            env_.out << ", " << found.serials.size() << " shown";
        }
        if (found.DamagedCount() != 0) env_.out << ", " << found.DamagedCount() << " damaged";
        env_.out << '\n';
        for (std::size_t i = 0; i < found.serials.size(); ++i) {
            env_.out << "  " << i + 1 << '\t' << PrintedSerial(found, i, env_.outIsTerminal)
                     << '\n';
        }
    }
    if (json) env_.out << "]}\n";
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (env_.interrupted()) env_.err << "nuvctl: interrupted\n";
    if (!LeftProgramMode(scope)) return kExitFailure;
    if (failed) env_.err << "nuvctl: the search of a channel failed\n";
    if (damaged != 0) {
        env_.err << "nuvctl: " << damaged
                 << " serial(s) came damaged twice (CRC-8 wrong): the line spoils the module's "
                    "answers - search again\n";
    }
    return failed || damaged != 0 ? kExitFailure : kExitDone;
}

int Program::Sort() {
    std::vector<std::string> serials;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < options_.rest.size(); ++i) {
        const std::string& arg = options_.rest[i];
        if (arg.rfind("--", 0) == 0) {  // an option, and the channel's value after it
            rest.push_back(arg);
            if (arg == "--channel" && i + 1 < options_.rest.size())
                rest.push_back(options_.rest[++i]);
        } else if (IsSerial(arg)) {
            serials.push_back(Upper(arg));
        } else {
            throw UsageError("'" + arg + "' is no serial: 16 hexadecimal digits are needed");
        }
    }
    const CommandOptions opts("sort", rest, {"--stay"}, {"--channel"});
    if (!opts.Has("--channel")) throw UsageError("sort needs --channel");
    if (serials.empty()) throw UsageError("sort needs the serials of the levels, level 1 first");
    const auto channel =
        static_cast<std::uint8_t>(NumberIn("--channel", opts.Value("--channel"), 0, 9));
    Scope scope(*this, opts.Has("--stay"));
    ModuleIdentity identity;
    const LinkResult entered = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (!identity.entered) return Finish(entered);
    if (!CapacityNamed(tool_, env_.err, entered)) return kExitFailure;
    if (serials.size() > tool_.config.maxSensorsPerChannel) {
        env_.err << "nuvctl: a channel has " << int{tool_.config.maxSensorsPerChannel}
                 << " levels, not " << serials.size() << '\n';
        return kExitFailure;
    }
    // As a technician does it: the channel's search, then the serials over one by one.
    SbsButtonClick(tool_, channel);
    if (tool_.sensors.lastSearch.code != result::Ok) {
        env_.err << "nuvctl: the search of channel " << int{channel}
                 << " failed: " << DescribeProgram(tool_, tool_.sensors.lastSearch.code) << '\n';
        return kExitFailure;
    }
    // An order is only written when every serial of the channel came whole.
    if (const std::size_t damaged = tool_.sensors.lastSearch.DamagedCount(); damaged != 0) {
        env_.err << "nuvctl: the search of channel " << int{channel} << " gave " << damaged
                 << " damaged serial(s) twice (CRC-8 wrong): the line spoils the module's "
                    "answers - nothing was saved, try again\n";
        return kExitFailure;
    }
    // Each serial the search found may take one level, as each is one item of the window's list.
    std::vector<std::string> unplaced;
    for (const SensorSerial& serial : tool_.sensors.lastSearch.serials) {
        unplaced.push_back(SerialText(serial));
    }
    for (const std::string& serial : serials) {
        const auto found = std::find(unplaced.begin(), unplaced.end(), serial);
        if (found == unplaced.end()) {
            env_.err << "nuvctl: " << serial << " is not a sensor of channel " << int{channel}
                     << " (or given twice)\n";
            return kExitFailure;
        }
        unplaced.erase(found);
    }
    const LinkResult code = SaveSerialOrder(tool_, serials);
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code != result::Ok) {
        env_.err << "nuvctl: saving the order: " << DescribeProgram(tool_, code) << " (result "
                 << code << ")\n";
        return kExitFailure;
    }
    env_.out << serials.size() << " level(s) of channel " << int{channel}
             << " saved to the module's working memory (config --save makes them permanent)\n";
    if (!LeftProgramMode(scope)) return kExitFailure;
    return kExitDone;
}

}  // namespace nuv::cli::detail
