#pragma once

#include <optional>
#include <string_view>

namespace nuv {

// A decimal whole number of 32 bits, with optional leading blanks and sign, as typed into an
// edit or a list's text; empty when the text is no such number.
std::optional<long> ParseWholeNumber(std::string_view text);

}  // namespace nuv
