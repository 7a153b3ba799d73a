// The tool as the window starts it: the constructor, which wires every control's handler, and
// the window's creation. They name the handlers of every command family, so they live above
// the families, in the application, although model/Tool.hpp declares them.
#include "app/WireHandlers.hpp"

#include "config/Configuration.hpp"
#include "config/LineControl.hpp"
#include "config/MemoryRead.hpp"
#include "config/ProgramMode.hpp"
#include "firmware/FirmwareCommands.hpp"
#include "measure/BusScan.hpp"
#include "measure/Cyclic.hpp"
#include "measure/CyclicRecord.hpp"
#include "measure/Diagnostics.hpp"
#include "measure/PowerOutputs.hpp"
#include "measure/ServiceFunctions.hpp"
#include "measure/Temperatures.hpp"
#include "model/Tool.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "report/ServiceReport.hpp"
#include "sensors/ChannelSearch.hpp"
#include "sensors/Segregation.hpp"
#include "sensors/SortBySerial.hpp"

namespace nuv {

Tool::Tool(FtdiApi& driver, Clock& clock_, EventPump& pump_, Dialogs& dialogs_)
    : link(driver, clock_, pump_, log),
      modbus(link),
      program(link),
      clock(clock_),
      pump(pump_),
      dialogs(dialogs_) {
    link.SetDeviceListView(&deviceGrid_);
    // The APC window's fixed texts.
    static constexpr const char* kApcHeaders[] = {
        "Poziom", " Znalezione Sensory",    "T.HI", "T.LO",
        "T['C]",  " Posegregowane Sensory", "T.HI", "T.LO",
        "T['C]"};
    for (std::size_t column = 0; column < 9; ++column) {
        form2.StringGrid4.SetCell(column, 0, kApcHeaders[column]);
    }
    for (std::size_t level = 1; level <= 10; ++level) {
        form2.StringGrid4.SetCell(0, level, std::to_string(level));
    }
    form2.Memo1.SetText("");
    WireHandlers(*this);
}

void Tool::FormCreate() {
    BuildPanel();
    link.ConnectModule();
    CheckHardwareVersion(*this);
}

void Tool::BuildPanel() {
    MainPanel& p = panel;
    const std::string version = FirmwareVersionText(CurrentFirmwareVersion);
    p.title = std::string(" ORNEVA NUV Tool v") + kToolVersion + " - firmware v" + version;
    p.Label14.SetCaption(p.Label14.Caption() + version);
    p.Label27.SetCaption(FirmwareSupportText(CurrentFirmwareVersion >> 8U));
    p.Memo2.SetText("");
    log.Clear();

    p.StringGrid1.SetCell(0, 0, " Device name");
    p.StringGrid1.SetCell(1, 0, " Hardware version");
    p.StringGrid1.SetCell(2, 0, " State");

    p.StringGrid2.SetCell(0, 0, "Level");
    for (std::size_t channel = 0; channel < 10; ++channel) {
        p.StringGrid2.SetCell(4 * channel + 1, 0, "Channel " + std::to_string(channel));
        p.StringGrid2.SetCell(4 * channel + 2, 0, "T.HI");
        p.StringGrid2.SetCell(4 * channel + 3, 0, "T.LO");
        p.StringGrid2.SetCell(4 * channel + 4, 0, "T['C]");
    }
    for (std::size_t row = 1; row <= 16; ++row) {
        p.StringGrid2.SetCell(0, row, std::to_string(row));
    }

    p.StringGrid3.SetCell(0, 0, " Level");
    for (std::size_t channel = 0; channel < 10; ++channel) {
        p.StringGrid3.SetCell(channel + 1, 0, " Canal " + std::to_string(channel));
    }
    for (std::size_t row = 1; row <= 16; ++row) {
        p.StringGrid3.SetCell(0, row, "      " + std::to_string(row));
    }
    p.StringGrid3.SetDefaultRowHeight(25);
    p.StringGrid3.SetRowCount(11);

    auto fill = [](Control& box, const std::string& blanks, int last, int index) {
        std::vector<std::string> items;
        for (int n = 1; n <= last; ++n) items.push_back(blanks + std::to_string(n));
        box.SetItems(std::move(items));
        box.SetIndex(index);
    };
    fill(p.ComboBox1, "       ", 247, 1);
    fill(p.ComboBox2, "    ", 247, 1);
    fill(p.ComboBox3, "       ", 255, 3);
    fill(p.ComboBox4, " ", 255, 3);
    p.ComboBox6.SetItems(
        {" max. 10 sensors/channel", " max. 12 sensors/channel", " max. 16 sensors/channel"});
    p.ComboBox6.SetIndex(0);
}

void Tool::FormClose() {
    link.CloseLink();
}

namespace {

// "Trend…": shows the trend plot's window (and raises it when shown).
void TrendClick(Tool& tool) {
    tool.trendWindow.Show(true);
}

// Wires handlers to controls and keeps the table of what it wired, by name.
class Wiring {
  public:
    explicit Wiring(Tool& tool) : tool_(tool) {}

