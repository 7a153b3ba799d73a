#pragma once

#include <string>
#include <vector>

#include "model/Tool.hpp"
#include "tests/app/RecordingDialogs.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {

// The whole tool on the simulated driver and a virtual clock, without a window.
class ToolTest : public ::testing::Test {
  protected:
    // Adds the module's device; call before Start().
    sim::SimDevice& AddModule(const std::string& serial = "NUV13001") {
        sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", serial);
        device.AttachPeer(peer);
        return device;
    }
    void Start() { tool.FormCreate(); }
    void Click(Control& control) { tool.Run(control.onClick); }

    VirtualClock clock;
    ScriptedPump pump;
    sim::SimFtdi driver{clock};
    RecordingDialogs dialogs;
    Tool tool{driver, clock, pump, dialogs};
    MainPanel& panel = tool.panel;
    std::shared_ptr<sim::ScriptedPeer> peer = std::make_shared<sim::ScriptedPeer>();
};

}  // namespace nuv::test
