#include "sensors/SortBySerial.hpp"

#include <string>

#include "config/ProgramCommand.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ProgramCommands.hpp"
#include "sensors/ChannelSearch.hpp"
#include "sensors/Segregation.hpp"
#include "sensors/SensorCommon.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr Rgb kRed = colour::LinkError;

// Moves the selected item of `from` to the end of `to`; false when none is selected.
bool MoveSelected(Control& from, Control& to) {
    const int index = from.Index();
    if (index < 0 || index >= static_cast<int>(from.Items().size())) return false;
    std::vector<std::string> source = from.Items();
    to.AddItem(source[static_cast<std::size_t>(index)]);
    source.erase(source.begin() + index);
    from.SetItems(std::move(source));
    from.SetIndex(-1);
    return true;
}

// The table's serials on the log, one level a line.
void ShowTable(Tool& tool, std::size_t count) {
    tool.log.Clear();
    std::string text;
    for (std::size_t j = 0; j < count; ++j) {
        text += std::to_string(j + 1) + ":   ";
        for (std::size_t b = 0; b < 8; ++b)
            text += HexByte(tool.sensors.sortedSerialTable[8 * j + b]) + " ";
        text += "\n";
    }
    AppendToLog(tool, text);
}

void AfterMove(Tool& tool) {
    MainPanel& p = tool.panel;
    p.Label28.SetCaption("Sorted Items: " + std::to_string(p.ListBox2.Items().size()));
    RebuildSortedSerialTable(tool);
    const std::size_t levels = tool.config.maxSensorsPerChannel;
    ShowTable(tool, levels == 0 ? 0 : tool.sensors.sortedSerialTable[8 * levels]);
    p.Button44.SetEnabled(false);
    p.Button46.SetEnabled(false);
}

// One save block: the command, its sub-command and table bytes from `from`, `count` of them.
ProgramBlock SaveBlock(const Tool& tool, std::uint8_t sub, std::size_t from, std::size_t count) {
    ProgramBlock block = MakeProgramBlock(kSaveOrder, sub);
    std::copy_n(tool.sensors.sortedSerialTable.begin() + static_cast<std::ptrdiff_t>(from), count,
                block.begin() + kFirstParameter);
    return block;
}

// Sends the save in one block, or in two for 16 levels (their table does not fit one block's
// 115 bytes of parameters), as the segregation table comes in two.
LinkResult SendSave(Tool& tool, std::uint8_t channel, std::size_t levels, const char* done) {
    MainPanel& p = tool.panel;
    DisableProgramModeControls(p);
    LinkResult code = PrepareProgramLink(tool);
    if (code == result::Ok) {
        const auto sub = static_cast<std::uint8_t>(kSaveOrderFirst + channel);
        const std::size_t tableBytes = 8 * levels + 1;
        if (tableBytes <= kMaskedLast - kFirstParameter + 1) {
            code = tool.program.Exchange(SaveBlock(tool, sub, 0, tableBytes), kLimitMs, 128);
        } else {
            code = tool.program.Exchange(SaveBlock(tool, sub, 0, kFirstPartBytes), kLimitMs, 128);
            if (code == 0) {
                code = tool.program.Exchange(
                    SaveBlock(tool, static_cast<std::uint8_t>(kSaveOrderSecond + channel),
                              kFirstPartBytes, kSecondPartBytes),
                    kLimitMs, 128);
            }
        }
        if (code == result::Ok) {
            tool.log.SetText(done);
        } else {
            AppendToLog(tool, "\nError 70.03(" + HexCode(code) + ")");
        }
    }
    ShowProgramModeControls(p);
    return code;
}

}  // namespace

SortedSerialTable SortedTable(const std::vector<std::string>& serials, std::size_t levels) {
    SortedSerialTable table{};
    table.fill(0xFF);
    // Items beyond the levels are listed and counted, but have no place in the table.
    const std::size_t count = std::min(serials.size(), levels);
    for (std::size_t j = 0; j < count; ++j) {
        const SensorSerial serial = SerialBytes(serials[j]);
        std::copy(serial.begin(), serial.end(), table.begin() + static_cast<std::ptrdiff_t>(8 * j));
    }
    table[8 * levels] = static_cast<std::uint8_t>(count);
    return table;
}

