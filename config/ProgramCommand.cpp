#include "config/ProgramCommand.hpp"

#include "core/MessageTable.hpp"
#include "core/TypedNumber.hpp"
#include "model/Tool.hpp"

namespace nuv {

std::string HexCode(unsigned code) {
    std::string text;
    do {
        text.insert(0, HexByte(code & 0xFFU));
        code >>= 8U;
    } while (code != 0);
    return text;
}

void AppendToLog(Tool& tool, std::string_view piece) {
    tool.log.SetColour(colour::LogDefault);
    tool.log.AppendText(piece);
}

void AddLine(Tool& tool, Rgb colour, std::string_view line) {
    tool.log.SetColour(colour);
    tool.log.AppendLine(line);
}

LinkResult PrepareProgramLink(Tool& tool) {
    if (const LinkResult connected = tool.link.ConnectModule(); connected != result::Ok) {
        return connected;
    }
    if (tool.link.SetLinkBaud(tool.link.LinkBaud()) != result::Ok) {
        tool.log.ReportError(result::ChangeBaudFailed);
        return result::ChangeBaudFailed;
    }
    return result::Ok;
}

std::uint8_t LabelledExchange(Tool& tool, const ProgramBlock& block, std::uint16_t limitMs,
                              std::uint16_t expected, std::string_view label) {
    const std::uint8_t code = tool.program.Exchange(block, limitMs, expected);
    if (code != 0) AppendToLog(tool, std::string(label) + HexCode(code) + ")");
    return code;
}

std::uint8_t SelectedNumber(const Control& list, int last) {
    const int index = list.Index();
    if (index >= 0) return static_cast<std::uint8_t>(index + 1);
    const auto typed = ParseWholeNumber(list.Text());
    return typed && *typed >= 1 && *typed <= last ? static_cast<std::uint8_t>(*typed) : 0;
}

}  // namespace nuv
