#pragma once

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

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
