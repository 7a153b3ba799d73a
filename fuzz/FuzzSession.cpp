#include "fuzz/FuzzSession.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "config/LineControl.hpp"
#include "sim/SimulatedModule.hpp"

namespace nuv::fuzz {
namespace {

// What a control shows and holds, as the commands set it.
struct ControlState {
    std::string caption;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::optional<Rgb> colour;
    std::optional<Rgb> textColour;
    bool bold = false;
    std::string hint;
    std::vector<std::string> items;
    int index = -1;
    int position = 0;
    // A grid's cells (all stored rows), shown rows, current cell, row height and widths.
    bool grid = false;
    std::vector<std::string> cells;
    std::size_t rows = 0;
    std::size_t currentColumn = 0;
    std::size_t currentRow = 0;
    int rowHeight = 0;
    std::vector<int> widths;
};

ControlState Capture(const Control& control) {
    ControlState state;
    state.caption = control.Caption();
    state.enabled = control.Enabled();
    state.visible = control.Visible();
    state.checked = control.Checked();
    state.colour = control.Colour();
    state.textColour = control.TextColour();
    state.bold = control.Bold();
    state.hint = control.Hint();
    state.items = control.Items();
    state.index = control.Index();
    state.position = control.Position();
    if (const auto* grid = dynamic_cast<const StringGrid*>(&control)) {
        state.grid = true;
        for (std::size_t row = 0; row < grid->StoredRowCount(); ++row) {
            for (std::size_t column = 0; column < grid->ColumnCount(); ++column) {
                state.cells.push_back(grid->Cell(column, row));
            }
        }
        state.rows = grid->RowCount();
        state.currentColumn = grid->CurrentColumn();
        state.currentRow = grid->CurrentRow();
        state.rowHeight = grid->DefaultRowHeight();
        state.widths = grid->ColumnWidths();
    }
    return state;
}

// Sets what differs from `state`; a control that is as it was costs a comparison.
void Restore(Control& control, const ControlState& state) {
    if (control.Items() != state.items) control.SetItems(state.items);
    control.SetIndex(state.index);
    control.SetCaption(state.caption);
    control.SetEnabled(state.enabled);
    control.SetVisible(state.visible);
    control.SetChecked(state.checked);
    control.SetColour(state.colour);
    control.SetTextColour(state.textColour);
    control.SetBold(state.bold);
    if (control.Hint() != state.hint) control.SetHint(state.hint);
    control.SetPosition(state.position);
    if (!state.grid) return;
    auto& grid = static_cast<StringGrid&>(control);
    // Rows stored since are cleared: a grid made anew would give them empty cells too.
    const std::size_t columns = grid.ColumnCount();
    const std::size_t kept = state.cells.size() / columns;
    static const std::string kEmpty;
    for (std::size_t row = 0; row < grid.StoredRowCount(); ++row) {
        for (std::size_t column = 0; column < columns; ++column) {
            const std::string& cell = row < kept ? state.cells[row * columns + column] : kEmpty;
            if (grid.Cell(column, row) != cell) grid.SetCell(column, row, cell);
        }
    }
    if (grid.RowCount() != state.rows) grid.SetRowCount(state.rows);
    if (grid.CurrentColumn() != state.currentColumn || grid.CurrentRow() != state.currentRow) {
        grid.SetCurrentCell(state.currentColumn, state.currentRow);
    }
    if (grid.DefaultRowHeight() != state.rowHeight) grid.SetDefaultRowHeight(state.rowHeight);
    if (grid.ColumnWidths() != state.widths) grid.SetColumnWidths(state.widths);
}

std::vector<Control*> ApcControls(Tool& tool) {
    return {&tool.form2.StringGrid4, &tool.form2.Memo1, &tool.form2.Button1};
}

std::vector<Timer*> Timers(MainPanel& panel) {
    return {&panel.Timer1, &panel.Timer2, &panel.Timer3, &panel.Timer4};
}

// Text of a fingerprint.
class Writer {
  public:
    Writer& operator<<(std::string_view text) {
        text_ += text;
        return *this;
    }
    Writer& operator<<(const char* text) { return *this << std::string_view(text); }
    Writer& operator<<(const std::string& text) { return *this << std::string_view(text); }
    Writer& operator<<(std::int64_t value) { return *this << std::to_string(value); }
    Writer& operator<<(std::uint64_t value) { return *this << std::to_string(value); }
    Writer& operator<<(int value) { return *this << static_cast<std::int64_t>(value); }
    Writer& operator<<(unsigned value) { return *this << static_cast<std::uint64_t>(value); }
    Writer& operator<<(bool value) { return *this << std::string_view(value ? "1" : "0"); }
    Writer& Bytes(std::span<const std::uint8_t> bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (std::uint8_t byte : bytes) {
            text_ += kDigits[byte >> 4U];
            text_ += kDigits[byte & 0x0FU];
        }
        return *this;
    }
    Writer& Colour(const std::optional<Rgb>& colour) {
        if (!colour) return *this << "-";
        return *this << unsigned{colour->r} << "." << unsigned{colour->g} << "."
                     << unsigned{colour->b};
    }
    Writer& Log(const MessageLog& log) {
        for (const LogRun& run : log.Runs()) Colour(run.colour) << ":" << run.text << "|";
        return *this << "\n";
    }
    Writer& State(const std::string& name, const ControlState& s) {
        *this << name << " [" << s.caption << "] " << s.enabled << s.visible << s.checked << " ";
        Colour(s.colour) << " ";
        Colour(s.textColour) << " " << s.bold << " [" << s.hint << "] " << s.index << " "
                             << s.position << " items:";
        for (const std::string& item : s.items) *this << item << "|";
        if (s.grid) {
            *this << " rows " << static_cast<std::uint64_t>(s.rows) << " at "
                  << static_cast<std::uint64_t>(s.currentColumn) << ","
                  << static_cast<std::uint64_t>(s.currentRow) << " height " << s.rowHeight
                  << " widths:";
            for (int width : s.widths) *this << width << ",";
            *this << " cells:";
            for (const std::string& cell : s.cells) *this << cell << "|";
        }
        return *this << "\n";
    }
    std::string Take() { return std::move(text_); }

