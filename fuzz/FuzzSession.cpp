#include "fuzz/FuzzSession.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sim/SimulatedModule.hpp"

namespace nuv::fuzz {

void FuzzDialogs::ShowMessage(std::string_view text) {
    std::fprintf(stderr, "a command ended in the message box: %.*s\n",
                 static_cast<int>(text.size()), text.data());
    std::abort();
}

FuzzSession::FuzzSession()
    : device(simulated.AddDevice(sim::kSimulatedDescription, sim::kSimulatedSerial)),
      driver(simulated, device, clock),
      tool(driver, clock, pump, dialogs) {
    clock.SetTimeOfDay(12, 0, 0);
}

sim::ModuleSimulator& FuzzSession::AttachModule() {
    sim::ModuleSimulator& module = sim::AttachModuleSimulator(device);
    driver.Record();
    return module;
}

void FuzzSession::Start() {
    tool.FormCreate();
    tool.log.Clear();
}

void Press(Tool& tool, Control& control) {
    if (!tool.panel.windowEnabled || !control.Enabled()) return;
    tool.Click(control);
}

}  // namespace nuv::fuzz
