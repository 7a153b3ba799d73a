#pragma once

#include <string>
#include <vector>

namespace nuv {

class Tool;

// One control's event and the handler wired to it, by name: the table of ARCHITECTURE.md from a
// caption in the window to its code is this one (a test compares them).
struct WiredHandler {
    std::string window;   // "main" or "APC"
    std::string control;  // the control's window name ("Button38", "Timer1")
    std::string event;    // "click", "double-click", "change" or "tick"
    std::string handler;  // "Button38Click", or "SearchButtonClick(3)" with its channel
};

// Wires every control's handler into the tool (its constructor does), and says what it wired.
std::vector<WiredHandler> WireHandlers(Tool& tool);

}  // namespace nuv
