#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/LinkResult.hpp"

namespace nuv {

class Tool;

// A device that answered the scan at an address: a register read answered, a Modbus exception
// (its code), or an answer that fits no module of this address (another address in it, a wrong
// CRC), which still says that something talks there.
struct ScanHit {
    std::uint8_t address = 0;
    std::optional<std::uint8_t> exception;
    std::optional<std::uint8_t> answeredAs;  // the address in an answer from another one
    bool damaged = false;                    // an answer whose CRC or head did not fit

    // "answered", "exception 02 (illegal data address)", ...
    std::string Describe() const;
};

struct ScanResult {
    LinkResult code = 0;  // 0, or the link failure that ended the scan
    std::vector<ScanHit> hits;
    int asked = 0;  // addresses asked before the scan ended
    std::int64_t elapsedMs = 0;
};

// The time an address has to answer: a reading of one register comes back in about 20 ms at
// 9600 baud, so 100 ms leaves a slow module room while a scan of all 247 addresses stays near
// half a minute.
inline constexpr std::uint16_t kScanLimitMs = 100;

// Asks every address from `from` to `to` once for register 0 (function 3, one register) with a
// short time limit, and lists those that answer. `progress` is told each address before it is
// asked; when it returns false the scan ends there. The link is prepared once, before the first
// address; a link failure ends the scan with its code.
ScanResult ScanBus(Tool& tool, std::uint8_t from, std::uint8_t to, std::uint16_t limitMs,
                   const std::function<bool(std::uint8_t address)>& progress = {});

// "Scan bus…": scans 1..247 with the progress bar and the result line, the modules found listed
// in the message log.
void ScanBusClick(Tool& tool);

}  // namespace nuv
