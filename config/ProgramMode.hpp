#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// What entering program mode learnt of the module.
struct ModuleIdentity {
    bool entered = false;       // whether the module answered the entry frame
    std::uint8_t address = 0;   // from the entry reply, as it came
    std::uint8_t interval = 0;  // seconds
    bool identified = false;    // whether the firmware identification came
    std::uint8_t firmwareClass = 0;
    std::uint8_t firmwareBuild = 0;
};

// "PROGRAM MODE": the entry frame, the identification, the firmware report. Returns 0 when the
// module is in program mode and identified, else the result of the step that failed (the
// module is in program mode when only the identification failed: `identity` says so).
LinkResult EnterProgramMode(Tool& tool, ModuleIdentity& identity);
void Button38Click(Tool& tool);

// "NORMAL MODE": the leave block; the normal group of controls comes back in any case. The
// block goes out also after a stop was requested (Ctrl-C): it is what the stop must still do.
LinkResult LeaveProgramMode(Tool& tool);
void Button39Click(Tool& tool);

// Whether the module answers a program-mode block now: one read-only block (the firmware
// identification) whose answer passes its checksums, accepted or refused. For a module that
// gives a normal-mode request no answer, this tells a module left in program mode from one that
// is not there. Nothing in the module changes; the log keeps the block's echo.
bool ModuleAnswersInProgramMode(Tool& tool);

// Leaves program mode when the command entered it, on every path, unless told to stay or the
// module has left by itself (a save, a reset). Every leave it makes, on an early return too,
// is told to `onLeave` with its result, so that a failed one is never dropped: the module may
// then still be in program mode, and only the caller can tell the operator.
class ProgramModeScope {
  public:
    using LeaveHandler = std::function<void(LinkResult)>;
    explicit ProgramModeScope(Tool& tool, bool stay = false, LeaveHandler onLeave = {})
        : tool_(tool), stay_(stay), onLeave_(std::move(onLeave)) {}
    ~ProgramModeScope() { Leave(); }
    ProgramModeScope(const ProgramModeScope&) = delete;
    ProgramModeScope& operator=(const ProgramModeScope&) = delete;
    void Entered() { inside_ = true; }
    void LeftByItself() { inside_ = false; }
    // Whether the module was put in program mode and has not been taken out yet.
    bool Inside() const { return inside_; }
    // Leaves now; the result of the leave block (0 when there was nothing to leave).
    LinkResult Leave();

  private:
    Tool& tool_;
    bool stay_;
    LeaveHandler onLeave_;
    bool inside_ = false;
};

// Sensor positions per channel of a firmware class's capacity code (low nibble): 10, 12 or 16,
// or none for other codes.
std::optional<std::uint8_t> CapacityOf(std::uint8_t firmwareClass);

}  // namespace nuv
