#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nuv {

// What a request expects of the head of its reply. A reply is the answer to a request only when
// it comes from the addressed module with the request's function code; replies laid out like a
// register read also carry the count of their data bytes.
struct ReplyExpectation {
    // False for the program-mode entry frame, whose reply begins with the module's own address.
    bool header = true;
    // The data byte count in reply byte 2, for replies that carry one.
    std::optional<std::uint8_t> byteCount;

    static ReplyExpectation AnyHead() { return {false, std::nullopt}; }
    static ReplyExpectation WithCount(std::uint8_t count) { return {true, count}; }
};

enum class ReplyFault {
    None,
    TooShort,        // fewer than the three bytes of a head
    OtherAddress,    // another module answered
    Exception,       // the module refused the request: function code with bit 7 set
    OtherFunction,   // an answer to another request
    WrongByteCount,  // a data count other than the one asked for
};

struct ReplyCheck {
    ReplyFault fault = ReplyFault::None;
    std::uint8_t got = 0;     // the address, function code, exception code or count that came
    std::uint8_t wanted = 0;  // what the request asked for (none for an exception)

    bool Ok() const { return fault == ReplyFault::None; }
};

// Checks the head of a reply whose CRC is right against its request. Pure: no link, no log.
ReplyCheck CheckReply(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply,
                      const ReplyExpectation& expectation);

// A refusal that came as a short exception frame with a right CRC (address, function | 0x80,
// exception code, CRC): the check of those five bytes, or a fault of None when they are not one.
ReplyCheck FindException(std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> collected);

// The standard name of a Modbus exception code ("illegal data address"), or "unknown".
std::string ExceptionName(std::uint8_t code);

// A sentence for people: "the answer came from address 5, not 6".
std::string DescribeReplyFault(const ReplyCheck& check);

}  // namespace nuv
