// The libFuzzer entry of the report reader: any bytes, read as `compare` and `report
// --previous` read an earlier report, then compared with themselves and with an empty report.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/Scenarios.hpp"
#include "report/ReportCompare.hpp"
#include "report/ReportJsonReader.hpp"

using nuv::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto report = nuv::ReadReportJson(text, error);
    if (!report) {
        Require(!error.empty(), "a text that is refused says why");
        return 0;
    }
    Require(report->format >= 1 && report->format <= nuv::kReportFormat,
            "a report that was read is of a known format");
    nuv::ComparedDumps dumps;
    for (const auto& difference : nuv::CompareReports(*report, *report, dumps)) {
        Require(difference.kind == "not_compared", "a report differs from itself in nothing");
    }
    nuv::CompareReports(nuv::ReadReport{}, *report, dumps);
    nuv::CompareReports(*report, nuv::ReadReport{}, dumps);
    return 0;
}
