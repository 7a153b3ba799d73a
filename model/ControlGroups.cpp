#include "model/ControlGroups.hpp"

#include <algorithm>

namespace nuv {
namespace {

// The commands of program mode: search, APC, SBS and the configuration commands.
std::vector<Control*> ProgramModeCommands(MainPanel& p) {
    std::vector<Control*> list;
    for (Control* c : p.SearchButtons()) list.push_back(c);
    list.push_back(&p.Button9);
    for (Control* c : p.ApcButtons()) list.push_back(c);
    for (Control* c : p.SbsButtons()) list.push_back(c);
    list.insert(list.end(), {&p.Button42, &p.Button39, &p.btn15, &p.ComboBox1, &p.ComboBox3,
                             &p.btn12, &p.btn11, &p.Button17, &p.Button0});
    return list;
}

// The commands of normal mode that program mode switches off; the bus scan and the service
// report talk Modbus, so they are normal mode's too.
std::vector<Control*> NormalModeCommands(MainPanel& p) {
    return {&p.Button7, &p.Button14, &p.Button40, &p.chk1,       &p.chk2,
            &p.chk3,    &p.chk4,     &p.Button38, &p.btn3,       &p.btn5,
            &p.btn6,    &p.btn7,     &p.Button8,  &p.btnScanBus, &p.btnServiceReport};
}

}  // namespace

void ControlGroup::Apply() const {
    for (Control* control : enables) control->SetEnabled(true);
    for (Control* control : disables) control->SetEnabled(false);
}

ControlGroup ProgramModeGroup(MainPanel& panel) {
    return {ProgramModeCommands(panel), NormalModeCommands(panel)};
}

ControlGroup NormalModeGroup(MainPanel& p) {
    ControlGroup group;
    // "Update from file…" goes with "Update Firmware".
    group.enables = {&p.Button40,   &p.Button7,
                     &p.Button14,   &p.chk1,
                     &p.chk2,       &p.chk3,
                     &p.chk4,       &p.Button38,
                     &p.btn3,       &p.btn5,
                     &p.btn7,       &p.Button8,
                     &p.btn1,       &p.btnUpdateFromFile,
                     &p.btnScanBus, &p.btnServiceReport};
    group.disables = ProgramModeCommands(p);
    group.disables.push_back(&p.btn6);
    return group;
}

ControlGroup AllControlsGroup(MainPanel& panel) {
    ControlGroup group;
    for (const ControlGroup& mode : {ProgramModeGroup(panel), NormalModeGroup(panel)}) {
        for (const auto* list : {&mode.enables, &mode.disables}) {
            for (Control* control : *list) {
                if (std::find(group.disables.begin(), group.disables.end(), control) ==
                    group.disables.end()) {
                    group.disables.push_back(control);
                }
            }
        }
    }
    group.disables.push_back(&panel.Button37);
    return group;
}

void ShowProgramModeControls(MainPanel& panel) {
    ProgramModeGroup(panel).Apply();
}
void ShowNormalModeControls(MainPanel& panel) {
    NormalModeGroup(panel).Apply();
}
void DisableAllControls(MainPanel& panel) {
    AllControlsGroup(panel).Apply();
}

void DisableProgramModeControls(MainPanel& panel) {
    for (Control* control : ProgramModeCommands(panel)) control->SetEnabled(false);
    panel.Button37.SetEnabled(false);
}

void ShowCyclicRunningControls(MainPanel& panel) {
    DisableAllControls(panel);
    panel.btn6.SetEnabled(true);
}

void ShowCyclicStoppedControls(MainPanel& panel) {
    ShowNormalModeControls(panel);
    panel.btn6.SetEnabled(false);
}

void StopSegregationPoll(MainPanel& panel) {
    panel.Timer3.SetEnabled(false);
}

}  // namespace nuv
