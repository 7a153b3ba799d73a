#include "fuzz/Scenarios.hpp"

#include <utility>

#include <cstdio>
#include <cstdlib>

namespace nuv::fuzz {

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = [] {
        std::vector<Scenario> list;
        for (auto family :
             {MeasureScenarios, ProgramScenarios, SensorScenarios, FirmwareScenarios}) {
            for (Scenario& scenario : family()) list.push_back(std::move(scenario));
        }
        return list;
    }();
    return all;
}

const Scenario* FindScenario(std::string_view name) {
    for (const Scenario& scenario : Scenarios()) {
        if (scenario.name == name) return &scenario;
    }
    return nullptr;
}

void EnterProgramMode(FuzzSession& session) {
    Press(session.tool, session.tool.panel.Button38);
}

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

void RunCase(const Scenario& scenario, FuzzSession& session, FuzzCase input) {
    session.Start();
    session.BeginInput();
    session.driver.Replay(std::move(input.chunks));
    scenario.run(session, input.options);
}

}  // namespace nuv::fuzz
