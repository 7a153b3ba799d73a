#pragma once

#include <string>

#include "core/LinkResult.hpp"

namespace nuv {
class Tool;
}

namespace nuv::cli::detail {

// A failed Modbus exchange in plain words for standard error, from what the last exchange
// gathered: an exception the module answered (with what to check), an answer from another
// address or to another request, an answer whose CRC is wrong, one that stopped short, or none
// at all. Empty when the failure was not the exchange's (the port, the driver).
std::string ExplainModbusFailure(const Tool& tool, LinkResult code);

}  // namespace nuv::cli::detail
