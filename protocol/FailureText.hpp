#pragma once

#include <string>

#include "core/LinkResult.hpp"

namespace nuv {

class UsbLink;
class ModbusClient;
class ProgramClient;

// A failed exchange in a sentence for the person at the tool (reports and the command line),
// from its code and what the link and the last exchange know. The window's log keeps the
// message table's own texts.

// A failed normal-mode (Modbus) command: the port and the system's reason for a port that could
// not be opened, the exception the module answered, an answer from another address, one whose
// CRC is wrong (with both checksums), one that stopped short, or none at all.
std::string ModbusFailureSentence(const UsbLink& link, const ModbusClient& modbus, LinkResult code);

// Whether a failed normal-mode exchange got no answer at all: no refusal, nor a damaged, short
// or foreign answer (a module that is not there, or one that listens for program-mode blocks).
bool NoAnswerAtAll(const ModbusClient& modbus, LinkResult code);

// A failed program-mode command: refused, no or a short answer, checksums wrong, an unknown
// status, or the link's failure as above.
std::string ProgramFailureSentence(const UsbLink& link, const ProgramClient& program,
                                   LinkResult code);

}  // namespace nuv
