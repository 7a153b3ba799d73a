#pragma once

#include <cstdint>
#include <optional>

#include "app/LinkResult.hpp"

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

// "NORMAL MODE": the leave block; the normal group of controls comes back in any case.
LinkResult LeaveProgramMode(Tool& tool);
void Button39Click(Tool& tool);

// Leaves program mode when the command entered it, on every path, unless told to stay or the
// module has left by itself (a save, a reset).
class ProgramModeScope {
  public:
    explicit ProgramModeScope(Tool& tool, bool stay = false) : tool_(tool), stay_(stay) {}
    ~ProgramModeScope() { Leave(); }
    ProgramModeScope(const ProgramModeScope&) = delete;
    ProgramModeScope& operator=(const ProgramModeScope&) = delete;
    void Entered() { inside_ = true; }
    void LeftByItself() { inside_ = false; }
    // Leaves now; the result of the leave block (0 when there was nothing to leave).
    LinkResult Leave();

  private:
    Tool& tool_;
    bool stay_;
    bool inside_ = false;
};

// Sensor positions per channel of a firmware class's capacity code (low nibble): 10, 12 or 16,
// or none for other codes.
std::optional<std::uint8_t> CapacityOf(std::uint8_t firmwareClass);

}  // namespace nuv
