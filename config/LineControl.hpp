#pragma once

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// The commands of the "USB Interface" page and of the cable's control lines.

// "Find USB Devices": lists the devices again and opens the module's.
void Button3Click(Tool& tool);
// Enables or disables the two RS485 buttons from the selected device's hardware version.
void CheckHardwareVersion(Tool& tool);
// "RST via USB (FTDI)" and "RST FTDI": a DTR pulse resets the module into normal mode. The
// connect's failure, the line's (LineControlFailed) or Ok.
LinkResult Button20Click(Tool& tool);
// "Turn ON USB <-> RS485": RTS up switches the module's USB-to-RS485 pass-through on.
void ButtonAClick(Tool& tool);
// "Turn OFF USB <-> RS485".
void Button5Click(Tool& tool);
// "Clear Memo".
void Button19Click(Tool& tool);

}  // namespace nuv
