#include "app/StartUp.hpp"

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

}  // namespace nuv
