#pragma once

#include <vector>

#include "model/MainPanel.hpp"

namespace nuv {

// A set of controls that a command switches at once: the ones it enables and the ones it
// disables.
struct ControlGroup {
    std::vector<Control*> enables;
    std::vector<Control*> disables;
    void Apply() const;
};

ControlGroup ProgramModeGroup(MainPanel& panel);
ControlGroup NormalModeGroup(MainPanel& panel);
ControlGroup AllControlsGroup(MainPanel& panel);

void ShowProgramModeControls(MainPanel& panel);
void ShowNormalModeControls(MainPanel& panel);
// Used while an operation runs: everything of both mode groups, "Exit " and "Update Firmware".
void DisableAllControls(MainPanel& panel);
void ShowCyclicRunningControls(MainPanel& panel);
// While a program-mode command runs: the program-mode commands and "Exit " off. Enabling them
// again is ShowProgramModeControls, which leaves "Exit " alone.
void DisableProgramModeControls(MainPanel& panel);
void ShowCyclicStoppedControls(MainPanel& panel);
// Ends the segregation's progress poll (Timer3), as every command does that hides the APC window
// or leaves program mode.
void StopSegregationPoll(MainPanel& panel);

}  // namespace nuv
