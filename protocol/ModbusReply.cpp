#include "protocol/ModbusReply.hpp"

#include "protocol/ModbusCrc.hpp"

namespace nuv {
namespace {

constexpr std::uint8_t kExceptionBit = 0x80;
constexpr std::size_t kExceptionLength = 5;

std::string Hex2(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4U], kDigits[byte & 0x0FU]};
}

}  // namespace

ReplyCheck CheckReply(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply,
                      const ReplyExpectation& expectation) {
    if (!expectation.header || request.size() < 2) return {};
    if (reply.size() < 3) {
        return {ReplyFault::TooShort, static_cast<std::uint8_t>(reply.size()), 3};
    }
    if (reply[0] != request[0]) return {ReplyFault::OtherAddress, reply[0], request[0]};
    if (reply[1] == (request[1] | kExceptionBit) && (request[1] & kExceptionBit) == 0) {
        return {ReplyFault::Exception, reply[2], 0};
    }
    if (reply[1] != request[1]) return {ReplyFault::OtherFunction, reply[1], request[1]};
    if (expectation.byteCount && reply[2] != *expectation.byteCount) {
        return {ReplyFault::WrongByteCount, reply[2], *expectation.byteCount};
    }
    return {};
}

ReplyCheck FindException(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> collected) {
    if (request.size() < 2 || collected.size() != kExceptionLength) return {};
    if (ModbusCrcCheck(collected, kExceptionLength - 2) != 0) return {};
    const ReplyCheck check = CheckReply(request, collected, ReplyExpectation{});
    return check.fault == ReplyFault::Exception ? check : ReplyCheck{};
}

std::string ExceptionName(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return "illegal function";
        case 0x02:
            return "illegal data address";
        case 0x03:
            return "illegal data value";
        case 0x04:
            return "slave device failure";
        case 0x05:
            return "acknowledge";
        case 0x06:
            return "slave device busy";
        case 0x08:
            return "memory parity error";
        case 0x0A:
            return "gateway path unavailable";
        case 0x0B:
            return "gateway target device failed to respond";
        default:
            return "unknown";
    }
}

std::string DescribeReplyFault(const ReplyCheck& check) {
    switch (check.fault) {
        case ReplyFault::None:
            return "the answer fits the request";
        case ReplyFault::TooShort:
            return "the answer is only " + std::to_string(check.got) + " byte(s) long";
        case ReplyFault::OtherAddress:
            return "the answer came from address " + std::to_string(check.got) + ", not " +
                   std::to_string(check.wanted);
        case ReplyFault::Exception:
            return "the module refused the request with exception " + Hex2(check.got) + " (" +
                   ExceptionName(check.got) + ")";
        case ReplyFault::OtherFunction:
            return "the answer is to function " + Hex2(check.got) + ", not " + Hex2(check.wanted);
        case ReplyFault::WrongByteCount:
            return "the answer carries " + std::to_string(check.got) + " data bytes, not " +
                   std::to_string(check.wanted);
    }
    return {};
}

}  // namespace nuv
