#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report/ReportCompare.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {

class OutputFile;
class Tool;

// The kind of a report file by its name's ending: ".json" JSON, ".pdf" PDF (in either case),
// anything else text.
enum class ReportKind { Text, Json, Pdf };
ReportKind ReportKindOf(const std::string& path);

// The module's memory as the report's memory step read it, when it read it whole.
std::optional<std::span<const std::uint8_t>> CollectedMemory(const Tool& tool,
                                                             const ServiceReport& report);

// Each channel's last APC run of the session as a figure, channel 0 first; empty when none ran.
std::vector<ApcFigure> ApcFigures(const Tool& tool);

// Makes a collected report the record of a visit: the comparison with the earlier visit when
// one is given (another module's report only with `force`), the remarks, the session's APC
// runs.
void CompleteVisitRecord(const Tool& tool, ServiceReport& report, const std::string& remarks,
                         const PreviousVisit* previous, bool force);

// Writes a report of a kind into its prepared output, whole or not at all: text and JSON here,
// PDF drawn through the tool's binding. None, or why it was not written.
std::optional<std::string> WriteReport(const Tool& tool, OutputFile& output, ReportKind kind,
                                       const ServiceReport& report);

}  // namespace nuv
