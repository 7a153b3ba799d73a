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

#include "config/ProgramMode.hpp"
#include "measure/TemperatureReading.hpp"
#include "model/Dialogs.hpp"
#include "model/Tool.hpp"
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

// The module in program mode, as a normal-mode command finds it.
inline constexpr const char* kInProgramMode =
    "the module is in program mode (an earlier command, a stall or --stay left it there) and "
    "takes no normal-mode request: run 'nuvctl normal' to take it back to normal mode";

// What to do about a module that may still be in program mode.
inline constexpr const char* kStillInProgramMode =
    "the module may still be in program mode, where it takes no normal-mode request: run "
    "'nuvctl normal' once it answers again, or switch it off and on";

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
    bool addressGiven = false;  // --address before the command
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
class WatchRun;

class Program {
  public:
    Program(const Options& options, Environment& env);
    int Execute();
    // Whether a stop by a signal is the command's normal end (exit 0): a bridge to a broker,
    // which delivered what it could and said "offline".
    bool StopIsNormalEnd() const { return stopIsNormalEnd_; }

  private:
    // The program-mode scope of a command: leaves program mode on every path unless --stay was
    // given and the command was not interrupted, says a failed leave with what to do, and says
    // when the module stays in program mode on request.
    class Scope {
      public:
        Scope(Program& program, bool stay);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        void Entered() { inner_.Entered(); }
        void LeftByItself() { inner_.LeftByItself(); }
        // Leaves now unless the module is to stay; false, with the failure said, when the leave
        // failed.
        bool Leave();

      private:
        void Said(LinkResult left);
        Program& program_;
        bool stay_;
        ProgramModeScope inner_;  // never stays by itself: the stay is decided here
    };

    std::uint8_t Address() const { return static_cast<std::uint8_t>(options_.address); }
    // Prints the trace on request, and the failure; returns the exit status of a result.
    int Finish(LinkResult code, bool sensorResultsAreData = true);
    // The failure in words, with what the link and the last exchange know beyond the code. A
    // module that gave no answer at all is asked once whether it is in program mode, where it
    // takes no normal-mode request; if so, that is the explanation.
    // `askProgramMode` false: no such question (on a bus, any module might answer it).
    std::string Explain(LinkResult code, bool askProgramMode = true);
    // Whether the module answers in program mode (asked once a run).
    bool InProgramMode();
    // "nuvctl: WHAT: why (result N)" on standard error, or "nuvctl: WHAT: interrupted" after a
    // stop; returns the exit status of a failure.
    int Failed(const std::string& what, const std::string& why, LinkResult code);

    // Normal mode.
    int Devices();
    void SelectSensors(const CommandOptions& opts);
    int Read();
    void PrintJson(LinkResult code, const TemperatureReading& reading);
    void PrintTable(LinkResult code, const TemperatureReading& reading);
    int Watch();
    friend class WatchRun;
    int Power();
    int Outputs();
    int Diag();

    // Program mode.
    // Leaves program mode when the command entered it (unless it stays); false, with the
    // failure said, when that failed.
    bool LeftProgramMode(Scope& scope) { return scope.Leave(); }
    int Info();
    int Config();
    int Dump();
    int Reset();
    // Takes the module out of program mode on purpose (one left there by --stay or a stall).
    int Normal();

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
    std::optional<bool> inProgramMode_;
    bool stopIsNormalEnd_ = false;
};

}  // namespace nuv::cli::detail
