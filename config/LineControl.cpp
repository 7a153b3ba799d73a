#include "config/LineControl.hpp"

#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"

namespace nuv {

void Button3Click(Tool& tool) {
    tool.log.SetText("");
    if (tool.link.ConnectModule() == result::Ok) tool.log.SetText("ORNEVA Device detected...");
    CheckHardwareVersion(tool);
}

void CheckHardwareVersion(Tool& tool) {
    const bool enabled = tool.link.CheckHardwareVersion();
    tool.panel.ButtonA.SetEnabled(enabled);
    tool.panel.Button5.SetEnabled(enabled);
}

LinkResult Button20Click(Tool& tool) {
    MainPanel& p = tool.panel;
    p.Timer2.SetEnabled(false);
    StopSegregationPoll(tool.panel);
    p.GroupBox2.SetVisible(false);
    p.StringGrid2.SetVisible(true);
    // A failed connect reports itself; a failing line is not reported in the window.
    if (const LinkResult found = tool.link.ConnectModule(); found != result::Ok) return found;
    // The pulse: up and at once down again.
    if (const LinkResult up = tool.link.RaiseDtr(); up != result::Ok) return up;
    if (const LinkResult down = tool.link.DropDtr(); down != result::Ok) return down;
    tool.log.SetText("Reset via USB OK");
    tool.form2.SetVisible(false);
    ShowNormalModeControls(p);
    p.Button37.SetEnabled(false);
    p.Timer1.SetEnabled(false);
    return result::Ok;
}

void ButtonAClick(Tool& tool) {
    MainPanel& p = tool.panel;
    if (tool.link.RaiseRts() != result::Ok) {
        tool.log.SetText(" Function Error - Check Device Connection...");
        return;
    }
    p.Button5.SetVisible(true);
    p.ButtonA.SetVisible(false);
    p.pnl6.SetColour(colour::Lime);
    tool.log.SetText(" USB to RS485 mode has been activated...");
}

void Button5Click(Tool& tool) {
    MainPanel& p = tool.panel;
    if (tool.link.DropRts() != result::Ok) return;  // switching off fails silently
    p.Button5.SetVisible(false);
    p.ButtonA.SetVisible(true);
    p.pnl6.SetColour(colour::Red);
    tool.log.SetText(" USB to RS485 mode has been turned off...");
}

void Button19Click(Tool& tool) {
    tool.log.SetText("");
}

}  // namespace nuv
