#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/LinkResult.hpp"
#include "core/Rgb.hpp"
#include "protocol/ProgramBlock.hpp"

namespace nuv {

class Tool;

// What the commands of program mode share: the link preparation, the labelled exchange and the
// log operations they use.

// A result code as at least two upper-case hexadecimal digits ("15", "1E").
std::string HexCode(unsigned code);

// Appends a piece to the end of the log text, in the log's own colour.
void AppendToLog(Tool& tool, std::string_view piece);
// Adds one line in a colour.
void AddLine(Tool& tool, Rgb colour, std::string_view line);

// ConnectModule, then the baud rate in use. A failed connect has reported itself; a baud rate
// that cannot be set is reported as code 32. Returns the first nonzero result.
LinkResult PrepareProgramLink(Tool& tool);

// One program-mode exchange; on failure appends `label` + the code + ")" to the log text.
std::uint8_t LabelledExchange(Tool& tool, const ProgramBlock& block, std::uint16_t limitMs,
                              std::uint16_t expected, std::string_view label);

// The value of a list of numbers 1..`last` (address or interval): the selected item's
// position + 1, or typed text that names such a number; 0 when neither.
std::uint8_t SelectedNumber(const class Control& list, int last);

}  // namespace nuv
