#pragma once

#include <functional>
#include <string>

#include "app/Dialogs.hpp"
#include "app/MainPanel.hpp"
#include "app/MessageLog.hpp"
#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"
#include "link/UsbLink.hpp"

namespace nuv {

// The whole state of the tool, single-instance as the window owns it: the two windows' panels,
// the message log and the link, with the injected outside world. Commands are functions of this
// state; each control's handler is wired here.
class Tool {
  public:
    Tool(FtdiApi& driver, Clock& clock, EventPump& pump, Dialogs& dialogs);
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Building the main window: titles, fixed texts, grid headers, selectors, then the start-up
    // connection.
    void FormCreate();
    // Closing the main window: only the link is closed; nothing is saved.
    void FormClose();

    // Runs a handler as the window's message loop would: an error that escapes it is shown in a
    // message box, and the tool goes on.
    void Run(const std::function<void()>& handler);

    MainPanel panel;
    ApcPanel form2;
    MessageLog log;
    UsbLink link;

    Clock& clock;
    EventPump& pump;
    Dialogs& dialogs;

    // The folder the save dialog starts in (the folder of the first command-line argument).
    std::string saveFolder;

  private:
    void WireHandlers();
};

}  // namespace nuv
