#include "measure/BusScan.hpp"

#include <array>

#include "core/MessageTable.hpp"
#include "measure/ModbusCommand.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusReply.hpp"
#include "protocol/ModbusRequests.hpp"
#include "protocol/ModbusTransaction.hpp"

namespace nuv {
namespace {

constexpr Rgb kFound = colour::LogDefault;

}  // namespace

std::string ScanHit::Describe() const {
    if (exception) {
        return "exception " + HexByte(*exception) + " (" + ExceptionName(*exception) + ")";
    }
    if (answeredAs) return "answered as address " + std::to_string(*answeredAs);
    if (damaged) return "answered, but the answer was damaged";
    return "answered";
}

ScanResult ScanBus(Tool& tool, std::uint8_t from, std::uint8_t to, std::uint16_t limitMs,
                   const std::function<bool(std::uint8_t address)>& progress) {
    ScanResult scan;
    const std::int64_t start = tool.clock.NowMs();
    if (const LinkResult prepared = PrepareLink(tool); prepared != result::Ok) {
        scan.code = prepared;
        return scan;
    }
    for (unsigned address = from; address <= to; ++address) {
        const auto a = static_cast<std::uint8_t>(address);
        if (progress && !progress(a)) break;
        // One register at the address: any sound answer says a module is there.
        const ModbusRequest request = ReadRegistersRequest(a, 0, 1);
        const LinkResult code = tool.modbus.Transaction(request.frame, limitMs, request.replyLength,
                                                        request.expectation);
        ++scan.asked;
        const ReplyCheck& check = tool.modbus.LastCheck();
        ScanHit hit;
        hit.address = a;
        if (code == result::Ok) {
            scan.hits.push_back(hit);
        } else if (check.fault == ReplyFault::Exception) {
            hit.exception = check.got;
            scan.hits.push_back(hit);
        } else if (check.fault == ReplyFault::OtherAddress) {
            hit.answeredAs = check.got;
            scan.hits.push_back(hit);
        } else if (code == 1) {
            hit.damaged = true;
            scan.hits.push_back(hit);
        } else if (code != result::NoData) {
            scan.code = code;  // the link itself failed: no use asking on
            break;
        }
    }
    scan.elapsedMs = tool.clock.NowMs() - start;
    return scan;
}

void ScanBusClick(Tool& tool) {
    MainPanel& p = tool.panel;
    DisableAllControls(p);
    p.ProgressBar1.SetPosition(0);
    constexpr int kFirst = 1;
    constexpr int kLast = 247;
    const ScanResult scan = ScanBus(tool, kFirst, kLast, kScanLimitMs, [&](std::uint8_t address) {
        p.ServiceStatus.SetCaption("Scanning address " + std::to_string(address) + " of " +
                                   std::to_string(kLast) + "…");
        p.ProgressBar1.SetPosition((address - kFirst) * 100 / (kLast - kFirst + 1));
        return true;
    });
    p.ProgressBar1.SetPosition(100);
    const std::string seconds = std::to_string(scan.elapsedMs / 1000) + "." +
                                std::to_string(scan.elapsedMs % 1000 / 100) + " s";
    if (scan.code != result::Ok) {
        p.ServiceStatus.SetCaption("Scan stopped at address " + std::to_string(scan.asked + 1));
        tool.log.ReportError(scan.code);
    } else {
        std::string found;
        for (const ScanHit& hit : scan.hits) {
            if (!found.empty()) found += ", ";
            found += std::to_string(hit.address) +
                     (hit.exception || hit.answeredAs || hit.damaged ? "*" : "");
        }
        p.ServiceStatus.SetCaption(scan.hits.empty()
                                       ? "No module answered at 1..247 (" + seconds + ")"
                                       : "Found at: " + found + " (" + seconds + ")");
        tool.log.SetColour(kFound);
        tool.log.AppendLine("Bus scan of addresses 1..247: " + std::to_string(scan.hits.size()) +
                            " device(s) answered in " + seconds);
        for (const ScanHit& hit : scan.hits) {
            tool.log.AppendLine("  address " + std::to_string(hit.address) + ": " + hit.Describe());
        }
    }
    ShowNormalModeControls(p);
}

}  // namespace nuv
