#pragma once

#include <functional>
#include <optional>
#include <string>

#include "config/ConfigState.hpp"
#include "core/MessageLog.hpp"
#include "core/NumberFormat.hpp"
#include "firmware/FirmwareState.hpp"
#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"
#include "link/UsbLink.hpp"
#include "measure/MeasureState.hpp"
#include "model/DeviceGrid.hpp"
#include "model/Dialogs.hpp"
#include "model/MainPanel.hpp"
#include "model/Tone.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "protocol/ProgramExchange.hpp"
#include "sensors/SensorsState.hpp"

namespace nuv {

struct ServiceReport;

// Whether a window of its own beyond the two original ones is shown; the revision counts the
// requests, so that a request to show it again raises it.
struct WindowShown {
    bool visible = false;
    std::size_t revision = 0;
    void Show(bool shown) {
        visible = shown;
        ++revision;
    }
};

// The whole state of the tool, single-instance as the window owns it: the two windows' panels,
// the message log and the link, with the injected outside world. Commands are functions of this
// state. The constructor wires each control's handler, and the window's creation runs the
// start-up: both name the commands of every family, so app/WireHandlers.cpp defines them.
class Tool {
  public:
    Tool(FtdiApi& driver, Clock& clock, EventPump& pump, Dialogs& dialogs);
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Building the main window: titles, fixed texts, grid headers, selectors, then the start-up
    // connection.
    void FormCreate();
    // The part of it without the connection: texts, headers and selectors.
    void BuildPanel();
    // Closing the main window: only the link is closed; nothing is saved.
    void FormClose();

    // Runs a handler as the window's message loop would: an error that escapes it is shown in a
    // message box, and the tool goes on. The window stays live while a command waits on the
    // module; a handler started from there runs only when `duringCommand` says it leaves the
    // link alone, else it is dropped (a timer tick that falls due during a reading is lost, the
    // next one comes at its interval).
    void Run(const std::function<void()>& handler, bool duringCommand = false);
    // A click on a control, run as above; a click that the control defers is acted on once the
    // running command has ended.
    void Click(Control& control);
    void DoubleClick(Control& control);
    // A change of a list's selection or text.
    void Change(Control& control) { Run(control.onChange, control.runsDuringCommand); }
    // A timer's tick.
    void Tick(Timer& timer) { Run(timer.onTimer); }
    bool CommandRunning() const { return running_; }
    // The wall time in milliseconds for the trend plots (of the cyclic measurement and of an APC
    // run, on one time line), steady between two readings.
    std::int64_t TrendNowMs();
    // The wall and steady times of the trends' first point, once there is one.
    const std::optional<std::pair<std::int64_t, std::int64_t>>& TrendAnchor() const {
        return trendAnchor_;
    }
    // Forgets it, as a tool just made has none (a program that runs one tool through many
    // sessions).
    void ForgetTrendAnchor() { trendAnchor_.reset(); }

    MainPanel panel;
    ApcPanel form2;
    MessageLog log;
    // The error logger's text (Memo2 on the "Error Logger" page): one line per failed reading.
    MessageLog logger;
    UsbLink link;
    ModbusClient modbus;
    ProgramClient program;
    // What each command family keeps from one command to the next: only that family writes
    // its part (sensors/ and firmware/ read config's, as they build on program mode).
    MeasureState measure;
    ConfigState config;
    SensorsState sensors;
    FirmwareState firmware;
    // The locale's separators for measured values.
    NumberFormat numberFormat;
    // The trend plot's window.
    WindowShown trendWindow;

    Clock& clock;
    EventPump& pump;
    Dialogs& dialogs;
    // The instructions' tones; silent unless the window gives it a sound.
    Tone* tone = &silentTone_;

    // The program's own version, for the service report.
    std::string buildVersion;
    // Draws a service report as PDF: its bytes, or none with the reason in `error`. The window
    // binds it; without it a report is text or JSON.
    std::function<std::optional<std::vector<std::uint8_t>>(const ServiceReport&,
                                                           std::string& error)>
        reportPdf;
    // The folder the save dialog starts in (the folder of the first command-line argument).
    std::string saveFolder;

  private:
    // Shows the link's device table in the device list StringGrid1.
    DeviceGrid deviceGrid_{panel.StringGrid1};
    bool running_ = false;
    // Wall time in ms and steady time in ns of the trend's first point.
    std::optional<std::pair<std::int64_t, std::int64_t>> trendAnchor_;
    SilentTone silentTone_;
    // Clicks kept while a command ran, one per control.
    std::vector<Control*> deferred_;
};

}  // namespace nuv
