#include "tools/ModbusErrors.hpp"

#include "app/MessageTable.hpp"
#include "app/Tool.hpp"
#include "protocol/ModbusCrc.hpp"
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
    switch (check.fault) {
        case ReplyFault::Exception:
            return "the module answered exception " + HexByte(check.got) + ", " +
                   ExceptionName(check.got) + ExceptionHint(check.got);
        case ReplyFault::OtherAddress:
        case ReplyFault::OtherFunction:
        case ReplyFault::WrongByteCount:
        case ReplyFault::TooShort:
            return DescribeReplyFault(check);
        case ReplyFault::None:
            break;
    }
    if (code == 1 && collected.size() >= 2) {
        const std::size_t n = collected.size() - 2;
        const ModbusCrcBytes computed = ModbusCrc(collected.first(n));
        return "the answer's CRC is wrong (" + std::to_string(collected.size()) + " bytes ending " +
               HexByte(collected[n]) + " " + HexByte(collected[n + 1]) + ", their CRC is " +
               HexByte(computed.first) + " " + HexByte(computed.second) +
               "): noise or a damaged line";
    }
    // Fewer bytes than an answer's head are no answer (a byte of noise, a boot loader's prompt).
    if (code == result::NoData && collected.size() >= 3) {
        return "the answer stopped after " + std::to_string(collected.size()) +
               " byte(s) (time-out)";
    }
    if (code == result::NoData) {
        return "no answer from the module (time-out" +
               (collected.empty()
                    ? std::string()
                    : "; " + std::to_string(collected.size()) + " stray byte(s) came") +
               "): check the cable, the port and --address";
    }
    return {};
}

}  // namespace nuv::cli::detail
