#include "measure/ModbusCommand.hpp"

#include "core/MessageTable.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusTransaction.hpp"

namespace nuv {
namespace {
constexpr std::uint16_t kReplyLimitMs = 2500;
}  // namespace

LinkResult CheckedTransaction(Tool& tool, const ModbusRequest& request) {
    const std::uint16_t expected = request.replyLength;
    LinkResult code =
        tool.modbus.Transaction(request.frame, kReplyLimitMs, expected, request.expectation);
    const std::uint32_t count = tool.link.LastReadCount();
    tool.panel.Memo1.SetText(std::to_string(count));
    // A short answer whose CRC fits is no answer to this request (an exception frame that came
    // in the very last poll): its data would be read from the cleared buffer.
    if (code == result::Ok && count < expected) code = result::NoData;
    if (code != result::Ok) return code;
    tool.log.SetColour(colour::ReplyDump);
    tool.log.AppendText(HexDump(tool.link.RxBuffer().first(count)));
    return code;
}

LinkResult PrepareLink(Tool& tool) {
    const LinkResult connected = tool.link.ConnectModule();
    if (connected != result::Ok) {
        // The connect has reported most failures itself; the reading reports it once more.
        tool.log.ReportError(connected);
        return connected;
    }
    const LinkResult baud = tool.link.SetLinkBaud(tool.link.LinkBaud());
    if (baud != result::Ok) {
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Error SET COMMV(" + HexByte(baud) + ")");
    }
    return baud;
}

LinkResult ModuleExchange(Tool& tool, const ModbusRequest& request) {
    if (const LinkResult prepared = PrepareLink(tool); prepared != result::Ok) return prepared;
    const LinkResult k = CheckedTransaction(tool, request);
    if (k != result::Ok) {
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Error 30.00 Timeout (" + HexByte(k) + ")");
        tool.log.AppendLine("Sprawdz interface lub skoryguj adres w Pomiary-Sterowanie... ");
    }
    return k;
}

}  // namespace nuv
