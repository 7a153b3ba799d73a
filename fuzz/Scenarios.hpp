#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.hpp"
#include "fuzz/FuzzSession.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::fuzz {

using Options = std::span<const std::uint8_t>;

// A seed: the options of a run and the simulated module it is recorded from.
struct Seed {
    std::string name;
    std::vector<std::uint8_t> options;
    std::function<void(sim::ModuleSimulator&)> module = [](sim::ModuleSimulator&) {};
};

// What one harness does with the tool: its option bytes pick the settings and the command, and
// `run` clicks through it on a started session. The same run drives the tool against the
// simulated module when the seeds are recorded, and against a harness input when fuzzing.
struct Scenario {
    std::string_view name;
    std::size_t optionBytes;
    // The longest input worth trying (libFuzzer's -max_len): room for the longest command's
    // replies, so that every execution stays short.
    std::size_t maxLen;
    void (*run)(FuzzSession& session, Options options);
    std::vector<Seed> (*seeds)();
};

const std::vector<Scenario>& Scenarios();
// The scenario of a name; none for an unknown name.
const Scenario* FindScenario(std::string_view name);

// The families, one file each.
std::vector<Scenario> MeasureScenarios();
std::vector<Scenario> ProgramScenarios();
std::vector<Scenario> SensorScenarios();
std::vector<Scenario> FirmwareScenarios();

// Runs a harness input: the tool starts (or is put back in its start state), the module's side
// replays the input's chunks, and the scenario clicks through its command with its options.
void RunCase(const Scenario& scenario, FuzzSession& session, FuzzCase input);

// Program mode entered as the user enters it ("PROGRAM MODE"), for the commands that need it.
void EnterProgramMode(FuzzSession& session);

// A harness aborts on a broken promise of the code under test, like a sanitizer finding.
void Require(bool condition, const char* what);

}  // namespace nuv::fuzz
