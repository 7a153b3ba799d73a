#include "sensors/Segregation.hpp"

#include <algorithm>
#include <string>

#include "config/ProgramCommand.hpp"
#include "core/MessageTable.hpp"
#include "core/NumberFormat.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ProgramCommands.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "sensors/ApcTrend.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr std::uint16_t kStartLimitMs = 1800;
constexpr std::uint16_t kTableLimitMs = 1200;
constexpr unsigned kFirstPollMs = 10;
constexpr unsigned kPollMs = 1800;
constexpr std::uint32_t kWarningPauseMs = 2000;
// The grid of the APC window has 12 level rows; more only for 16 levels.
constexpr std::size_t kWarnAbove = 12;

// A pause of the procedure; the window is served meanwhile and its commands wait.
void Pause(Tool& tool, std::uint32_t ms) {
    for (std::uint32_t done = 0; done < ms; done += 10) {
        tool.pump.ProcessEvents();
        tool.clock.SleepMs(10);
    }
}

std::uint8_t Exchange(Tool& tool, const ProgramBlock& block, std::uint16_t limitMs) {
    // Every request is a fresh block: bytes 3..117 go out as zeros.
    return tool.program.Exchange(block, limitMs, 128);
}

// Copies reply bytes 1.. into the table from `at` on.
void CopyReply(Tool& tool, std::size_t at, std::size_t count) {
    const auto reply = tool.link.RxBuffer();
    std::copy_n(reply.begin() + kReplyData, count,
                tool.sensors.segregationTable.begin() + static_cast<std::ptrdiff_t>(at));
}

void EmptyColumns(StringGrid& grid, std::size_t from, std::size_t to, std::size_t lastRow) {
    for (std::size_t row = 1; row <= lastRow; ++row) {
        for (std::size_t column = from; column <= to; ++column) grid.SetCell(column, row, "");
    }
}

std::size_t LevelRows(const StringGrid& grid) {
    return grid.RowCount() - 1;
}

std::span<const std::uint8_t> EntrySerial(const Tool& tool, std::size_t entry) {
    return std::span(tool.sensors.segregationTable).subspan(8 * entry, 8);
}

// The damaged serials among the table's first entries, counted in a red line of the log.
void CountDamaged(Tool& tool, std::span<const std::uint8_t> table, std::size_t entries) {
    std::size_t damaged = 0;
    for (std::size_t i = 0; i < entries; ++i)
        damaged += SerialIntact(table.subspan(8 * i, 8)) ? 0 : 1;
    if (damaged != 0) {
        AddLine(tool, kDamagedSerialColour,
                "Damaged serial(s) (CRC-8 wrong): " + std::to_string(damaged));
    }
}

std::string Celsius(Tool& tool, std::uint8_t high, std::uint8_t low) {
    return FormatNumber(RawToCelsius(high, low), 2, tool.numberFormat);
}

}  // namespace

