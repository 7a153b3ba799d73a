#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/FuzzDriver.hpp"
#include "link/Clock.hpp"
#include "model/Tool.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::fuzz {

// Dialogs of a harness. An error that escapes a command reaches the message box only through a
// fault of the program (the core reports device failures in the log): that is a finding, so
// the run stops there. Save and open dialogs are cancelled: nothing is written to the disk.
class FuzzDialogs final : public Dialogs {
  public:
    void ShowMessage(std::string_view text) override;
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return {}; }
};

// The whole tool, as the window holds it, on the simulated module's cable and a virtual clock;
// the module's side of the wire is a harness input (replay) or the simulated module (record).
struct FuzzSession {
    FuzzSession();
    FuzzSession(const FuzzSession&) = delete;
    FuzzSession& operator=(const FuzzSession&) = delete;

    // Attaches the simulated module to the device and records what it sends.
    sim::ModuleSimulator& AttachModule();
    // Builds the window and connects, as the tool does when it starts.
    void Start();

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi simulated{clock};
    sim::SimDevice& device;
    FuzzDriver driver;
    FuzzDialogs dialogs;
    Tool tool;
};

// A click as the user makes it: on a control that is enabled, in a window that takes input.
void Press(Tool& tool, Control& control);

}  // namespace nuv::fuzz
