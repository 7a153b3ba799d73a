#pragma once

#include <cstdint>
#include <memory>
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
// The tool is built once: every Start after the first puts it back in the state the first one
// left it in, so that a harness runs input after input without building the tool again, and
// each input runs as on a tool just started.
struct FuzzSession {
    FuzzSession();
    ~FuzzSession();
    FuzzSession(const FuzzSession&) = delete;
    FuzzSession& operator=(const FuzzSession&) = delete;

    // Attaches the simulated module to the device and records what it sends (before Start).
    sim::ModuleSimulator& AttachModule();
    // The first time, builds the window and connects, as the tool does when it starts. After
    // that, the start state again: the clock at its start, a new cable with nothing pending,
    // the window, the logs, the link and every value the commands keep as they were then.
    void Start();
    // An input begins: the session leaves its start state, and the next Start puts it back.
    void BeginInput() { atStart_ = false; }
    // Everything an input can change, written out: the time, the bytes the tool wrote and the
    // lines it set, the windows' controls and grids, both logs, the link, the clients of both
    // protocols and the values the commands keep. Two runs with the same text did the same.
    std::string Fingerprint();

    sim::SimDevice& Device() { return driver.Device(); }

    VirtualClock clock;
    NullEventPump pump;
    FuzzDriver driver{clock};
    FuzzDialogs dialogs;
    Tool tool;

  private:
    struct StartState;
    void Restore();
    std::unique_ptr<StartState> start_;
    bool atStart_ = false;
};

// A click as the user makes it: on a control that is enabled, in a window that takes input.
void Press(Tool& tool, Control& control);

}  // namespace nuv::fuzz
