#include "measure/Diagnostics.hpp"

#include <array>

#include "measure/ModbusCommand.hpp"
#include "measure/PowerOutputs.hpp"
#include "measure/Temperatures.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"

namespace nuv {
namespace {

// Report texts of the six counters in the order of the answer, each 48 characters wide.
constexpr std::array<const char*, 6> kCounterTexts{
    " Reset Total................................... ",
    " JTG - (Reset via JTAG)........................ ",
    " WDT - (Reset via WatchDog Timer).............. ",
    " B0D - (Drop SYSTEM voltage under 4.0V)........ ",
    " EXT - (Reset via USB)......................... ",
    " POW - (Turn off MAIN/USB voltage)............. "};

}  // namespace

LinkResult ReadResetCounters(Tool& tool, std::uint8_t address, ResetCounters& counters) {
    const LinkResult k = ModuleExchange(tool, ReadResetCountersRequest(address));
    if (k != result::Ok) return k;
    const auto answer = tool.link.RxBuffer();
    for (std::size_t j = 0; j < counters.size(); ++j) {
        counters[j] = static_cast<std::uint16_t>(answer[3 + 2 * j] << 8U | answer[4 + 2 * j]);
    }
    return k;
}

LinkResult ClearResetCounters(Tool& tool, std::uint8_t address) {
    return ModuleExchange(tool, ClearResetCountersRequest(address));
}

void Button7Click(Tool& tool) {
    MainPanel& p = tool.panel;
    const std::uint8_t address = ModuleAddress(p);
    DisableAllControls(p);
    ResetCounters counters{};
    if (ReadResetCounters(tool, address, counters) == result::Ok) {
        tool.log.SetColour(colour::Hint);
        tool.log.AppendLine(std::string("\n") + kCounterTexts[0] + std::to_string(counters[0]));
        tool.log.SetColour(colour::LogDefault);
        for (std::size_t j : {5U, 4U, 3U, 2U, 1U}) {
            tool.log.AppendLine(kCounterTexts[j] + std::to_string(counters[j]));
        }
    }
    ShowNormalModeControls(p);
}

void Button14Click(Tool& tool) {
    MainPanel& p = tool.panel;
    const std::uint8_t address = ModuleAddress(p);
    DisableAllControls(p);
    if (ClearResetCounters(tool, address) == result::Ok) {
        tool.log.SetColour(colour::LogDefault);
        tool.log.AppendLine("\n Parameters cleared...");
    }
    ShowNormalModeControls(p);
}

}  // namespace nuv
