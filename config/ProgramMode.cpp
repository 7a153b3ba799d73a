#include "config/ProgramMode.hpp"

#include <array>
#include <string>

#include "config/LineControl.hpp"
#include "config/ProgramCommand.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {
namespace {

constexpr Rgb kAqua = colour::LogDefault;
constexpr Rgb kYellow = colour::Hint;
constexpr Rgb kRed = colour::LinkError;

constexpr std::uint16_t kEntryLimitMs = 2500;
constexpr std::uint16_t kBlockLimitMs = 600;
constexpr std::uint8_t kHighestAddress = 247;

// The firmware report: the lines of each probe-standard line (high nibble 0..3).
struct StandardReport {
    Rgb colour;
    std::array<const char*, 3> lines;  // after the empty line; null where a row has fewer
};
constexpr std::array<StandardReport, 4> kStandards{{
    {kAqua,
     {"Connected module has firmware that supports standard features of sensor segregation.",
      "Automatic segregation is working correctly for probes made according to ORNEVA "
      "standard...",
      nullptr}},
    {kRed,
     {"Connected module has firmware version 1x.xx",
      "Automatic segregation is working correctly for SOME probes made according to MULTICORE "
      "standard...",
      "\nChange firmware if you use ORNEVA standard probe..."}},
    {kRed,
     {"Connected module has firmware version 2x.xx",
      "Automatic segregation is working correctly for probes made according to LIROS "
      "standard...",
      "\nChange firmware if you use ORNEVA standard probe..."}},
    {kRed,
     {"Connected module has firmware version 3x.xx",
      "Automatic segregation is working correctly for probes made in LIROS & Supertech "
      "standard...",
      "\nChange firmware if you use ORNEVA standard probe..."}},
}};

// The capacity line: its wording differs by standard in the blank before "!".
std::string CapacityLine(std::uint8_t standard, std::uint8_t sensors) {
    const bool blank =
        sensors == 16 || (sensors == 12 && standard <= 1) || (sensors == 10 && standard == 1);
    return "\nFirmware support max. " + std::to_string(sensors) + " sensors per channel" +
           (blank ? " !" : "!");
}

void ReportFirmware(Tool& tool, std::uint8_t firmwareClass, std::uint8_t build) {
    const std::uint8_t standard = firmwareClass >> 4U;
    if (standard >= kStandards.size()) {
        AddLine(tool, kRed, "");
        AddLine(tool, kRed, "Wrong firmware version please contact with ORNEVA support...");
    } else {
        const StandardReport& report = kStandards[standard];
        AddLine(tool, report.colour, "");
        for (const char* line : report.lines) {
            if (line != nullptr) AddLine(tool, report.colour, line);
        }
        if (const auto sensors = CapacityOf(firmwareClass)) {
            AddLine(tool, sensors == 10 ? kYellow : kRed, CapacityLine(standard, *sensors));
            tool.config.maxSensorsPerChannel = *sensors;
        }
    }
    const std::uint8_t current = CurrentFirmwareVersion & 0xFFU;
    if (build < current) {
        AddLine(tool, kRed,
                "\nConnected module has old firmware v00." + HexByte(build) +
                    "\nYou have to update firmware to actual version: " +
                    FirmwareVersionText(CurrentFirmwareVersion));
    }
}

// Selects the item of a value 1..last, or none for a value outside the list.
void SelectValue(Control& list, std::uint8_t value, int last) {
    list.SetIndex(value >= 1 && value <= last ? value - 1 : -1);
}

}  // namespace

std::optional<std::uint8_t> CapacityOf(std::uint8_t firmwareClass) {
    switch (firmwareClass & 0x0FU) {
        case 0:
            return 10;
        case 1:
            return 12;
        case 2:
            return 16;
        default:
            return std::nullopt;
    }
}

