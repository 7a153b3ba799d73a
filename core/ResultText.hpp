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

}  // namespace nuv