std::uint8_t StartSegregation(Tool& tool, std::uint8_t channel, std::uint8_t command,
                              std::uint8_t sub) {
    MainPanel& p = tool.panel;
    ApcPanel& f = tool.form2;
    if (!CapacityKnown(tool)) return 0;
    const std::size_t levels = tool.config.maxSensorsPerChannel;
    p.Button37.SetEnabled(true);
    p.GroupBox2.SetVisible(false);
    p.StringGrid2.SetVisible(true);
    ShowLevels(f.StringGrid4, levels);
    EmptyColumns(f.StringGrid4, 1, 5, LevelRows(f.StringGrid4));
    f.Place();
    tool.sensors.segregationTable.fill(0);

    // A failed connect is reported by the connect; a failed baud rate gives the group back.
    if (const LinkResult prepared = PrepareProgramLink(tool); prepared != result::Ok) {
        if (prepared == result::ChangeBaudFailed) ShowProgramModeControls(p);
        return 0;
    }
    p.Button37.SetEnabled(true);
    AppendToLog(tool, "Initiate APC function in Channel " + std::to_string(channel) + " ...");

    // The firmware must order probes of ten or twelve positions.
    if (const std::uint8_t code = Exchange(tool, MakeProgramBlock(kIdentify), kLimitMs);
        code != 0) {
        AppendToLog(tool, "\nError 20.01(" + HexCode(code) + ") \n Fatal function error!");
        Pause(tool, kWarningPauseMs);
    } else if ((tool.link.RxBuffer()[kReplyFirmwareClass] & 0x0FU) > 1) {
        AppendToLog(tool, " Wrong firmware version - please contact with Orneva support...");
        Pause(tool, kWarningPauseMs);
    }

    if (const std::uint8_t code = Exchange(tool, MakeProgramBlock(command, sub), kStartLimitMs);
        code != 0) {
        AppendToLog(tool, "\nError(" + HexByte(command) + "." + HexByte(sub) + ")");
        ShowProgramModeControls(p);
        return 0;
    }
    EmptyColumns(f.StringGrid4, 1, 4, LevelRows(f.StringGrid4));
    const std::uint8_t found = tool.link.RxBuffer()[kReplyFoundCount];
    if (found == 0) {
        AppendToLog(tool, "\nNot found any sensors in this channel...\n");
        StopSegregationPoll(tool.panel);
        p.Button37.SetEnabled(false);
        ShowProgramModeControls(p);
        return 0;
    }
    AppendToLog(tool, " OK");
    AppendToLog(tool, "  Found: " + std::to_string(found) + " sensor(s)");
    if (found > kWarnAbove) {
        AppendToLog(tool,
                    "\n                       Warning - there are to much sensors on channel!!!");
    }
    if (found > 1) {
        DisableProgramModeControls(p);
        const auto readTable = [&] {
            if (Exchange(tool, MakeProgramBlock(kSegregationTableFirst), kTableLimitMs) != 0) {
                AppendToLog(tool, "\nError(90.12)");
                return false;
            }
            CopyReply(tool, 0, kFirstPartBytes);
            if (Exchange(tool, MakeProgramBlock(kSegregationTableSecond), kTableLimitMs) != 0) {
                AppendToLog(tool, "\nError(90.13)");
                return false;
            }
            CopyReply(tool, kFirstPartBytes, kSecondPartBytes);
            return true;
        };
        // The count may say up to 255: the table holds 16 serials, the grid its level rows.
        const std::size_t shown =
            std::min<std::size_t>({found, kMaxLevels, LevelRows(f.StringGrid4)});
        bool read = readTable();
        // A serial that fails its own CRC came through a line that spoilt it without the
        // block's checks seeing it: the table is asked for once more.
        if (read && !TableSerialsIntact(tool.sensors.segregationTable, shown)) read = readTable();
        for (std::size_t i = 0; read && i < shown; ++i) {
            ShowReceivedSerial(f.StringGrid4, 1, i + 1, EntrySerial(tool, i));
        }
        if (read) CountDamaged(tool, tool.sensors.segregationTable, shown);
        p.Timer3.SetInterval(kFirstPollMs);
        p.Timer3.SetEnabled(true);
        MarkApcStart(tool, channel);
    }
    if (found == 1) {
        StopSegregationPoll(tool.panel);
        p.Button37.SetEnabled(false);
        AddLine(tool, colour::LogDefault,
                "\nThis channel doesn't require the segregation... \nAPC function has been "
                "finished...");
        f.Memo1.SetText("");
        ShowProgramModeControls(p);
    } else {
        f.SetVisible(true);
        AddLine(tool, colour::LogDefault,
                "\nPodgrzewaj kolejno sensory zaczynając od najwyżej zamontowanego sensora...");
        AddLine(tool, colour::LogDefault,
                "Procedura APC zakończy się po podgrzaniu kolejno wszytskich sensorów w kanale.");
        AddLine(tool, colour::LogDefault,
                "Zakończenie procesu zasygalizowane będzie odpowiednim komunikatem.");
    }
    return found;
}