    template <typename Result>
    void On(std::function<void()>& event, const std::string& control, const char* kind,
            const char* name, Result (*handler)(Tool&)) {
        event = [&tool = tool_, handler] { handler(tool); };
        Record(control, kind, name);
    }
    template <typename Result>
    void On(std::function<void()>& event, const std::string& control, const char* kind,
            const char* name, Result (*handler)(Tool&, std::uint8_t), std::uint8_t channel) {
        event = [&tool = tool_, handler, channel] { handler(tool, channel); };
        Record(control, kind, std::string(name) + "(" + std::to_string(channel) + ")");
    }

    std::string window = "main";
    std::vector<WiredHandler> table;

  private:
    void Record(const std::string& control, const char* kind, std::string handler) {
        table.push_back(WiredHandler{window, control, kind, std::move(handler)});
    }
    Tool& tool_;
};

// The handler's name is written once: as the function wired and as its name in the table.
#define NUV_CLICK(control, handler) \
    wiring.On((control).onClick, (control).Name(), "click", #handler, handler)
#define NUV_DOUBLE_CLICK(control, handler) \
    wiring.On((control).onDoubleClick, (control).Name(), "double-click", #handler, handler)
#define NUV_CHANGE(control, handler) \
    wiring.On((control).onChange, (control).Name(), "change", #handler, handler)
#define NUV_TICK(timer, handler) \
    wiring.On((timer).onTimer, (timer).Name(), "tick", #handler, handler)
#define NUV_CHANNEL_CLICK(control, handler, channel) \
    wiring.On((control).onClick, (control).Name(), "click", #handler, handler, channel)

}  // namespace

std::vector<WiredHandler> WireHandlers(Tool& tool) {
    MainPanel& p = tool.panel;
    Wiring wiring(tool);
    NUV_CLICK(p.Button3, Button3Click);

    NUV_CLICK(p.Button20, Button20Click);
    NUV_CLICK(p.btn13, Button20Click);
    NUV_CLICK(p.ButtonA, ButtonAClick);
    NUV_CLICK(p.Button5, Button5Click);
    NUV_CLICK(p.Button19, Button19Click);

    NUV_CLICK(p.btn1, btn1Click);
    NUV_CLICK(p.btnUpdateFromFile, btnUpdateFromFileClick);
    NUV_CLICK(p.Button18, Button18Click);

    NUV_CLICK(p.btn2, btn2Click);
    NUV_CLICK(p.btn8, btn8Click);
    NUV_CLICK(p.btn9, btn9Click);
    NUV_CLICK(p.Button21, Button21Click);

    NUV_CLICK(p.btn3, btn3Click);
    NUV_CLICK(p.btn7, btn3Click);
    NUV_CHANGE(p.ComboBox6, ComboBox6Change);

    NUV_CLICK(p.btn5, btn5Click);
    NUV_CLICK(p.btn6, btn6Click);
    NUV_TICK(p.Timer1, Timer1Timer);
    NUV_CHANGE(p.ComboBox4, ComboBox4Change);
    NUV_CLICK(p.Button41, Button41Click);
    NUV_CLICK(p.Button6, Button6Click);
    NUV_CLICK(p.btn4, btn4Click);

    NUV_CLICK(p.Button38, Button38Click);
    NUV_CLICK(p.Button39, Button39Click);
    NUV_CLICK(p.Button17, Button17Click);
    NUV_CLICK(p.btn12, btn12Click);
    NUV_CLICK(p.btn11, btn11Click);
    NUV_CLICK(p.btn15, btn15Click);
    NUV_CLICK(p.Button0, Button0Click);
    NUV_CLICK(p.Button42, Button42Click);
    NUV_CLICK(p.btn10, btn10Click);
    NUV_CLICK(p.btn14, btn14Click);

    for (std::uint8_t c = 0; c < 10; ++c)
        NUV_CHANNEL_CLICK(*p.SearchButtons()[c], SearchButtonClick, c);
    for (std::uint8_t c = 0; c < 10; ++c) NUV_CHANNEL_CLICK(*p.ApcButtons()[c], ApcButtonClick, c);
    for (std::uint8_t c = 0; c < 10; ++c) NUV_CHANNEL_CLICK(*p.SbsButtons()[c], SbsButtonClick, c);
    NUV_CLICK(p.Button9, Button9Click);
    NUV_TICK(p.Timer3, Timer3Timer);
    NUV_CLICK(p.Button37, Button37Click);
    NUV_CLICK(p.Button36, Button36Click);
    NUV_CLICK(p.ListBox1, ListBox1Click);
    NUV_CLICK(p.ListBox2, ListBox2Click);
    NUV_CLICK(p.Button44, Button44Click);
    NUV_DOUBLE_CLICK(p.ListBox1, Button44Click);
    NUV_CLICK(p.Button46, Button46Click);
    NUV_DOUBLE_CLICK(p.ListBox2, Button46Click);
    NUV_CLICK(p.Button58, Button58Click);
    NUV_CLICK(p.Button59, Button59Click);
    NUV_CLICK(p.Button43, Button43Click);
    NUV_CLICK(p.Button4, Button4Click);
    NUV_CLICK(p.Button47, Button47Click);

    NUV_CLICK(p.Button8, Button8Click);
    for (Control* box : p.OutputBoxes()) NUV_CLICK(*box, OutputBoxClick);
    NUV_CLICK(p.Button40, Button40Click);
    NUV_CLICK(p.Button7, Button7Click);
    NUV_CLICK(p.Button14, Button14Click);

    NUV_CLICK(p.btnLogToFile, LogToFileClick);
    NUV_CLICK(p.btnScanBus, ScanBusClick);
    NUV_CLICK(p.btnServiceReport, ServiceReportClick);
    NUV_CLICK(p.btnTrend, TrendClick);

    wiring.window = "APC";
    NUV_CLICK(tool.form2.Button1, Button37Click);

    // Ending the procedure is never lost to a poll that waits: it runs once the poll is done.
    p.Button37.deferredDuringCommand = true;
    tool.form2.Button1.deferredDuringCommand = true;
    // "Wyjscie" only sets the flag that the firmware update's prompt wait reads.
    p.Button18.runsDuringCommand = true;
    // Commands that leave the link alone may run while a reading waits on the module.
    for (Control* control :
         {&p.btnLogToFile, &p.btnTrend, &p.btn6, &p.Button6, &p.Button41, &p.btn4, &p.Button19,
          &p.ComboBox4, &p.ComboBox6, &p.btn2, &p.btn8, &p.Button21}) {
        control->runsDuringCommand = true;
    }
    return wiring.table;
}

#undef NUV_CLICK
#undef NUV_DOUBLE_CLICK
#undef NUV_CHANGE
#undef NUV_TICK
#undef NUV_CHANNEL_CLICK

}  // namespace nuv
