// "Service report…" in the window.
#include "app/AtomicFile.hpp"
#include "app/ControlGroups.hpp"
#include "app/Tool.hpp"
#include "measure/Temperatures.hpp"
#include "protocol/ModbusTransaction.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {
namespace {

constexpr Rgb kDone = colour::LogDefault;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void ServiceReportClick(Tool& tool) {
    SaveFileRequest request;
    request.filters = {{"Text report (*.txt)", "*.txt"}, {"JSON report (*.json)", "*.json"}};
    request.defaultExtension = "txt";
    request.folder = tool.saveFolder;
    const auto path = tool.dialogs.ChooseSaveFile(request);
    if (!path) return;

    MainPanel& p = tool.panel;
    ReportOptions options;
    // A path that cannot take the report or its dump is said before the module is asked.
    OutputFile output;
    if (const auto failure = PrepareReportPaths(*path, output, options.dumpPath)) {
        p.ServiceStatus.SetCaption("Service report not written");
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Service report: " + *failure);
        return;
    }
    DisableAllControls(p);
    p.ProgressBar1.SetPosition(0);
    options.toolVersion = kToolVersion;
    options.buildVersion = tool.buildVersion;
    options.address = ModuleAddress(p) != 0 ? ModuleAddress(p) : 2;
    const ServiceReport report =
        CollectServiceReport(tool, options, [&](int step, int steps, const std::string& title) {
            p.ServiceStatus.SetCaption("Service report: " + title + " (" +
                                       std::to_string(step + 1) + " of " + std::to_string(steps) +
                                       ")…");
            p.ProgressBar1.SetPosition(step * 100 / steps);
            tool.pump.ProcessEvents();
        });
    p.ProgressBar1.SetPosition(100);
    const std::string text = EndsWith(*path, ".json") ? ReportJson(report) : ReportText(report);
    const auto failure =
        output.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (failure) {
        p.ServiceStatus.SetCaption("Service report not written");
        tool.log.SetColour(colour::LinkError);
        tool.log.AppendLine("Service report: cannot write " + *path + ": " + *failure);
    } else {
        const std::size_t failed = report.Failed();
        p.ServiceStatus.SetCaption("Service report saved: " + std::to_string(report.steps.size()) +
                                   " steps, " + std::to_string(failed) + " failed");
        tool.log.SetColour(failed == 0 ? kDone : colour::Hint);
        tool.log.AppendLine("Service report written to " + *path + " (" + std::to_string(failed) +
                            " of " + std::to_string(report.steps.size()) + " steps failed)");
    }
    ShowNormalModeControls(p);
}

}  // namespace nuv
