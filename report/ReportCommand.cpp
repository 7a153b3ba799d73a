// "Service report…" in the window.
#include "core/AtomicFile.hpp"
#include "measure/Temperatures.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "report/ServiceReport.hpp"
#include "report/VisitRecord.hpp"

namespace nuv {
namespace {

constexpr Rgb kDone = colour::LogDefault;

void NotWritten(Tool& tool, const std::string& why) {
    tool.panel.ServiceStatus.SetCaption("Service report not written");
    tool.log.SetColour(colour::LinkError);
    tool.log.AppendLine("Service report: " + why);
}

}  // namespace

void ServiceReportClick(Tool& tool) {
    SaveFileRequest request;
    request.filters = {{"Text report (*.txt)", "*.txt"}, {"JSON report (*.json)", "*.json"}};
    if (tool.reportPdf) request.filters.push_back({"PDF document (*.pdf)", "*.pdf"});
    request.defaultExtension = "txt";
    request.folder = tool.saveFolder;
    if (const auto asked = tool.dialogs.AskServiceReport(request)) WriteServiceReport(tool, *asked);
}

void WriteServiceReport(Tool& tool, const ServiceReportRequest& request) {
    MainPanel& p = tool.panel;
    const ReportKind kind = ReportKindOf(request.path);
    if (kind == ReportKind::Pdf && !tool.reportPdf) {
        return NotWritten(tool, "this program draws no PDF; choose a .txt or .json name");
    }
    // A path that cannot take the report or its dump is said before the module is asked.
    ReportOptions options;
    OutputFile output;
    if (const auto failure = PrepareReportPaths(request.path, output, options.dumpPath)) {
        return NotWritten(tool, *failure);
    }
    // The earlier report and its dump are read before anything is asked of the module, and
    // before a dump of the same name can take the old one's place.
    std::optional<PreviousVisit> previous;
    if (!request.previous.empty()) {
        std::string error;
        previous = LoadPreviousVisit(request.previous, error);
        if (!previous) return NotWritten(tool, "the previous report: " + error);
    }
    DisableAllControls(p);
    p.ProgressBar1.SetPosition(0);
    options.toolVersion = kToolVersion;
    options.buildVersion = tool.buildVersion;
    options.address = ModuleAddress(p) != 0 ? ModuleAddress(p) : 2;
    ServiceReport report =
        CollectServiceReport(tool, options, [&](int step, int steps, const std::string& title) {
            p.ServiceStatus.SetCaption("Service report: " + title + " (" +
                                       std::to_string(step + 1) + " of " + std::to_string(steps) +
                                       ")…");
            p.ProgressBar1.SetPosition(step * 100 / steps);
            tool.pump.ProcessEvents();
        });
    CompleteVisitRecord(tool, report, request.remarks, previous ? &*previous : nullptr, false);
    p.ProgressBar1.SetPosition(100);
    if (const auto failure = WriteReport(tool, output, kind, report)) {
        NotWritten(tool, "cannot write " + request.path + ": " + *failure);
    } else {
        const std::size_t failed = report.Failed();
        p.ServiceStatus.SetCaption("Service report saved: " + std::to_string(report.steps.size()) +
                                   " steps, " + std::to_string(failed) + " failed");
        tool.log.SetColour(failed == 0 ? kDone : colour::Hint);
        tool.log.AppendLine("Service report written to " + request.path + " (" +
                            std::to_string(failed) + " of " + std::to_string(report.steps.size()) +
                            " steps failed)");
        if (report.comparison) {
            const ReportComparison& comparison = *report.comparison;
            tool.log.SetColour(comparison.refused.empty() ? kDone : colour::Hint);
            tool.log.AppendLine(!comparison.refused.empty()
                                    ? "Not compared with " + comparison.previousPath + ": " +
                                          comparison.refused
                                    : "Compared with " + comparison.previousPath + ": " +
                                          (comparison.differences.empty()
                                               ? std::string("nothing changed")
                                               : std::to_string(comparison.differences.size()) +
                                                     " difference(s), listed first in the report"));
        }
    }
    ShowNormalModeControls(p);
}

}  // namespace nuv
