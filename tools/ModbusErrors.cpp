#include "tools/ModbusErrors.hpp"

#include "core/MessageTable.hpp"
#include "model/Tool.hpp"
#include "protocol/FailureText.hpp"
#include "protocol/ModbusReply.hpp"

namespace nuv::cli::detail {
namespace {

// What to look at for an exception: the options that choose the request and its address.
std::string ExceptionHint(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return ": check --address (the device there does not know this request)";
        case 0x02:
        case 0x03:
            return ": check --sensors and --address";
        default:
            return "";
    }
}

}  // namespace

std::string ExplainModbusFailure(const Tool& tool, LinkResult code) {
    if (code != 1 && code != result::NoData) return {};
    const ReplyCheck& check = tool.modbus.LastCheck();
    const auto collected = tool.modbus.Collected();
    // Where an option of the command is the remedy, the sentence names it.
    if (check.fault == ReplyFault::Exception) {
        return "the module answered exception " + HexByte(check.got) + ", " +
               ExceptionName(check.got) + ExceptionHint(check.got);
    }
    if (code == result::NoData && check.fault == ReplyFault::None && collected.size() < 3) {
        return "no answer from the module (time-out" +
               (collected.empty()
                    ? std::string()
                    : "; " + std::to_string(collected.size()) + " stray byte(s) came") +
               "): check the cable, the port and --address";
    }
    return ModbusFailureSentence(tool.link, tool.modbus, code);
}

}  // namespace nuv::cli::detail
