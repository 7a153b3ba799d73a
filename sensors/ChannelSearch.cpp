#include "sensors/ChannelSearch.hpp"

#include "config/ProgramCommand.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr Rgb kAqua = colour::LogDefault;
constexpr Rgb kYellow = colour::Hint;
constexpr Rgb kRed = colour::LinkError;
// Status of a search reply: two sensors share a serial, or the same user bytes.
constexpr std::uint8_t kSameSerials = 1;

void Insert(Tool& tool, Rgb colour, const std::string& text) {
    tool.log.SetColour(colour);
    tool.log.Insert(text);
}

// Reads the channel's table. Up to 12 levels it comes in one block; 16 levels take two, the
// parameter byte 3 telling which part, as the segregation table comes in two.
std::uint8_t ReadTable(Tool& tool, std::uint8_t command, std::uint8_t sub, std::size_t levels,
                       std::array<std::uint8_t, kSensorTableSize>& table) {
    table.fill(0);
    const std::size_t tableBytes = 8 * levels + 1;
    const std::size_t parts = tableBytes > kMaskedLast ? 2 : 1;  // 117 data bytes a block
    std::size_t filled = 0;
    for (std::size_t part = 0; part < parts; ++part) {
        ProgramBlock block = MakeProgramBlock(command, sub);
        block[kFirstParameter] = static_cast<std::uint8_t>(part);
        const std::uint8_t code = tool.program.Exchange(block, kLimitMs, 128);
        if (code != 0) return code;
        const std::size_t bytes =
            parts == 1 ? tableBytes : (part == 0 ? kFirstPartBytes : kSecondPartBytes);
        const auto reply = tool.link.RxBuffer();
        std::copy_n(reply.begin() + kReplyData, bytes,
                    table.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += bytes;
    }
    return 0;
}

}  // namespace

std::uint8_t SearchChannel(Tool& tool, std::uint8_t channel, std::uint8_t command,
                           std::uint8_t sub) {
    MainPanel& p = tool.panel;
    ChannelSearchResult& result = tool.sensors.lastSearch;
    result = ChannelSearchResult{};
    result.channel = channel;
    p.ListBox1.SetItems({});
    p.ListBox2.SetItems({});
    if (!CapacityKnown(tool)) {
        result.code = result::NoData;
        return 0;
    }
    const std::size_t levels = tool.config.maxSensorsPerChannel;
    DisableProgramModeControls(p);
    const std::size_t first = 4 * std::size_t{channel} + 1;
    p.StringGrid2.SetCurrentCell(first + 3, 1);
    p.StringGrid2.SetCurrentCell(first, 1);

    std::uint8_t shown = 0;
    if (const LinkResult prepared = PrepareProgramLink(tool); prepared != result::Ok) {
        result.code = prepared;
    } else {
        Insert(tool, kAqua, "Searching sensors in Channel " + std::to_string(channel) + " ...");
        std::array<std::uint8_t, kSensorTableSize> table{};
        std::uint8_t code = ReadTable(tool, command, sub, levels, table);
        // A serial that fails its own CRC came through a line that spoilt it without the
        // block's checks seeing it: the table is asked for once more.
        const auto listed = [&] { return std::min<std::size_t>(table[8 * levels], levels); };
        if (code == 0 && !TableSerialsIntact(table, listed())) {
            result.repeated = true;
            code = ReadTable(tool, command, sub, levels, table);
        }
        result.code = code;
        result.status = tool.program.LastStatus();
        if (code != 0) {
            // Only a reply that passed its checks can say that serials repeat.
            if (tool.program.LastStatus() == kSameSerials) {
                Insert(tool, kYellow, " Found the same Serials/User_Bytes!\n");
            } else {
                Insert(tool, kRed, "\nError(" + HexByte(command) + "." + HexByte(sub) + ")");
            }
        } else {
            ShowLevels(p.StringGrid2, levels);
            for (std::size_t row = 1; row <= levels; ++row) {
                for (std::size_t column = first; column < first + 4; ++column) {
                    p.StringGrid2.SetCell(column, row, "");
                }
            }
            // The count may say up to 255; no more serials are shown than the table holds.
            std::size_t count = table[8 * levels];
            result.reported = static_cast<std::uint8_t>(count);
            if (count == 0) {
                Insert(tool, kAqua, " Not found any sensors...\n");
            } else {
                Insert(tool, kYellow, " Found: " + std::to_string(count) + " sensor(s)");
                if (count > levels) {
                    Insert(tool, kRed, " Warning!\n");
                    count = levels;
                } else {
                    tool.log.AppendLine("");
                }
                std::string damagedLevels;
                for (std::size_t i = 0; i < count; ++i) {
                    const auto serial = std::span(table).subspan(8 * i, 8);
                    SensorSerial bytes{};
                    std::copy(serial.begin(), serial.end(), bytes.begin());
                    result.serials.push_back(bytes);
                    ShowReceivedSerial(p.StringGrid2, first, i + 1, serial);
                    // A damaged serial is shown, marked, but never offered for sorting.
                    const bool intact = SerialIntact(serial);
                    result.damaged.push_back(!intact);
                    if (intact) {
                        p.ListBox1.AddItem(SerialText(serial));
                        ++shown;
                    } else {
                        damagedLevels +=
                            (damagedLevels.empty() ? "" : ", ") + std::to_string(i + 1);
                    }
                }
                if (!damagedLevels.empty()) {
                    Insert(tool, kDamagedSerialColour,
                           "Damaged serial(s) (CRC-8 wrong) at level(s) " + damagedLevels +
                               " - search the channel again...\n");
                }
            }
        }
    }
    ShowProgramModeControls(p);
    return shown;
}

void SearchButtonClick(Tool& tool, std::uint8_t channel) {
    MainPanel& p = tool.panel;
    tool.log.SetText("");
    p.GroupBox2.SetVisible(false);
    p.StringGrid2.SetVisible(true);
    SearchChannel(tool, channel, kSearchChannel, channel);
}

void Button9Click(Tool& tool) {
    MainPanel& p = tool.panel;
    tool.log.SetText("");
    p.GroupBox2.SetVisible(false);
    p.StringGrid2.SetVisible(true);
    // Without the sensors per channel no channel can be searched: that is said once.
    if (!CapacityKnown(tool)) return;
    unsigned total = 0;
    std::size_t damaged = 0;
    for (std::uint8_t channel = 0; channel < 10; ++channel) {
        total += SearchChannel(tool, channel, kSearchChannel, channel);
        damaged += tool.sensors.lastSearch.DamagedCount();
    }
    tool.log.SetColour(kRed);
    tool.log.AppendLine("Total segregated: " + std::to_string(total) + " sensors");
    if (damaged != 0) {
        tool.log.AppendLine("Damaged serials (CRC-8 wrong), not counted: " +
                            std::to_string(damaged));
    }
}

}  // namespace nuv
