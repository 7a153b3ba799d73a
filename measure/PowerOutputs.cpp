#include "measure/PowerOutputs.hpp"

#include "core/MessageTable.hpp"
#include "measure/ModbusCommand.hpp"
#include "measure/Temperatures.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusTransaction.hpp"

namespace nuv {
namespace {

std::uint16_t Register(std::span<const std::uint8_t> answer, std::size_t i) {
    return static_cast<std::uint16_t>(answer[3 + 2 * i] << 8U | answer[4 + 2 * i]);
}

// Colours an output box: red for an output that is on, green for one that is off.
void ShowOutput(Control& box, bool on) {
    box.SetColour(on ? colour::Red : colour::Green);
}

}  // namespace

LinkResult ReadPower(Tool& tool, std::uint8_t address, PowerValues& values) {
    const ModbusRequest request = ReadPowerRequest(address);
    const LinkResult k = ModuleExchange(tool, request);
    if (k != result::Ok) return k;
    const auto answer = tool.link.RxBuffer().first(request.replyLength);
    // Single precision, in the module's order of scaling: System first, Main uses it.
    values.system = static_cast<float>(Register(answer, 1)) * 2.56F / 1024.0F * 2.0F;
    values.main = static_cast<float>(Register(answer, 0)) * values.system / 1024.0F * 5.16F;
    for (std::size_t i = 0; i < values.currents.size(); ++i) {
        values.currents[i] =
            static_cast<float>(Register(answer, 2 + i)) * 2.56F / 1024.0F * (10.0F / 27.0F);
    }
    return k;
}

LinkResult WriteOutputs(Tool& tool, std::uint8_t address, std::uint8_t mask) {
    return ModuleExchange(tool, WriteOutputsRequest(address, mask));
}

LinkResult ReadOutputs(Tool& tool, std::uint8_t address, std::uint8_t& bits) {
    const LinkResult k = ModuleExchange(tool, ReadOutputsRequest(address));
    if (k == result::Ok) bits = tool.link.RxBuffer()[4];
    return k;
}

void Button8Click(Tool& tool) {
    MainPanel& p = tool.panel;
    const std::uint8_t address = ModuleAddress(p);
    DisableAllControls(p);
    PowerValues values;
    if (ReadPower(tool, address, values) == result::Ok) {
        const NumberFormat& format = tool.numberFormat;
        p.Label7.SetCaption("System: " + FormatNumber(values.system, 2, format) + "V");
        p.Label6.SetCaption("Main: " + FormatNumber(values.main, 2, format) + "V");
        Control* labels[] = {&p.Label8, &p.Label9, &p.Label10, &p.Label11, &p.Label12};
        const char* names[] = {"C0/1: ", "C2/3: ", "C4/5: ", "C6/7: ", "C8/9: "};
        for (std::size_t i = 0; i < values.currents.size(); ++i) {
            labels[i]->SetCaption(names[i] + FormatNumber(values.currents[i], 3, format) + "A");
        }
    }
    ShowNormalModeControls(p);
}

void OutputBoxClick(Tool& tool) {
    MainPanel& p = tool.panel;
    // Only the outputs' group is locked during the write, so that a second click waits for it.
    p.OutputsGroup.SetEnabled(false);
    std::uint8_t mask = 0;
    const auto boxes = p.OutputBoxes();
    for (std::size_t bit = 0; bit < boxes.size(); ++bit) {
        if (boxes[bit]->Checked()) mask = static_cast<std::uint8_t>(mask | 1U << bit);
        ShowOutput(*boxes[bit], boxes[bit]->Checked());
    }
    WriteOutputs(tool, ModuleAddress(p), mask);
    p.OutputsGroup.SetEnabled(true);
}

void Button40Click(Tool& tool) {
    MainPanel& p = tool.panel;
    const std::uint8_t address = ModuleAddress(p);
    DisableAllControls(p);
    // After a failed read the buffer holds no answer: the boxes keep the colours they had.
    std::uint8_t bits = 0;
    if (ReadOutputs(tool, address, bits) == result::Ok) {
        const auto boxes = p.OutputBoxes();
        for (std::size_t bit = 0; bit < boxes.size(); ++bit) {
            ShowOutput(*boxes[bit], (bits >> bit & 1U) != 0);
        }
    }
    ShowNormalModeControls(p);
}

}  // namespace nuv
