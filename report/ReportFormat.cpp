#include "report/ReportFormat.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>

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

std::string ReportText(const ServiceReport& report) {
    std::string text = "NUV module service report\n";
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
    const std::size_t failed = report.Failed();
    text += "\n" + std::to_string(report.steps.size()) + " steps, " +
            (failed == 0 ? std::string("all done") : std::to_string(failed) + " failed") + "\n";
    return text;
}

std::string ReportJson(const ServiceReport& report) {
    std::string json =
        "{\"format\":\"nuv-service-report/1\",\"failed_steps\":" + std::to_string(report.Failed());
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
    return json + "}\n";
}

std::string DumpPathFor(const std::string& reportPath) {
    std::filesystem::path path(reportPath);
    const std::string stem = path.stem().string();
    path.replace_filename(stem + "-memory.dat");
    return path.string();
}

}  // namespace nuv
