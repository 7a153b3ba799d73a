#include "report/ReportFormat.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/AtomicFile.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    json += escaped;
                } else {
                    json += c;
                }
        }
    }
    return json + "\"";
}

std::size_t ServiceReport::Failed() const {
    std::size_t failed = 0;
    for (const ReportStep& step : steps) failed += step.ok ? 0 : 1;
    return failed;
}

namespace {

// A heading underlined for the plain text.
std::string Heading(const std::string& title) {
    std::size_t width = 0;  // in characters, not bytes
    for (const char c : title) width += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
    return "\n" + title + "\n" + std::string(width, '-') + "\n";
}

// Lines indented by two blanks.
std::string Indented(const std::string& lines) {
    std::string text;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        text += "  " + lines.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return text;
}

}  // namespace

std::string ReportText(const ServiceReport& report) {
    std::string text = "NUV module service report\n";
    if (report.comparison) {
        text +=
            Heading("Changes since the last visit") + Indented(ComparisonText(*report.comparison));
    }
    for (const ReportStep& step : report.steps) {
        text += "\n" + step.title + "\n" + std::string(step.title.size(), '-') + "\n";
        if (!step.ok) text += "  FAILED: " + step.failure + "\n";
        std::size_t width = 0;
        for (const ReportField& field : step.fields) width = std::max(width, field.label.size());
        for (const ReportField& field : step.fields) {
            if (field.label.empty()) continue;  // a value for machines only
            text += "  " + field.label + ":" + std::string(width - field.label.size() + 1, ' ');
            // Values of several lines keep the column.
            std::string value = field.text;
            for (std::size_t at = 0; (at = value.find('\n', at)) != std::string::npos;) {
                value.insert(at + 1, std::string(width + 4, ' '));
                at += width + 5;
            }
            text += value + "\n";
        }
    }
    if (!report.remarks.empty()) text += Heading("Remarks") + Indented(report.remarks);
    const std::size_t failed = report.Failed();
    text += "\n" + std::to_string(report.steps.size()) + " steps, " +
            (failed == 0 ? std::string("all done") : std::to_string(failed) + " failed") + "\n";
    return text;
}

std::string ReportJson(const ServiceReport& report) {
    std::string json = "{\"format\":" + std::to_string(kReportFormat);
    if (report.comparison) json += ",\"comparison\":" + ComparisonJson(*report.comparison);
    json += ",\"failed_steps\":" + std::to_string(report.Failed());
    for (const ReportStep& step : report.steps) {
        json += "," + JsonString(step.key) + ":{\"ok\":" + (step.ok ? "true" : "false") +
                ",\"error\":" + (step.ok ? "null" : JsonString(step.failure));
        // The result code beside the sentence, for machines, where an exchange failed.
        if (!step.ok && step.code != 0) json += ",\"error_code\":" + std::to_string(step.code);
        for (const ReportField& field : step.fields) {
            if (field.key.empty()) continue;  // a line for people only
            json += "," + JsonString(field.key) + ":" + field.json;
        }
        json += "}";
    }
    return json + ",\"remarks\":" + JsonString(report.remarks) + "}\n";
}

std::string DumpPathFor(const std::string& reportPath) {
    std::filesystem::path path(reportPath);
    const std::string name = path.filename().string();
    // "dir/", "." and ".." name folders: there is no file name to build on.
    if (name.empty() || name == "." || name == "..") return {};
    path.replace_filename(path.stem().string() + "-memory.dat");
    return path.string();
}

std::optional<std::string> PrepareReportPaths(const std::string& reportPath, OutputFile& report,
                                              std::string& dumpPath) {
    dumpPath.clear();
    if (const auto failure = report.Prepare(reportPath)) {
        return "cannot write " + reportPath + ": " + *failure;
    }
    // A report that goes into a stream (a FIFO, a terminal, standard output) has no folder of
    // its own to keep the dump beside it: the dump is not kept, as for a report on standard
    // output.
    if (report.IsStream()) return std::nullopt;
    std::string dump = DumpPathFor(reportPath);
    if (dump.empty()) return "cannot write " + reportPath + ": it names no file";
    if (const auto failure = CheckOutputPath(dump)) {
        return "cannot write the memory dump " + dump + ": " + *failure;
    }
    dumpPath = std::move(dump);
    return std::nullopt;
}

}  // namespace nuv
