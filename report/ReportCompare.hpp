#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report/ReportJsonReader.hpp"

namespace nuv {

// Supply readings count as changed only beyond these; the module's own measurement wanders by
// a few hundredths between readings.
inline constexpr double kVoltageTolerance = 0.5;   // V
inline constexpr double kCurrentTolerance = 0.05;  // A

// One thing that differs between two visits.
struct ReportDifference {
    // "sensor_replaced", "sensor_missing", "sensor_added", "sensor_moved", "ftdi_serial",
    // "address", "interval", "firmware", "reset_counter", "supply", "memory", "not_compared"
    std::string kind;
    std::string text;     // for people
    std::string members;  // its JSON members after "kind" (",\"channel\":3,..."), for machines
};

// What changed since the last visit.
struct ReportComparison {
    std::string previousPath;  // the earlier report's file
    std::string previousDate;
    // Not empty: the earlier report is of another module, and this says so; nothing compared.
    std::string refused;
    std::vector<ReportDifference> differences;
    // Whether anything differs, or could not be compared (which is no "unchanged" either).
    bool Changed() const { return !refused.empty() || !differences.empty(); }
};

// The memory dumps beside both reports, when there and matching their reports' SHA-256.
struct ComparedDumps {
    std::optional<std::vector<std::uint8_t>> before;
    std::optional<std::vector<std::uint8_t>> after;
    std::string missing;  // why they could not be compared, when one is not there
};

// Why two reports are of different modules (another FTDI serial and another address), or empty
// when they may be of the same one (either is unknown in a report, or one of them agrees).
std::string OtherModule(const ReadReport& before, const ReadReport& after);

// Every difference between an earlier report and a later one of the same module: sensors
// replaced (another serial at a level), missing, added and moved (same serial at another level
// or channel); the FTDI serial, address, interval and firmware; each reset counter that grew or
// was cleared; supply readings beyond the tolerances; the memory's differing byte ranges. A
// part that either report lacks (a failed step) is named as not compared.
std::vector<ReportDifference> CompareReports(const ReadReport& before, const ReadReport& after,
                                             const ComparedDumps& dumps);

// Where two memory images differ: the ranges, "0x0004, 0x0100-0x0107" (at most `most` named,
// then "and N more"), and the number of bytes; bytes that only one image has count as
// differing.
struct MemoryDifference {
    std::string ranges;
    std::size_t bytes = 0;
};
MemoryDifference DifferingRanges(std::span<const std::uint8_t> before,
                                 std::span<const std::uint8_t> after, std::size_t most = 12);

// The memory dump that `reportPath` keeps beside itself, when there and matching the report's
// SHA-256; else none with the reason.
std::optional<std::vector<std::uint8_t>> DumpBeside(const std::string& reportPath,
                                                    const ReadReport& report, std::string& why);

// The earlier visit as `report --previous` and the window take it: the report and its dump,
// read before the module is asked anything (so that a new dump of the same name cannot take
// the old one's place).
struct PreviousVisit {
    std::string path;
    ReadReport report;
    std::optional<std::vector<std::uint8_t>> dump;
    std::string dumpMissing;
};
std::optional<PreviousVisit> LoadPreviousVisit(const std::string& path, std::string& error);

// Compares the earlier visit with the report just collected (its JSON, and the memory image
// read, when read). Another module's report is refused unless `force`.
ReportComparison CompareWithPrevious(const PreviousVisit& previous, const std::string& nowJson,
                                     std::optional<std::span<const std::uint8_t>> nowMemory,
                                     bool force);

// The comparison for people: one line per difference under a heading line, then the count and
// the tolerances; and for machines, a JSON object.
std::string ComparisonText(const ReportComparison& comparison);
// Its last line: the number of differences, and the tolerances.
std::string ComparisonSummary(const ReportComparison& comparison);
std::string ComparisonJson(const ReportComparison& comparison);

}  // namespace nuv
