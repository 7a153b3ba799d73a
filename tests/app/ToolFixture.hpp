#pragma once

#include <string>
#include <vector>

#include "app/Tool.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {

class RecordingDialogs final : public Dialogs {
  public:
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    // Answers the next save dialog with `savePath` (none: cancelled), and keeps the request.
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override {
        saveRequests.push_back(request);
        return savePath;
    }
    std::optional<std::string> savePath;
    std::vector<SaveFileRequest> saveRequests;
    std::optional<std::string> ChooseFileToOpen(std::string_view, std::string_view,
                                                std::string_view) override {
        ++filesAsked;
        return fileToOpen;
    }
    std::vector<std::string> messages;
    // The file the user picks in the open dialog; none: the user cancels.
    std::optional<std::string> fileToOpen;
    int filesAsked = 0;
};

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
