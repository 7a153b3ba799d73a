#pragma once

#include <string>

#include "core/LinkResult.hpp"

namespace nuv {

// A result code for the person at the tool: what happened and what to do, one plain sentence
// per code ("no answer from the module (time-out): check ..."). The window's log keeps the
// message table's own texts; reports and the command line use these. Callers that know more
// (the port and the system's reason, the answer that came) say that instead or beside it.
// Codes without a sentence of their own give "result N" with no claim about its cause.
std::string ResultSentence(LinkResult code);

class Tool;

// A failed normal-mode (Modbus) command in a sentence, from its code and what the link and the
// last exchange know: the port and the system's reason for a port that could not be opened,
// the exception the module answered, an answer from another address, one whose CRC is wrong
// (with both checksums), one that stopped short, or none at all.
std::string ModbusFailureSentence(const Tool& tool, LinkResult code);

// Whether a failed normal-mode exchange got no answer at all: no refusal, nor a damaged, short
// or foreign answer (a module that is not there, or one that listens for program-mode blocks).
bool NoAnswerAtAll(const Tool& tool, LinkResult code);

// A failed program-mode command in a sentence: refused, no or a short answer, checksums wrong,
// an unknown status, or the link's failure as above.
std::string ProgramFailureSentence(const Tool& tool, LinkResult code);

}  // namespace nuv
