#pragma once

namespace nuv {

class Tool;

// "Find USB Devices": lists the devices again and opens the module's.
void Button3Click(Tool& tool);
// Enables or disables the two RS485 buttons from the selected device's hardware version.
void CheckHardwareVersion(Tool& tool);

}  // namespace nuv
