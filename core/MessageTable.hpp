#pragma once

#include <string>
#include <string_view>

#include "core/LinkResult.hpp"

namespace nuv {

// The message of a result code as the log prints it: the text padded with blanks to its fixed
// field width (63 characters, 66 for code 30), counted in characters, not UTF-8 bytes. Code 0
// and codes without a message give "ERROR".
std::string MessageTable(LinkResult code);
// The same message without its padding, for texts of their own.
std::string MessageText(LinkResult code);

// The first report line of a code: "Error: " + high byte + "." + low byte in upper-case hex.
std::string ErrorCodeLine(LinkResult code);

// Two upper-case hexadecimal digits of a byte.
std::string HexByte(unsigned value);

// Number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);

}  // namespace nuv
