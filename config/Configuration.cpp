#include "config/Configuration.hpp"

#include <string>

#include "config/ProgramCommand.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr std::uint16_t kSaveAllLimitMs = 10000;
constexpr Rgb kRed = colour::LinkError;

// The common course of a configuration command, from the prepared block on. The controls are
// disabled while it runs; a connect that fails (nothing was sent) brings the program-mode group
// back for every command, so that unsaved work is never left behind locked controls.
// `before` is a text the log shows while the exchange waits.
LinkResult RunCommand(Tool& tool, const ProgramBlock& block, std::uint16_t limitMs,
                      std::uint16_t expected, const char* label, bool connectFirst = false,
                      const char* before = nullptr) {
    MainPanel& p = tool.panel;
    LinkResult connected = result::Ok;
    if (connectFirst) {
        connected = tool.link.ConnectModule();
        DisableAllControls(p);
    } else {
        DisableAllControls(p);
        connected = tool.link.ConnectModule();
    }
    if (connected != result::Ok) {
        ShowProgramModeControls(p);
        return connected;
    }
    if (tool.link.SetLinkBaud(tool.link.LinkBaud()) != result::Ok) {
        tool.log.ReportError(result::ChangeBaudFailed);
        ShowProgramModeControls(p);
        return result::ChangeBaudFailed;
    }
    if (before != nullptr) tool.log.SetText(before);
    const std::uint8_t code = LabelledExchange(tool, block, limitMs, expected, label);
    if (code != 0) ShowProgramModeControls(p);
    return code;
}

// A save of a value: refused with a line when there is none (0: the list holds none), rather
// than sending 0 and reporting it saved.
LinkResult SaveValue(Tool& tool, std::uint8_t value, ProgramCommand save, const char* label,
                     const char* what, const char* done) {
    if (value == 0) {
        AddLine(tool, kRed,
                std::string("No ") + what + " selected - choose one from the list first...");
        return kNothingSelected;
    }
    ProgramBlock block = MakeProgramBlock(save);
    block[kFirstParameter] = value;
    const LinkResult code = RunCommand(tool, block, kLimitMs, 128, label);
    if (code == result::Ok) {
        tool.log.SetText(done);
        ShowProgramModeControls(tool.panel);
    }
    return code;
}

}  // namespace

LinkResult ReadFirmwareVersion(Tool& tool) {
    const LinkResult code =
        RunCommand(tool, MakeProgramBlock(kIdentify), kLimitMs, 128, "\nError 20.01(", true);
    if (code == result::Ok) {
        const auto reply = tool.link.RxBuffer();
        tool.log.SetText("Firmware version: " + HexByte(reply[kReplyFirmwareClass]) + "." +
                         HexByte(reply[kReplyFirmwareBuild]));
        ShowProgramModeControls(tool.panel);
    }
    return code;
}

void Button17Click(Tool& tool) {
    ReadFirmwareVersion(tool);
}

LinkResult SaveAddress(Tool& tool, std::uint8_t address) {
    return SaveValue(tool, address, kSaveAddress, "\nError 70.00(", "address",
                     "Modbus address saved ok...");
}

void btn12Click(Tool& tool) {
    SaveAddress(tool, SelectedNumber(tool.panel.ComboBox1, 247));
}

LinkResult SaveInterval(Tool& tool, std::uint8_t interval) {
    return SaveValue(tool, interval, kSaveInterval, "\nError 70.01(", "interval",
                     "Cyclic interval saved ok...");
}

void btn11Click(Tool& tool) {
    SaveInterval(tool, SelectedNumber(tool.panel.ComboBox3, 255));
}

LinkResult SaveAllConfigurations(Tool& tool) {
    MainPanel& p = tool.panel;
    p.Timer2.SetEnabled(false);
    const ProgramBlock block = MakeProgramBlock(kSaveAll);
    const LinkResult code = RunCommand(tool, block, kSaveAllLimitMs, 128, "\nError 70.02(", false,
                                       "Saving configurations - Please wait...");
    if (code != result::Ok) return code;
    ShowNormalModeControls(p);
    StopSegregationPoll(tool.panel);
    tool.log.SetText("Saved - OK");
    tool.form2.SetVisible(false);
    p.Button37.SetEnabled(false);
    p.GroupBox2.SetVisible(false);
    p.StringGrid2.SetVisible(true);
    return code;
}

void btn15Click(Tool& tool) {
    SaveAllConfigurations(tool);
}

LinkResult ResetViaCode(Tool& tool) {
    MainPanel& p = tool.panel;
    ProgramBlock block = MakeProgramBlock(kResetByCode);
    // What the module does with the address is its own affair; with no selection it gets 0.
    block[kFirstParameter] = static_cast<std::uint8_t>(p.ComboBox1.Index() + 1);
    // The module resets at once: any first byte of its answer is enough.
    const LinkResult code = RunCommand(tool, block, kLimitMs, 0, "\nError 20.01(");
    if (code == result::Ok) {
        tool.log.SetText("Reset Code OK...");
        StopSegregationPoll(tool.panel);
        tool.form2.SetVisible(false);
        ShowNormalModeControls(p);
        p.Button37.SetEnabled(false);
    }
    return code;
}

void Button0Click(Tool& tool) {
    ResetViaCode(tool);
}

}  // namespace nuv
