#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/AtomicFile.hpp"
#include "core/Trend.hpp"
#include "report/ReportCompare.hpp"

namespace nuv {

class Tool;
struct ServiceReportRequest;

// One value of a report step: its label and text for people, its key and JSON value for
// machines.
struct ReportField {
    std::string key;
    std::string label;
    std::string text;
    std::string json;
};

// One step of the service report, in its place whether it worked or not.
struct ReportStep {
    std::string key;    // "device", "firmware", ... (the JSON member)
    std::string title;  // "Device", "Firmware", ...
    bool ok = true;
    std::string failure;     // why it failed, when it did: what happened and what to do
    std::uint16_t code = 0;  // the result code of the failure, when an exchange failed
    std::vector<ReportField> fields;
};

// The heating and cooling curves of a channel's last APC run in this window session: one
// curve per sensor, by serial.
struct ApcFigure {
    std::uint8_t channel = 0;
    struct Curve {
        std::string serial;
        std::vector<TrendPoint> points;  // gaps (not a number) where a value was an error
    };
    std::vector<Curve> curves;
};

struct ServiceReport {
    std::vector<ReportStep> steps;
    // A stop was requested (Ctrl-C on the command line): the steps after it were not made,
    // only program mode was left. Such a report is not to be written as if it were whole.
    bool stopped = false;
    std::size_t Failed() const;
    // What changed since the last visit, when an earlier report was given: its first section.
    std::optional<ReportComparison> comparison;
    // The technician's remarks, free text.
    std::string remarks;
    // The APC runs of the window session, for the PDF.
    std::vector<ApcFigure> apcRuns;
};

struct ReportOptions {
    std::string toolVersion;   // the window's version ("5.5")
    std::string buildVersion;  // the program's own version
    // The module's address for the normal-mode steps when program mode does not name it.
    std::uint8_t address = 2;
    // Where the memory dump goes, whole or not at all; empty: not saved (its SHA-256 is in the
    // report all the same).
    std::string dumpPath;
};

// Told before each step: its number (0-based), the number of steps and the step's title.
using ReportProgress = std::function<void(int step, int steps, const std::string& title)>;

// Collects what a technician sends back from a site visit, step by step: the date and versions,
// the device, the firmware with address and interval (program mode), the serials of every
// channel, the memory's SHA-256 (the dump saved beside the report), then in normal mode one
// reading, the supply, the outputs and the reset counters. A step that fails is reported in its
// place and the rest goes on; program mode is left again whatever happens.
ServiceReport CollectServiceReport(Tool& tool, const ReportOptions& options,
                                   const ReportProgress& progress = {});

// The report as plain text for people, and as JSON for machines.
std::string ReportText(const ServiceReport& report);
std::string ReportJson(const ServiceReport& report);

// Where the memory dump of a report file goes: "visit.txt" -> "visit-memory.dat"; empty for a
// path that names a folder ("dir/", ".").
std::string DumpPathFor(const std::string& reportPath);

// Makes `report` ready for the report at `reportPath` before any work (core/AtomicFile.hpp: a
// FIFO is opened now), checks that the dump can be written beside it, and sets `dumpPath` (empty
// when the report goes into a stream such as a FIFO, a terminal or standard output, where no
// dump is kept). None, else the failure in words, naming the path.
std::optional<std::string> PrepareReportPaths(const std::string& reportPath, OutputFile& report,
                                              std::string& dumpPath);

// "Service report…": asks for the file (".json" gives JSON, ".pdf" PDF where the window can
// draw it, anything else text), the remarks and the earlier report, then writes the report.
void ServiceReportClick(Tool& tool);
// Collects with the progress bar and a status line, compares with the earlier report when one
// is named (read first: one that cannot be read stops it all), and writes the report
// atomically, the dump beside it.
void WriteServiceReport(Tool& tool, const ServiceReportRequest& request);

}  // namespace nuv
