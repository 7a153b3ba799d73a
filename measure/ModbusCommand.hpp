#pragma once

#include "core/LinkResult.hpp"
#include "protocol/ModbusRequests.hpp"

namespace nuv {

class Tool;

// What the normal-mode commands share: the link preparation and the checked Modbus exchange.

// One Modbus exchange of the measurement commands: the byte count in Memo1, then on success the
// whole answer dumped in green. A short answer counts as no answer (17).
LinkResult CheckedTransaction(Tool& tool, const ModbusRequest& request);

// Connect and set the baud rate before an exchange; reports a failure and returns its code.
LinkResult PrepareLink(Tool& tool);

// The exchange of the power, output and diagnostic commands: link preparation, one request,
// the byte count in Memo1, then either the two red failure lines or the green answer dump.
LinkResult ModuleExchange(Tool& tool, const ModbusRequest& request);

}  // namespace nuv
