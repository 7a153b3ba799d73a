#include "measure/Temperatures.hpp"

#include <array>
#include <vector>

#include "core/MessageTable.hpp"
#include "core/TypedNumber.hpp"
#include "measure/ModbusCommand.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "protocol/TemperatureRegister.hpp"

namespace nuv {
namespace {

constexpr std::size_t kSingleReadMax = 121;  // registers in one request
constexpr std::uint8_t kFirstHalf = 80;
constexpr std::uint32_t kPauseBetweenHalvesMs = 100;

struct Layout {
    int sensors;
    std::size_t rows;
    int rowHeight;
};
constexpr std::array<Layout, 3> kLayouts{{{10, 11, 25}, {12, 13, 21}, {16, 17, 16}}};

// The hint after a failed first request: an exception answer (5 bytes, function code with bit
// 7 set) says the address or register range is wrong.
std::string FailureHint(const Tool& tool) {
    const auto collected = tool.modbus.Collected();
    if (tool.link.LastReadCount() == 5 && collected.size() >= 2 && (collected[1] & 0x80U) != 0) {
        return "Illegal Data Address or Data Value ...";
    }
    return "Check intrface or select proper Module Address...";
}

// One read request; on success its data bytes (answer bytes 3 onward) are appended to `data`.
LinkResult ReadRegisters(Tool& tool, std::uint8_t address, std::uint8_t start, std::uint8_t count,
                         std::vector<std::uint8_t>& data) {
    const ModbusRequest request = ReadRegistersRequest(address, start, count);
    const LinkResult code = CheckedTransaction(tool, request);
    if (code != result::Ok) return code;
    const auto answer = tool.link.RxBuffer().first(request.replyLength);
    data.insert(data.end(), answer.begin() + 3, answer.begin() + 3 + 2 * count);
    return result::Ok;
}

void ShowStatus(Control& label, const char* text, std::uint16_t count) {
    label.SetCaption(text + std::to_string(count));
}

}  // namespace

std::string PresenceErrorsText(std::uint16_t count) {
    return "   Bledy Presence 1W (brak sondy/zwarcie do +5V): " + std::to_string(count);
}

std::string ShortErrorsText(std::uint16_t count) {
    return "   Bledy 1W (zwarcie do GND): " + std::to_string(count);
}

std::string CrcErrorsText(std::uint16_t count) {
    return "   Bledy CRC 1W (uszk.czujnik/dlugi przewod): " + std::to_string(count);
}

int SensorsPerChannel(const MainPanel& panel) {
    const int index = panel.ComboBox6.Index();
    return index >= 0 && index < 3 ? kLayouts[static_cast<std::size_t>(index)].sensors : 16;
}

std::uint8_t ModuleAddress(const MainPanel& panel) {
    const int index = panel.ComboBox2.Index();
    if (index >= 0) return static_cast<std::uint8_t>(index + 1);
    // Typed text that names an address is taken; other text leaves no address (0, which no
    // module answers, so the reading ends with the hint to select a proper address).
    const auto typed = ParseWholeNumber(panel.ComboBox2.Text());
    return typed && *typed >= 1 && *typed <= 247 ? static_cast<std::uint8_t>(*typed) : 0;
}

LinkResult ReadTemperatures(Tool& tool, std::uint8_t address) {
    MainPanel& p = tool.panel;
    const int sensors = SensorsPerChannel(p);
    const auto registers = static_cast<std::size_t>(10 * sensors + 1);

    tool.measure.lastReading.reset();
    if (const LinkResult prepared = PrepareLink(tool); prepared != result::Ok) return prepared;

    std::vector<std::uint8_t> data;
    const std::uint8_t firstCount =
        registers <= kSingleReadMax ? static_cast<std::uint8_t>(registers) : kFirstHalf;
    const LinkResult first = ReadRegisters(tool, address, 0, firstCount, data);
    if (first != result::Ok) {
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Error 30.00 Timeout (" + HexByte(first) + ")");
        tool.log.SetColour(colour::Hint);
        tool.log.AppendLine(FailureHint(tool));
        return first;
    }
    if (registers > kSingleReadMax) {
        tool.pump.ProcessEvents();
        tool.clock.SleepMs(kPauseBetweenHalvesMs);
        const auto rest = static_cast<std::uint8_t>(registers - kFirstHalf);
        const LinkResult second = ReadRegisters(tool, address, kFirstHalf, rest, data);
        if (second != result::Ok) return second;
    }

    LinkResult outcome = result::Ok;
    ErrorCounters& counters = tool.measure.counters;
    for (std::size_t channel = 0; channel < 10; ++channel) {
        for (std::size_t s = 0; s < static_cast<std::size_t>(sensors); ++s) {
            const std::size_t r = channel * static_cast<std::size_t>(sensors) + s;
            const std::uint8_t high = data[2 * r];
            const std::uint8_t low = data[2 * r + 1];
            const float t = RawToCelsius(high, low);
            const std::string shown = FormatNumber(t, 2, tool.numberFormat);
            p.StringGrid3.SetCell(channel + 1, s + 1, shown);
            p.StringGrid2.SetCell(4 * channel + 4, s + 1, shown);
            p.StringGrid2.SetCell(4 * channel + 2, s + 1, HexByte(high));
            p.StringGrid2.SetCell(4 * channel + 3, s + 1, HexByte(low));
            if (t == -252.0F) {
                p.Label20.SetCaption(ShortErrorsText(CountUp(counters.oneWireShort)));
                outcome = SensorShortResult;
            } else if (t == -251.0F) {
                p.Label20.SetCaption(CrcErrorsText(CountUp(counters.oneWireCrc)));
                outcome = SensorCrcResult;
            } else if (t == -250.0F) {
                p.Label19.SetCaption(PresenceErrorsText(CountUp(counters.oneWirePresence)));
                outcome = SensorPresenceResult;
            }
        }
    }
    const std::size_t module = registers - 1;
    const float moduleTemperature = RawToCelsius(data[2 * module], data[2 * module + 1]);
    p.Label5.SetCaption(FormatNumber(moduleTemperature, 2, tool.numberFormat) + " 'C");
    TemperatureReading& reading = tool.measure.lastReading.emplace();
    reading.sensorsPerChannel = sensors;
    for (std::size_t r = 0; r < registers; ++r) {
        const auto word = static_cast<std::uint16_t>(data[2 * r] << 8U | data[2 * r + 1]);
        if (r == module) {
            reading.module = word;
        } else {
            reading.sensors.push_back(word);
        }
    }
    return outcome;
}

void btn3Click(Tool& tool) {
    MainPanel& p = tool.panel;
    const std::uint8_t address = ModuleAddress(p);
    DisableAllControls(p);
    const LinkResult k = ReadTemperatures(tool, address);
    ErrorCounters& counters = tool.measure.counters;
    switch (k) {
        case result::Ok:
            break;
        case result::ReadFailed:
            ShowStatus(p.Label21, "Bledy FT_READ: ", CountUp(counters.readError));
            break;
        case result::StatusFailed:
            ShowStatus(p.Label22, "Bledy FT_READ: ", CountUp(counters.usbError));
            break;
        case result::NoData:
            ShowStatus(p.Label23, "Licznik Braku Danych: ", CountUp(counters.noData));
            break;
        default:
            ShowStatus(p.Label17, "Inne bledy USB: ", CountUp(counters.otherError));
            break;
    }
    ShowNormalModeControls(p);
}

bool SelectSensorsPerChannel(Tool& tool, int sensors) {
    for (std::size_t index = 0; index < kLayouts.size(); ++index) {
        if (kLayouts[index].sensors != sensors) continue;
        if (tool.panel.ComboBox6.Index() != static_cast<int>(index)) {
            tool.panel.ComboBox6.SetIndex(static_cast<int>(index));
            ComboBox6Change(tool);
        }
        return true;
    }
    return false;
}

void ComboBox6Change(Tool& tool) {
    StringGrid& grid = tool.panel.StringGrid3;
    const int sensors = SensorsPerChannel(tool.panel);
    for (const Layout& layout : kLayouts) {
        if (layout.sensors != sensors) continue;
        grid.SetDefaultRowHeight(layout.rowHeight);
        grid.SetRowCount(layout.rows);
    }
    for (std::size_t row = 1; row < grid.RowCount(); ++row) {
        for (std::size_t column = 1; column <= 10; ++column) grid.SetCell(column, row, "");
    }
}

}  // namespace nuv