void ApcButtonClick(Tool& tool, std::uint8_t channel) {
    tool.log.Clear();
    StartSegregation(tool, channel, kSegregate, channel);
}

void Timer3Timer(Tool& tool) {
    MainPanel& p = tool.panel;
    ApcPanel& f = tool.form2;
    p.Timer3.SetInterval(kPollMs);
    f.Button1.SetEnabled(false);
    tool.sensors.segregationTable.fill(0);
    tool.sensors.segregationStatus = SegregationStatus{};
    // A poll that fails is retried on the next tick; "Exit " stays at hand to end it all.
    auto failed = [&] { p.Button37.SetEnabled(true); };
    if (PrepareProgramLink(tool) != result::Ok) return failed();
    const auto poll = [&] {
        if (LabelledExchange(tool, MakeProgramBlock(kSegregationProgress), kLimitMs, 128,
                             "\nError 20.01(") != 0) {
            return false;
        }
        CopyReply(tool, 0, kFirstPartBytes);
        tool.log.Clear();
        tool.pump.ProcessEvents();
        if (LabelledExchange(tool, MakeProgramBlock(kSegregationStatus), kLimitMs, 128,
                             "\nError 20.01(") != 0) {
            return false;
        }
        CopyReply(tool, kFirstPartBytes, kSecondPartBytes);
        AppendToLog(tool, "\n");
        const auto reply = tool.link.RxBuffer();
        std::copy_n(reply.begin() + kStatusRecord, SegregationStatus::kSize,
                    tool.sensors.segregationStatus.bytes.begin());
        AppendToLog(tool, "\n");
        std::string dump;
        for (std::uint8_t byte : tool.sensors.segregationTable) dump += HexByte(byte) + " ";
        AppendToLog(tool, dump);
        return true;
    };
    const std::size_t rows = LevelRows(f.StringGrid4);
    // Counts may say up to 255: the status holds 16 temperatures, the table 16 serials.
    const auto listed = [&] {
        return std::min<std::size_t>(
            {tool.sensors.segregationTable[8 * std::size_t{tool.config.maxSensorsPerChannel}],
             kMaxLevels, rows});
    };
    if (!poll()) return failed();
    // A serial that fails its own CRC came through a line that spoilt it without the block's
    // checks seeing it: the poll is made once more.
    if (!TableSerialsIntact(tool.sensors.segregationTable, listed()) && !poll()) return failed();

    const SegregationStatus& status = tool.sensors.segregationStatus;
    const std::size_t entries = listed();
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t high = status.bytes[2 * i];
        const std::uint8_t low = status.bytes[2 * i + 1];
        f.StringGrid4.SetCell(2, i + 1, HexByte(high));
        f.StringGrid4.SetCell(3, i + 1, HexByte(low));
        f.StringGrid4.SetCell(4, i + 1, Celsius(tool, high, low));
    }
    RecordApcPoll(tool, entries);
    if (status.State() == segregation_state::Finished) {
        StopSegregationPoll(tool.panel);
        f.Memo1.SetTextColour(Rgb{0, 128, 0});
        f.Memo1.SetText("Procedura APC w tym kanale zostala zakończona...");
        tool.log.SetText("Program Mode ON...");
        f.Button1.SetEnabled(false);
        p.Button37.SetEnabled(false);
        ShowProgramModeControls(p);
        return;
    }
    EmptyColumns(f.StringGrid4, 5, 5, rows);
    const std::size_t sorted = std::min<std::size_t>({status.Sorted(), kMaxLevels, rows});
    for (std::size_t i = 0; i < sorted; ++i) {
        ShowReceivedSerial(f.StringGrid4, 5, i + 1, EntrySerial(tool, i));
    }
    CountDamaged(tool, tool.sensors.segregationTable, std::max(entries, sorted));
    if (status.State() == segregation_state::HeatNext) {
        p.Button37.SetEnabled(true);
        f.Memo1.SetTextColour(Rgb{255, 0, 0});
        f.Memo1.SetText("Podgrzewaj sensor nr: " + std::to_string(status.Sorted() + 1));
        tool.tone->Beep(1050, 70);
    } else if (status.State() == segregation_state::Cooling) {
        p.Button37.SetEnabled(true);
        f.Memo1.SetTextColour(Rgb{0, 255, 255});
        f.Memo1.SetText("Czekaj - trwa chłodzenie sensora nr: " + std::to_string(status.Sorted()) +
                        " ...");
        tool.tone->Beep(650, 70);
    }
    f.Button1.SetEnabled(true);
}

