#include "measure/Cyclic.hpp"

#include "core/MessageTable.hpp"
#include "core/TypedNumber.hpp"
#include "measure/CyclicRecord.hpp"
#include "measure/ModbusCommand.hpp"
#include "measure/Temperatures.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"

namespace nuv {
namespace {

constexpr unsigned kFirstTickMs = 100;
constexpr unsigned kAfterIntervalChangeMs = 1500;

// The chosen interval in seconds. Typed text that names 1..255 counts as that interval; other
// text keeps the last interval in use, so that the measurement neither stops (a 0 ms timer
// never fires) nor races.
unsigned IntervalSeconds(Tool& tool) {
    const Control& list = tool.panel.ComboBox4;
    if (list.Index() >= 0) {
        tool.measure.cyclicIntervalSeconds = static_cast<unsigned>(list.Index() + 1);
    } else if (const auto typed = ParseWholeNumber(list.Text());
               typed && *typed >= 1 && *typed <= 255) {
        tool.measure.cyclicIntervalSeconds = static_cast<unsigned>(*typed);
    }
    return tool.measure.cyclicIntervalSeconds;
}

}  // namespace

std::string LoggerStamp(const TimeOfDay& time) {
    return std::to_string(time.hour) + ":" + std::to_string(time.minute) + ":" +
           std::to_string(time.second);
}

void btn5Click(Tool& tool) {
    tool.panel.Timer1.SetInterval(kFirstTickMs);
    tool.panel.Timer1.SetEnabled(true);
    ShowCyclicRunningControls(tool.panel);
    MarkCyclicStart(tool);
    tool.logger.AppendLine("***************** " + LoggerStamp(tool.clock.LocalTime()) +
                           " *****************");
}

void btn6Click(Tool& tool) {
    tool.panel.Timer1.SetEnabled(false);
    ShowCyclicStoppedControls(tool.panel);
}

LinkResult Timer1Timer(Tool& tool) {
    tool.panel.Timer1.SetInterval(IntervalSeconds(tool) * 1000U);
    return CyclicReading(tool, ModuleAddress(tool.panel));
}

LinkResult CyclicReading(Tool& tool, std::uint8_t address) {
    MainPanel& p = tool.panel;
    const std::string stamp = LoggerStamp(tool.clock.LocalTime());
    const std::int64_t wallSeconds = tool.clock.WallSeconds();
    const LinkResult k = ReadTemperatures(tool, address);
    ErrorCounters& counters = tool.measure.counters;
    std::string ending;
    switch (k) {
        case result::Ok:
            break;
        case result::StatusFailed:
        case result::NoDevice:
            p.Label22.SetCaption("  USB Errors: " + std::to_string(CountUp(counters.usbError)));
            ending = p.Label22.Caption();
            break;
        case result::NoData:
            p.Label23.SetCaption("   Data Timeout Couner: " +
                                 std::to_string(CountUp(counters.noData)));
            ending = p.Label23.Caption();
            break;
        case SensorPresenceResult:
            ending = p.Label19.Caption();
            break;
        case SensorCrcResult:
        case SensorShortResult:
            ending = p.Label20.Caption();
            break;
        default:
            p.Label17.SetCaption("Other Errors: " + std::to_string(CountUp(counters.otherError)));
            ending = p.Label17.Caption() + " " + HexByte(k >> 8U) + HexByte(k & 0xFFU);
            break;
    }
    if (k != result::Ok) tool.logger.AppendLine(stamp + " " + ending);
    p.Label18.SetCaption("Measure counter: " + std::to_string(CountUp(counters.measure)));
    RecordCyclicReading(tool, wallSeconds, k);
    return k;
}

void ComboBox4Change(Tool& tool) {
    IntervalSeconds(tool);  // remember a valid choice for when typed text follows
    tool.panel.Timer1.SetInterval(kAfterIntervalChangeMs);
}

void Button41Click(Tool& tool) {
    tool.measure.counters = ErrorCounters{};
    tool.panel.Label18.SetCaption("Cykle Pomiarowe: 0");
}

void Button6Click(Tool& tool) {
    tool.logger.Clear();
}

void btn4Click(Tool& tool) {
    ErrorCounters& c = tool.measure.counters;
    c.measure = 0;
    c.otherError = 0;
    c.oneWireCrc = 0;
    c.oneWirePresence = 0;
    c.readError = 0;
    c.usbError = 0;
    MainPanel& p = tool.panel;
    for (Control* label :
         {&p.Label17, &p.Label18, &p.Label19, &p.Label20, &p.Label21, &p.Label22, &p.Label23}) {
        label->SetCaption("...");
    }
}

}  // namespace nuv