  private:
    std::string text_;
};

}  // namespace

// The start state of everything the values of a made tool do not give.
struct FuzzSession::StartState {
    std::string title;
    int activePage = 0;
    bool windowEnabled = true;
    std::vector<ControlState> panel;  // as MainPanel::All() lists them
    std::vector<ControlState> apc;    // as ApcControls lists them
    // Each control's revision when it was last in its start state: every change of a control
    // counts in its revision, so one whose revision is still that needs nothing.
    std::vector<std::size_t> panelRevisions;
    std::vector<std::size_t> apcRevisions;
    std::vector<std::pair<unsigned, bool>> timers;
    std::string apcTitle;
    bool apcVisible = false;
    std::size_t apcRevision = 0;
    MessageLog log;
    MessageLog logger;
};

void FuzzDialogs::ShowMessage(std::string_view text) {
    std::fprintf(stderr, "a command ended in the message box: %.*s\n",
                 static_cast<int>(text.size()), text.data());
    std::abort();
}

FuzzSession::FuzzSession() : tool(driver, clock, pump, dialogs) {
    clock.SetTimeOfDay(12, 0, 0);
}

FuzzSession::~FuzzSession() = default;

sim::ModuleSimulator& FuzzSession::AttachModule() {
    sim::ModuleSimulator& module = sim::AttachModuleSimulator(driver.Device());
    driver.Record();
    return module;
}

void FuzzSession::Start() {
    if (start_) {
        if (!atStart_) Restore();
        atStart_ = true;
        return;
    }
    atStart_ = true;
    tool.FormCreate();
    tool.log.Clear();

    start_ = std::make_unique<StartState>();
    MainPanel& p = tool.panel;
    start_->title = p.title;
    start_->activePage = p.activePage;
    start_->windowEnabled = p.windowEnabled;
    for (const Control* control : p.All()) {
        start_->panel.push_back(Capture(*control));
        start_->panelRevisions.push_back(control->Revision());
    }
    for (const Control* control : ApcControls(tool)) {
        start_->apc.push_back(Capture(*control));
        start_->apcRevisions.push_back(control->Revision());
    }
    for (const Timer* timer : Timers(p))
        start_->timers.emplace_back(timer->Interval(), timer->Enabled());
    start_->apcTitle = tool.form2.title;
    start_->apcVisible = tool.form2.visible;
    start_->apcRevision = tool.form2.visibleRevision;
    start_->log = tool.log;
    start_->logger = tool.logger;
}

void FuzzSession::Restore() {
    // The link lets go of the old cable first; then a new cable, the clock at its start, and
    // the link connected as at the start.
    tool.link.Reset();
    driver.Reset();
    clock = VirtualClock{};
    clock.SetTimeOfDay(12, 0, 0);
    tool.modbus.Reset();
    // Its mask sequence starts from the clock, as when the tool was made.
    std::destroy_at(&tool.program);
    std::construct_at(&tool.program, tool.link);

    // The values the commands keep, as a tool has them when it is made: as their types make them
    // (the tool's constructor sets none of them).
    static const MeasureState madeMeasure{};
    static const SensorsState madeSensors{};
    MeasureState& measure = tool.measure;
    measure.counters = ErrorCounters{};
    measure.lastReading = std::nullopt;
    measure.cyclicIntervalSeconds = madeMeasure.cyclicIntervalSeconds;
    // A trend or the reading log that nothing touched is as made (a trend counts every change).
    if (measure.readingLog.Active() || measure.readingLog.Rows() != 0 ||
        !measure.readingLog.Path().empty()) {
        measure.readingLog = ReadingLog{};
    }
    if (measure.cyclicTrend.Revision() != 0) measure.cyclicTrend = TrendModel{};
    tool.config = ConfigState{};
    SensorsState& sensors = tool.sensors;
    sensors.lastSearch = madeSensors.lastSearch;
    sensors.segregationTable = madeSensors.segregationTable;
    sensors.segregationStatus = madeSensors.segregationStatus;
    sensors.sbsChannel = madeSensors.sbsChannel;
    sensors.sortedSerialTable = madeSensors.sortedSerialTable;
    if (sensors.apcTrend.Revision() != 0) sensors.apcTrend = TrendModel{};
    if (!sensors.apcRuns.byChannel.empty() || sensors.apcRuns.running) sensors.apcRuns = ApcRuns{};
    tool.firmware = FirmwareState{};
    tool.numberFormat = NumberFormat{};
    tool.trendWindow = WindowShown{};
    tool.ForgetTrendAnchor();
    tool.buildVersion.clear();
    tool.saveFolder.clear();

    tool.link.ConnectModule();
    CheckHardwareVersion(tool);

    MainPanel& p = tool.panel;
    p.title = start_->title;
    p.activePage = start_->activePage;
    p.windowEnabled = start_->windowEnabled;
    const std::vector<Control*>& all = p.All();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i]->Revision() == start_->panelRevisions[i]) continue;
        fuzz::Restore(*all[i], start_->panel[i]);
        start_->panelRevisions[i] = all[i]->Revision();
    }
    const std::vector<Control*> apc = ApcControls(tool);
    for (std::size_t i = 0; i < apc.size(); ++i) {
        if (apc[i]->Revision() == start_->apcRevisions[i]) continue;
        fuzz::Restore(*apc[i], start_->apc[i]);
        start_->apcRevisions[i] = apc[i]->Revision();
    }
    const std::vector<Timer*> timers = Timers(p);
    for (std::size_t i = 0; i < timers.size(); ++i) {
        timers[i]->SetInterval(start_->timers[i].first);
        timers[i]->SetEnabled(start_->timers[i].second);
    }
    tool.form2.title = start_->apcTitle;
    tool.form2.visible = start_->apcVisible;
    tool.form2.visibleRevision = start_->apcRevision;
    tool.log = start_->log;
    tool.logger = start_->logger;
}