LinkResult EnterProgramMode(Tool& tool, ModuleIdentity& identity) {
    MainPanel& p = tool.panel;
    identity = {};
    if (!p.chk5.Checked()) {
        Button5Click(tool);  // the pass-through off, as if its button were pressed
        p.ButtonA.SetEnabled(false);
        p.Button5.SetEnabled(false);
    }
    tool.log.Clear();
    // The entry frame and then the identification block share one buffer: the block keeps the
    // frame's characters in bytes 0 and 3..5, and 0xFF from byte 6 on.
    ProgramBlock buffer{};
    buffer.fill(0xFF);
    LinkResult code = tool.link.ConnectModule();
    if (code == result::Ok) {
        p.Timer1.SetEnabled(false);
        if (tool.link.SetLinkBaud(tool.link.LinkBaud()) != result::Ok) {
            code = result::BaudRateFailed;
            AddLine(tool, kRed, "Error 55.AA(" + HexCode(code) + ")");
        }
    }
    if (code == result::Ok) {
        std::copy(kProgramEntryFrame.begin(), kProgramEntryFrame.end(), buffer.begin());
        code = tool.modbus.Transaction(std::span(buffer).first(kProgramEntryFrame.size()),
                                       kEntryLimitMs, 6, ReplyExpectation::AnyHead());
        // A shorter answer whose CRC fits (its last bytes came in the very last poll) is no
        // answer: the interval would be read from its CRC or from the cleared buffer.
        if (code == result::Ok && tool.link.LastReadCount() < 6) code = result::NoData;
        if (code != result::Ok) AddLine(tool, kRed, "Error 30.00 Timeout(" + HexCode(code) + ")");
    }
    if (code == result::Ok) {
        const auto reply = tool.link.RxBuffer();
        identity.entered = true;
        identity.address = reply[kEntryReplyAddress];
        identity.interval = reply[kEntryReplyInterval];
        ShowProgramModeControls(p);
        tool.log.Clear();
        AddLine(tool, kAqua, "Program Mode ON...");
        AddLine(tool, kYellow, "Device Adress: " + std::to_string(identity.address));
        AddLine(tool, kYellow, "Measure Interval: " + std::to_string(identity.interval) + " sec.");
        if (identity.address == 0 || identity.address > kHighestAddress) {
            AddLine(tool, kRed, "Device Adress Error: " + std::to_string(identity.address));
        }
        // An address outside the list leaves it without a selection rather than pointing past
        // its end.
        SelectValue(p.ComboBox1, identity.address, kHighestAddress);
        SelectValue(p.ComboBox3, identity.interval, 255);

        buffer[1] = kIdentify.command;
        buffer[2] = kIdentify.sub;
        code = tool.program.Exchange(buffer, kBlockLimitMs, 128);
        if (code != 0) {
            AddLine(tool, kRed, "Error 20.01(" + HexCode(code) + ")");
        } else {
            const auto block = tool.link.RxBuffer();
            identity.identified = true;
            identity.firmwareClass = block[kReplyFirmwareClass];
            identity.firmwareBuild = block[kReplyFirmwareBuild];
            ReportFirmware(tool, identity.firmwareClass, identity.firmwareBuild);
            p.GroupBox2.SetVisible(false);
            p.StringGrid2.SetVisible(true);
        }
    }
    CheckHardwareVersion(tool);
    return code;
}

void Button38Click(Tool& tool) {
    ModuleIdentity identity;
    EnterProgramMode(tool, identity);
}

LinkResult LeaveProgramMode(Tool& tool) {
    MainPanel& p = tool.panel;
    const UsbLink::Unstoppable leaveAfterAStop(tool.link);
    StopSegregationPoll(tool.panel);
    ProgramBlock block = MakeProgramBlock(kLeaveProgramMode);
    LinkResult code = PrepareProgramLink(tool);
    if (code == result::Ok) {
        code = LabelledExchange(tool, block, kBlockLimitMs, 128, "\nError AA.55(");
        if (code == result::Ok) {
            tool.log.SetText("Program Mode OFF...");
            tool.form2.SetVisible(false);
            p.Button37.SetEnabled(false);
            p.GroupBox2.SetVisible(false);
            p.StringGrid2.SetVisible(true);
        }
    }
    ShowNormalModeControls(p);
    CheckHardwareVersion(tool);
    return code;
}

void Button39Click(Tool& tool) {
    LeaveProgramMode(tool);
}

bool ModuleAnswersInProgramMode(Tool& tool) {
    if (PrepareProgramLink(tool) != result::Ok) return false;
    ProgramBlock block = MakeProgramBlock(kIdentify);
    const LinkResult code = tool.program.Exchange(block, kBlockLimitMs, 128);
    // A refusal is a program-mode answer too: its checksums passed.
    return code == result::Ok || tool.program.LastStatus() != 0;
}

LinkResult ProgramModeScope::Leave() {
    if (!inside_ || stay_) return result::Ok;
    inside_ = false;
    const LinkResult code = LeaveProgramMode(tool_);
    if (onLeave_) onLeave_(code);
    return code;
}

}  // namespace nuv