void Button37Click(Tool& tool) {
    MainPanel& p = tool.panel;
    StopSegregationPoll(tool.panel);
    p.Button37.SetEnabled(false);
    tool.form2.SetVisible(false);
    if (PrepareProgramLink(tool) != result::Ok) return;
    if (LabelledExchange(tool, MakeProgramBlock(kEndSegregation), kLimitMs, 128,
                         "\nError AA.55(") != 0) {
        return;
    }
    ShowProgramModeControls(p);
}

void Button36Click(Tool& tool) {
    MainPanel& p = tool.panel;
    ApcPanel& f = tool.form2;
    // A progress read of its own: a running procedure's poll does not go on behind it.
    StopSegregationPoll(tool.panel);
    if (PrepareProgramLink(tool) != result::Ok) return;
    const auto read = [&] {
        return LabelledExchange(tool, MakeProgramBlock(kSegregationProgress), kLimitMs, 128,
                                "\nError 20.01(") == 0;
    };
    if (!read()) return;
    const auto reply = tool.link.RxBuffer();
    // This layout has room for ten positions, whatever the count byte says.
    const auto listed = [&] {
        return std::min<std::size_t>(reply[kProgressCount], kProgressPositions);
    };
    // A serial that fails its own CRC: the read is made once more.
    if (!TableSerialsIntact(reply.subspan(kReplyData), listed()) && !read()) return;
    const std::uint8_t state = reply[kProgressState];
    if (state == segregation_state::Finished) {
        f.Memo1.SetText("Procedura APC w tym kanale zostala zakoczona...");
        EmptyColumns(f.StringGrid4, 2, 4, kProgressPositions);
        tool.log.SetText("Program Mode ON...");
        ShowProgramModeControls(p);
        return;
    }
    EmptyColumns(f.StringGrid4, 5, 5, kProgressPositions);
    const std::size_t count = listed();
    for (std::size_t i = 0; i < count; ++i) {
        ShowReceivedSerial(f.StringGrid4, 5, i + 1, reply.subspan(kReplyData + 8 * i, 8));
        const std::uint8_t high = reply[kProgressTemperatures + 2 * i];
        const std::uint8_t low = reply[kProgressTemperatures + 2 * i + 1];
        const std::string celsius = Celsius(tool, high, low);
        if (RawToCelsius(high, low) != 0.0F) {
            p.StringGrid3.SetCell(1, i + 1, celsius);
        } else {
            f.StringGrid4.SetCell(1, i + 1, celsius);
        }
        f.StringGrid4.SetCell(2, i + 1, HexByte(high));
        f.StringGrid4.SetCell(3, i + 1, HexByte(low));
        f.StringGrid4.SetCell(4, i + 1, celsius);
    }
    CountDamaged(tool, reply.subspan(kReplyData), count);
    if (state == segregation_state::HeatNext)
        f.Memo1.SetText("Podgrzewaj kolejno sensory do 65'C...");
    if (state == segregation_state::Cooling) f.Memo1.SetText("Czekaj - trwa chlodzenie sensora...");
}

}  // namespace nuv