std::string FuzzSession::Fingerprint() {
    Writer out;
    const sim::SimDevice& device = driver.Device();
    const sim::SimFtdi& simulated = driver.Simulated();
    out << "time " << clock.NowNs() << " sleeps " << clock.SleepCount() << "\nwritten ";
    out.Bytes(device.Written()) << "\nlines " << device.Rts() << device.Dtr() << " baud "
                                << device.Baud() << " " << unsigned{device.WordLength()}
                                << unsigned{device.StopBits()} << unsigned{device.Parity()} << " "
                                << unsigned{device.FlowControl()} << " opened "
                                << static_cast<std::uint64_t>(device.OpenCount()) << " closed "
                                << static_cast<std::uint64_t>(device.CloseCount()) << " calls "
                                << static_cast<std::uint64_t>(simulated.CallCount()) << "\n";

    MainPanel& p = tool.panel;
    out << "window [" << p.title << "] " << p.activePage << " " << p.windowEnabled << "\n";
    for (const Control* control : p.All()) out.State(control->Name(), Capture(*control));
    for (const Timer* timer : Timers(p)) {
        out << timer->Name() << " " << timer->Interval() << " " << timer->Enabled() << "\n";
    }
    out << "apc [" << tool.form2.title << "] " << tool.form2.visible << " "
        << static_cast<std::uint64_t>(tool.form2.visibleRevision) << "\n";
    for (const Control* control : ApcControls(tool)) {
        out.State("apc." + control->Name(), Capture(*control));
    }
    out << "log ";
    out.Log(tool.log) << "logger ";
    out.Log(tool.logger);

    const UsbLink& link = tool.link;
    out << "link " << link.IsOpen() << " " << static_cast<std::uint64_t>(link.Handle()) << " "
        << link.LinkBaud() << " " << link.ByteTimeNs() << " " << unsigned{link.DeviceCount()} << " "
        << unsigned{link.SelectedIndex()} << " " << link.LastReadCount() << " "
        << link.ReceivedCount() << " " << static_cast<std::uint64_t>(link.ShownDevices().size())
        << " [" << link.OpenFailure() << "]\nrx ";
    const auto rx = link.RxBuffer();
    std::size_t used = rx.size();
    while (used > 0 && rx[used - 1] == 0) --used;
    out.Bytes(rx.first(used)) << "\nmodbus ";
    out.Bytes(tool.modbus.Collected())
        << " check " << static_cast<int>(tool.modbus.LastCheck().fault) << " "
        << unsigned{tool.modbus.LastCheck().got} << " " << unsigned{tool.modbus.LastCheck().wanted}
        << " busy " << link.ExchangeRunning() << "\nprogram " << unsigned{tool.program.LastStatus()}
        << "\n";

    const ErrorCounters& c = tool.measure.counters;
    out << "counters " << unsigned{c.oneWireShort} << " " << unsigned{c.oneWireCrc} << " "
        << unsigned{c.oneWirePresence} << " " << unsigned{c.readError} << " "
        << unsigned{c.usbError} << " " << unsigned{c.noData} << " " << unsigned{c.otherError} << " "
        << unsigned{c.measure} << "\nsensors per channel "
        << unsigned{tool.config.maxSensorsPerChannel} << "\nmemory "
        << static_cast<std::uint64_t>(tool.config.memoryImage.valid) << " ";
    out.Bytes(tool.config.memoryImage.bytes)
        << "\nsearch " << unsigned{tool.sensors.lastSearch.channel} << " "
        << unsigned{tool.sensors.lastSearch.code} << " " << unsigned{tool.sensors.lastSearch.status}
        << " " << unsigned{tool.sensors.lastSearch.reported} << " ";
    for (const SensorSerial& serial : tool.sensors.lastSearch.serials) out.Bytes(serial) << ",";
    out << "\nsegregation ";
    out.Bytes(tool.sensors.segregationTable) << " ";
    out.Bytes(tool.sensors.segregationStatus.bytes)
        << " sbs " << unsigned{tool.sensors.sbsChannel} << " ";
    out.Bytes(tool.sensors.sortedSerialTable) << "\nreading ";
    if (tool.measure.lastReading) {
        out << tool.measure.lastReading->sensorsPerChannel << " "
            << unsigned{tool.measure.lastReading->module};
        for (std::uint16_t raw : tool.measure.lastReading->sensors) out << " " << unsigned{raw};
    }
    out << "\nformat [" << tool.numberFormat.decimalSeparator << "]["
        << tool.numberFormat.thousandsSeparator << "] interval "
        << tool.measure.cyclicIntervalSeconds << " reading log " << tool.measure.readingLog.Active()
        << " " << static_cast<std::uint64_t>(tool.measure.readingLog.Rows()) << " trends "
        << static_cast<std::uint64_t>(tool.measure.cyclicTrend.FrameCount()) << " "
        << static_cast<std::uint64_t>(tool.measure.cyclicTrend.Revision()) << " "
        << static_cast<std::uint64_t>(tool.sensors.apcTrend.FrameCount()) << " "
        << static_cast<std::uint64_t>(tool.sensors.apcTrend.Revision()) << " window "
        << tool.trendWindow.visible << " " << static_cast<std::uint64_t>(tool.trendWindow.revision)
        << " anchor " << (tool.TrendAnchor() ? tool.TrendAnchor()->first : -1) << " "
        << (tool.TrendAnchor() ? tool.TrendAnchor()->second : -1) << " abort "
        << unsigned{tool.firmware.abortFlag} << " running " << tool.CommandRunning() << "\n";
    return out.Take();
}

void Press(Tool& tool, Control& control) {
    if (!tool.panel.windowEnabled || !control.Enabled()) return;
    tool.Click(control);
}

}  // namespace nuv::fuzz
