#pragma once

#include <string>
#include <string_view>

namespace nuv {

// A JSON string literal of UTF-8 text, quotes and escapes included.
std::string JsonString(std::string_view text);

}  // namespace nuv
