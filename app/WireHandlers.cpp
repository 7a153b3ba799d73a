// The tool as the window starts it: the constructor, which wires every control's handler, and
// the window's creation. They name the handlers of every command family, so they live above
// the families, in the application, although model/Tool.hpp declares them.
#include "model/Tool.hpp"

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
    WireHandlers();
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

void Tool::WireHandlers() {
    MainPanel& p = panel;
    p.Button3.onClick = [this] { Button3Click(*this); };

    p.Button20.onClick = [this] { Button20Click(*this); };
    p.btn13.onClick = [this] { Button20Click(*this); };
    p.ButtonA.onClick = [this] { ButtonAClick(*this); };
    p.Button5.onClick = [this] { Button5Click(*this); };
    p.Button19.onClick = [this] { Button19Click(*this); };
    WireFirmwareHandlers(*this);

    p.btn2.onClick = [this] { btn2Click(*this); };
    p.btn8.onClick = [this] { btn8Click(*this); };
    p.btn9.onClick = [this] { btn9Click(*this); };
    p.Button21.onClick = [this] { Button21Click(*this); };

    p.btn3.onClick = [this] { btn3Click(*this); };
    p.btn7.onClick = [this] { btn3Click(*this); };
    p.ComboBox6.onChange = [this] { ComboBox6Change(*this); };

    p.btn5.onClick = [this] { btn5Click(*this); };
    p.btn6.onClick = [this] { btn6Click(*this); };
    p.Timer1.onTimer = [this] { Timer1Timer(*this); };
    p.ComboBox4.onChange = [this] { ComboBox4Change(*this); };
    p.Button41.onClick = [this] { Button41Click(*this); };
    p.Button6.onClick = [this] { Button6Click(*this); };
    p.btn4.onClick = [this] { btn4Click(*this); };

    p.Button38.onClick = [this] { Button38Click(*this); };
    p.Button39.onClick = [this] { Button39Click(*this); };
    p.Button17.onClick = [this] { Button17Click(*this); };
    p.btn12.onClick = [this] { btn12Click(*this); };
    p.btn11.onClick = [this] { btn11Click(*this); };
    p.btn15.onClick = [this] { btn15Click(*this); };
    p.Button0.onClick = [this] { Button0Click(*this); };
    p.Button42.onClick = [this] { Button42Click(*this); };
    p.btn10.onClick = [this] { btn10Click(*this); };
    p.btn14.onClick = [this] { btn14Click(*this); };

    for (std::uint8_t c = 0; c < 10; ++c) {
        p.SearchButtons()[c]->onClick = [this, c] { SearchButtonClick(*this, c); };
        p.ApcButtons()[c]->onClick = [this, c] { ApcButtonClick(*this, c); };
        p.SbsButtons()[c]->onClick = [this, c] { SbsButtonClick(*this, c); };
    }
    p.Button9.onClick = [this] { Button9Click(*this); };
    p.Timer3.onTimer = [this] { Timer3Timer(*this); };
    p.Button37.onClick = [this] { Button37Click(*this); };
    form2.Button1.onClick = [this] { Button37Click(*this); };
    p.Button36.onClick = [this] { Button36Click(*this); };
    p.ListBox1.onClick = [this] { ListBox1Click(*this); };
    p.ListBox2.onClick = [this] { ListBox2Click(*this); };
    p.Button44.onClick = [this] { Button44Click(*this); };
    p.ListBox1.onDoubleClick = [this] { Button44Click(*this); };
    p.Button46.onClick = [this] { Button46Click(*this); };
    p.ListBox2.onDoubleClick = [this] { Button46Click(*this); };
    p.Button58.onClick = [this] { Button58Click(*this); };
    p.Button59.onClick = [this] { Button59Click(*this); };
    p.Button43.onClick = [this] { Button43Click(*this); };
    p.Button4.onClick = [this] { Button4Click(*this); };
    p.Button47.onClick = [this] { Button47Click(*this); };
    // Ending the procedure is never lost to a poll that waits: it runs once the poll is done.
    p.Button37.deferredDuringCommand = true;
    form2.Button1.deferredDuringCommand = true;

    p.Button8.onClick = [this] { Button8Click(*this); };
    for (Control* box : p.OutputBoxes()) box->onClick = [this] { OutputBoxClick(*this); };
    p.Button40.onClick = [this] { Button40Click(*this); };
    p.Button7.onClick = [this] { Button7Click(*this); };
    p.Button14.onClick = [this] { Button14Click(*this); };

    p.btnLogToFile.onClick = [this] { LogToFileClick(*this); };
    p.btnScanBus.onClick = [this] { ScanBusClick(*this); };
    p.btnServiceReport.onClick = [this] { ServiceReportClick(*this); };
    p.btnTrend.onClick = [this] { trendWindow.Show(true); };

    // Commands that leave the link alone may run while a reading waits on the module.
    for (Control* control :
         {&p.btnLogToFile, &p.btnTrend, &p.btn6, &p.Button6, &p.Button41, &p.btn4, &p.Button19,
          &p.ComboBox4, &p.ComboBox6, &p.btn2, &p.btn8, &p.Button21}) {
        control->runsDuringCommand = true;
    }
}

}  // namespace nuv