void RebuildSortedSerialTable(Tool& tool) {
    tool.sensors.sortedSerialTable =
        SortedTable(tool.panel.ListBox2.Items(), tool.config.maxSensorsPerChannel);
}

LinkResult SaveSerialOrder(Tool& tool, const std::vector<std::string>& serials) {
    const std::size_t levels = tool.config.maxSensorsPerChannel;
    tool.sensors.sortedSerialTable = SortedTable(serials, levels);
    ShowTable(tool, levels == 0 ? 0 : tool.sensors.sortedSerialTable[8 * levels]);
    return SaveSortedSerials(tool);
}

void SbsButtonClick(Tool& tool, std::uint8_t channel) {
    MainPanel& p = tool.panel;
    tool.sensors.sbsChannel = channel;
    tool.log.Clear();
    p.StringGrid2.SetVisible(false);
    p.GroupBox2.SetVisible(true);
    // A new search starts a new order: the last channel's order is never saved under this one.
    tool.sensors.sortedSerialTable.fill(0xFF);
    p.Button58.SetEnabled(false);
    SearchChannel(tool, channel, kSearchChannel, channel);
}

void ListBox1Click(Tool& tool) {
    tool.panel.Button44.SetEnabled(true);
    tool.panel.Button46.SetEnabled(false);
}

void ListBox2Click(Tool& tool) {
    tool.panel.Button44.SetEnabled(false);
    tool.panel.Button46.SetEnabled(true);
}

void Button44Click(Tool& tool) {
    MainPanel& p = tool.panel;
    if (!MoveSelected(p.ListBox1, p.ListBox2)) return;
    AfterMove(tool);
    p.Button58.SetEnabled(true);
}

void Button46Click(Tool& tool) {
    MainPanel& p = tool.panel;
    if (!MoveSelected(p.ListBox2, p.ListBox1)) return;
    AfterMove(tool);
    const std::size_t levels = tool.config.maxSensorsPerChannel;
    if (levels == 0 || tool.sensors.sortedSerialTable[8 * levels] == 0)
        p.Button58.SetEnabled(false);
}

LinkResult SaveSortedSerials(Tool& tool) {
    if (!CapacityKnown(tool)) return result::NoData;
    return SendSave(tool, tool.sensors.sbsChannel, tool.config.maxSensorsPerChannel,
                    "All serials has been saved ok...");
}

void Button58Click(Tool& tool) {
    SaveSortedSerials(tool);
}

void Button59Click(Tool& tool) {
    tool.panel.GroupBox2.SetVisible(false);
    tool.panel.StringGrid2.SetVisible(true);
}

void Button43Click(Tool& tool) {
    // Its layout is that of ten positions; a module of another capacity would read it wrongly.
    if (tool.config.maxSensorsPerChannel != 10) {
        tool.log.SetColour(kRed);
        tool.log.AppendLine("Save To RAM writes the layout of 10 sensors per channel only...");
        return;
    }
    SendSave(tool, 0, 10, "Dane wpisane do pamieci poprawnie...");
}

void Button4Click(Tool& tool) {
    // The end-segregation command ends any procedure: its poll ends with it.
    StopSegregationPoll(tool.panel);
    if (PrepareProgramLink(tool) != result::Ok) return;
    tool.log.Clear();
    if (LabelledExchange(tool, MakeProgramBlock(kEndSegregation), kLimitMs, 128,
                         "\nError 70.02(") != 0) {
        return;
    }
    tool.log.Clear();
    std::string text;
    const auto reply = tool.link.RxBuffer();
    for (std::size_t i = kReplyData; i <= 100; ++i) text += HexByte(reply[i]) + " ";
    AppendToLog(tool, text);
}

void Button47Click(Tool& tool) {
    std::vector<std::string> items;
    for (int i = 0; i < 10; ++i) {
        std::string item;
        for (int b = 0; b < 8; ++b) item += HexByte(static_cast<unsigned>(i));
        items.push_back(item);
    }
    tool.panel.ListBox1.SetItems(std::move(items));
}

}  // namespace nuv
