#include "protocol/FailureText.hpp"

#include <optional>

#include "core/MessageTable.hpp"
#include "core/ResultText.hpp"
#include "link/UsbLink.hpp"
#include "protocol/ModbusCrc.hpp"
#include "protocol/ModbusReply.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "protocol/ProgramExchange.hpp"

namespace nuv {
namespace {

// The port and the system's reason, when the driver told them.
std::optional<std::string> OpenFailure(const UsbLink& link, LinkResult code) {
    if (code != result::PortOpenFailed || link.OpenFailure().empty()) return std::nullopt;
    return link.OpenFailure();
}

}  // namespace

std::string ModbusFailureSentence(const UsbLink& link, const ModbusClient& modbus,
                                  LinkResult code) {
    if (auto open = OpenFailure(link, code)) return *open;
    if (code != 1 && code != result::NoData) return ResultSentence(code);
    const ReplyCheck& check = modbus.LastCheck();
    const auto collected = modbus.Collected();
    switch (check.fault) {
        case ReplyFault::Exception:
            return "the module answered exception " + HexByte(check.got) + ", " +
                   ExceptionName(check.got) + ": check the module's address and its sensors " +
                   "per channel";
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
    if (code == 1) return ResultSentence(code);
    // Fewer bytes than an answer's head are no answer (a byte of noise, a boot loader's prompt).
    if (collected.size() >= 3) {
        return "the answer stopped after " + std::to_string(collected.size()) +
               " byte(s) (time-out)";
    }
    return "no answer from the module (time-out" +
           (collected.empty() ? std::string()
                              : "; " + std::to_string(collected.size()) + " stray byte(s) came") +
           "): check the cable, the port and the module's address";
}

bool NoAnswerAtAll(const ModbusClient& modbus, LinkResult code) {
    // Fewer bytes than an answer's head are no answer (a byte of noise).
    return code == result::NoData && modbus.LastCheck().fault == ReplyFault::None &&
           modbus.Collected().size() < 3;
}

std::string ProgramFailureSentence(const UsbLink& link, const ProgramClient& program,
                                   LinkResult code) {
    if (auto open = OpenFailure(link, code)) return *open;
    const std::uint8_t status = program.LastStatus();
    if (code == result::FirstByteTimeout && status == reply_status::Refused) {
        return "the module refused the request";
    }
    switch (code) {
        case 1:
            return "the module's answer failed its checksums: noise or a damaged line";
        case result::FirstByteTimeout:
            return "no answer from the module (time-out): check the cable and the module's power";
        case result::ReplyTimeout:
            return "the module's answer stopped short (time-out): noise or a loose contact on "
                   "the line";
        case kNoStatusResult:
            return "the module's answer carried no status: retry, and check the wiring if it "
                   "happens again";
        default:
            if (code < 0x100 && status != 0 && status == code) {
                return "the module answered with status " + HexByte(code) +
                       ", which this tool does not know";
            }
            return ResultSentence(code);
    }
}

}  // namespace nuv
