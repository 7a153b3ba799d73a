#pragma once

// The parts of nuvctl that its command files share. Not an interface of its own.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Dialogs.hpp"
#include "app/Tool.hpp"
#include "config/ProgramMode.hpp"
#include "measure/TemperatureReading.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::cli::detail {

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::optional<long> Number(const std::string& text);

long NumberIn(const std::string& option, const std::string& text, long low, long high);

// Shortest text that reads back as the same value.
std::string Decimal(double value);

std::string IsoTime(std::int64_t seconds);

std::string Trimmed(std::string text);

// What a failed exchange means, for standard error.
std::string Describe(LinkResult code);

// Hands standard output on; false with the system's reason when that failed (a full disk, a
// closed descriptor): the command's output is lost, which makes the command fail.
bool OutputWritten(std::ostream& out, std::string& reason);

bool IsSensorResult(LinkResult code);

// A program-mode failure in words.
std::string DescribeProgram(const Tool& tool, LinkResult code);

// Dialogs of the command line: messages go to standard error.
class StreamDialogs final : public Dialogs {
  public:
    explicit StreamDialogs(std::ostream& err) : err_(err) {}
    void ShowMessage(std::string_view text) override { err_ << "nuvctl: " << text << '\n'; }
    // The command line names its files itself.
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return {}; }

  private:
    std::ostream& err_;
};

struct Options {
    DriverChoice driver;
    int address = 2;
    bool verbose = false;
    std::string command;
    std::vector<std::string> rest;
};

// Options of a command: flags and options with a value, in any order.
class CommandOptions {
  public:
    CommandOptions(const std::string& command, const std::vector<std::string>& args,
                   const std::vector<std::string>& flags, const std::vector<std::string>& valued) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
                values_[arg] = "";
            } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
                if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
                values_[arg] = args[++i];
            } else {
                throw UsageError("'" + arg + "' is not an option of " + command);
            }
        }
    }
    bool Has(const std::string& option) const { return values_.count(option) != 0; }
    const std::string& Value(const std::string& option) const { return values_.at(option); }

  private:
    std::map<std::string, std::string> values_;
};

// `compare OLD NEW`: two reports, no module; the exit status as diff's.
int Compare(const std::vector<std::string>& args, Environment& env);

// One run of nuvctl: the tool on the chosen driver, and the command's work.
class Program {
  public:
    Program(const Options& options, Environment& env);
    int Execute();

  private:
    std::uint8_t Address() const { return static_cast<std::uint8_t>(options_.address); }
    // Prints the trace on request, and the failure; returns the exit status of a result.
    int Finish(LinkResult code, bool sensorResultsAreData = true);
    // The failure in words, with what the link and the last exchange know beyond the code.
    std::string Explain(LinkResult code) const;

    // Normal mode.
    int Devices();
    void SelectSensors(const CommandOptions& opts);
    int Read();
    void PrintJson(LinkResult code, const TemperatureReading& reading);
    void PrintTable(LinkResult code, const TemperatureReading& reading);
    int Watch();
    int Power();
    int Outputs();
    int Diag();

    // Program mode.
    // Leaves program mode when the command entered it; false, with the failure printed, when
    // that failed.
    bool LeftProgramMode(ProgramModeScope& scope);
    int Info();
    int Config();
    int Dump();
    int Reset();

    // Sensors.
    int Search();
    int Sort();

    // Beyond the window's commands: the bus scan and the service report.
    int Scan();
    int Report();

    const Options& options_;
    Environment& env_;
    StreamDialogs dialogs_;
    Tool tool_;
};

}  // namespace nuv::cli::detail
