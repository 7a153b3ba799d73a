#pragma once

#include <cstdint>
#include <string>

namespace nuv {

// The character of a Windows-1250 code (the code page of the module's texts) as UTF-8. Codes
// that the code page leaves undefined map to the Unicode character of the same number; code 0
// gives an empty text, as a NUL ends a text.
std::string Windows1250ToUtf8(std::uint8_t code);

}  // namespace nuv
