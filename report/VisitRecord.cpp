#include "report/VisitRecord.hpp"

#include <algorithm>
#include <cctype>

#include "core/AtomicFile.hpp"
#include "model/Tool.hpp"

namespace nuv {
namespace {

bool EndsWithFolded(const std::string& text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

ReportKind ReportKindOf(const std::string& path) {
    if (EndsWithFolded(path, ".json")) return ReportKind::Json;
    if (EndsWithFolded(path, ".pdf")) return ReportKind::Pdf;
    return ReportKind::Text;
}

std::optional<std::span<const std::uint8_t>> CollectedMemory(const Tool& tool,
                                                             const ServiceReport& report) {
    const auto step = std::find_if(report.steps.begin(), report.steps.end(),
                                   [](const ReportStep& s) { return s.key == "memory"; });
    if (step == report.steps.end() || !step->ok) return std::nullopt;
    const ModuleMemoryImage& image = tool.config.memoryImage;
    return std::span<const std::uint8_t>(image.bytes).first(image.valid);
}

std::vector<ApcFigure> ApcFigures(const Tool& tool) {
    std::vector<ApcFigure> figures;
    for (const auto& [channel, trend] : tool.sensors.apcRuns.byChannel) {
        if (trend.FrameCount() == 0) continue;
        ApcFigure& figure = figures.emplace_back();
        figure.channel = channel;
        for (const std::string& serial : trend.SeriesNames()) {
            figure.curves.push_back({serial, trend.Points(serial)});
        }
    }
    return figures;
}

void CompleteVisitRecord(const Tool& tool, ServiceReport& report, const std::string& remarks,
                         const PreviousVisit* previous, bool force) {
    report.remarks = remarks;
    report.apcRuns = ApcFigures(tool);
    if (previous != nullptr) {
        report.comparison = CompareWithPrevious(*previous, ReportJson(report),
                                                CollectedMemory(tool, report), force);
    }
}

std::optional<std::string> WriteReport(const Tool& tool, OutputFile& output, ReportKind kind,
                                       const ServiceReport& report) {
    if (kind == ReportKind::Pdf) {
        if (!tool.reportPdf) return "this program draws no PDF";
        std::string error;
        const auto pdf = tool.reportPdf(report, error);
        if (!pdf) return error;
        return output.Write(*pdf);
    }
    const std::string text = kind == ReportKind::Json ? ReportJson(report) : ReportText(report);
    return output.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace nuv
