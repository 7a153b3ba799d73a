// nuvctl's commands beyond the window's own: the bus scan and the service report.
#include <algorithm>
#include <string>

#include "core/AtomicFile.hpp"
#include "core/MessageTable.hpp"
#include "core/NumberFormat.hpp"
#include "measure/BusScan.hpp"
#include "report/ReportPdf.hpp"
#include "report/ServiceReport.hpp"
#include "report/VisitRecord.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli::detail {

int Program::Scan() {
    const CommandOptions opts("scan", options_.rest, {"--json"}, {"--from", "--to", "--limit"});
    const long from = opts.Has("--from") ? NumberIn("--from", opts.Value("--from"), 1, 247) : 1;
    const long to = opts.Has("--to") ? NumberIn("--to", opts.Value("--to"), 1, 247) : 247;
    const long limit =
        opts.Has("--limit") ? NumberIn("--limit", opts.Value("--limit"), 10, 2500) : kScanLimitMs;
    if (from > to) throw UsageError("--from must not be above --to");
    const bool progress = env_.errIsTerminal;
    const ScanResult scan = ScanBus(
        tool_, static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to),
        static_cast<std::uint16_t>(limit), [&](std::uint8_t address) {
            if (progress) {
                env_.err << "\rscanning address " << int{address} << " (" << address - from + 1
                         << " of " << to - from + 1 << ")" << std::flush;
            }
            return !env_.interrupted();
        });
    if (progress) env_.err << "\r\033[K" << std::flush;
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (scan.code != result::Ok) {
        env_.err << "nuvctl: " << Explain(scan.code) << " (result " << scan.code << ")\n";
        return kExitFailure;
    }
    const std::string seconds = FixedDecimals(static_cast<double>(scan.elapsedMs) / 1000.0, 1);
    if (opts.Has("--json")) {
        env_.out << "{\"from\":" << from << ",\"to\":" << to << ",\"asked\":" << scan.asked
                 << ",\"seconds\":" << seconds << ",\"modules\":[";
        for (std::size_t i = 0; i < scan.hits.size(); ++i) {
            const ScanHit& hit = scan.hits[i];
            env_.out << (i != 0 ? "," : "") << "{\"address\":" << int{hit.address}
                     << ",\"exception\":"
                     << (hit.exception ? std::to_string(*hit.exception) : "null")
                     << ",\"answered_as\":"
                     << (hit.answeredAs ? std::to_string(*hit.answeredAs) : "null")
                     << ",\"damaged\":" << (hit.damaged ? "true" : "false") << '}';
        }
        env_.out << "]}\n";
    } else {
        for (const ScanHit& hit : scan.hits) {
            env_.out << "address " << int{hit.address} << '\t' << hit.Describe() << '\n';
        }
        env_.out << scan.hits.size() << " of " << scan.asked << " addresses answered in " << seconds
                 << " s\n";
    }
    if (env_.interrupted()) {
        env_.err << "nuvctl: interrupted after " << scan.asked << " of " << (to - from + 1)
                 << " addresses\n";
        return kExitFailure;
    }
    if (scan.hits.empty()) {
        env_.err << "nuvctl: no module answered at " << from << ".." << to;
        // A module in program mode answers no address.
        if (!env_.interrupted() && InProgramMode()) {
            env_.err << ": " << kInProgramMode;
        }
        env_.err << '\n';
        return kExitFailure;
    }
    return kExitDone;
}

int Program::Report() {
    std::string file;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < options_.rest.size(); ++i) {
        const std::string& arg = options_.rest[i];
        if (arg == "--pdf" || arg == "--remarks" || arg == "--previous") {
            // Their values may look like anything, a leading dash included.
            rest.push_back(arg);
            if (i + 1 < options_.rest.size()) rest.push_back(options_.rest[++i]);
        } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
            file = arg;
        } else {
            rest.push_back(arg);
        }
    }
    const CommandOptions opts("report", rest, {"--json", "--force"},
                              {"--pdf", "--remarks", "--previous"});
    const std::string pdf = opts.Has("--pdf") ? opts.Value("--pdf") : "";
    if (opts.Has("--pdf") && pdf.empty()) throw UsageError("--pdf needs the name of a file");
    // The earlier report and its dump are read before the module is asked anything.
    std::optional<PreviousVisit> previous;
    if (opts.Has("--previous")) {
        std::string error;
        previous = LoadPreviousVisit(opts.Value("--previous"), error);
        if (!previous) {
            env_.err << "nuvctl: the previous report: " << error << '\n';
            return kExitUsage;
        }
    }
    ReportOptions options;
    options.toolVersion = kToolVersion;
    options.buildVersion = NUV_VERSION;
    options.address = Address();
    // Without a file the report goes to standard output and the dump is not kept; with a PDF
    // alone the dump goes beside the PDF. A path that cannot take the report, its PDF or its
    // dump is said now, not after the module was asked for all.
    OutputFile output;
    OutputFile pdfOutput;
    if (!file.empty()) {
        if (const auto failure = PrepareReportPaths(file, output, options.dumpPath)) {
            env_.err << "nuvctl: " << *failure << '\n';
            return kExitFailure;
        }
    }
    if (!pdf.empty()) {
        std::string pdfDump;
        if (const auto failure = PrepareReportPaths(pdf, pdfOutput, pdfDump)) {
            env_.err << "nuvctl: " << *failure << '\n';
            return kExitFailure;
        }
        if (file.empty()) options.dumpPath = pdfDump;
    }
    const bool progress = env_.errIsTerminal;
    ServiceReport report =
        CollectServiceReport(tool_, options, [&](int step, int steps, const std::string& title) {
            if (progress) {
                env_.err << "\r\033[K[" << step + 1 << '/' << steps << "] " << title << "…"
                         << std::flush;
            }
        });
    if (progress) env_.err << "\r\033[K" << std::flush;
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (report.stopped) {
        // Program mode has been left (or its step says why not); no report is written half.
        std::string kept;
        for (const ReportStep& step : report.steps) {
            if (step.key == "normal_mode" && !step.ok) {
                env_.err << "nuvctl: " << step.title << ": " << step.failure << '\n';
            }
            const auto entered =
                std::find_if(step.fields.begin(), step.fields.end(), [](const ReportField& field) {
                    return field.key == "program_mode_entered" && field.json == "true";
                });
            if (step.key == "normal_mode" && step.ok && entered != step.fields.end()) {
                env_.err << "nuvctl: the module is back in normal mode\n";
            }
            // A dump made before the stop is whole: it stays, and is named.
            if (step.key == "memory" && step.ok && !options.dumpPath.empty()) {
                kept = "; the memory dump " + options.dumpPath + " is whole and was kept";
            }
        }
        const std::string& named = file.empty() ? pdf : file;
        env_.err << "nuvctl: interrupted; "
                 << (named.empty() ? std::string("no report was printed")
                                   : "the report was not written to " + named)
                 << kept << '\n';
        return kExitFailure;
    }
    CompleteVisitRecord(tool_, report, opts.Has("--remarks") ? opts.Value("--remarks") : "",
                        previous ? &*previous : nullptr, opts.Has("--force"));
    const ReportKind kind = opts.Has("--json") ? ReportKind::Json : ReportKind::Text;
    bool written = true;
    if (file.empty() && pdf.empty()) {
        env_.out << (kind == ReportKind::Json ? ReportJson(report) : ReportText(report));
    }
    auto write = [&](const std::string& path, OutputFile& out, ReportKind format) {
        std::optional<std::string> failure;
        if (format == ReportKind::Pdf) {
            std::string error;
            const auto bytes = RenderReportPdf(report, error);
            failure = bytes ? out.Write(*bytes) : std::optional<std::string>(error);
        } else {
            failure = WriteReport(tool_, out, format, report);
        }
        if (failure) {
            env_.err << "nuvctl: cannot write " << path << ": " << *failure << '\n';
            written = false;
        } else {
            // Not into the report itself when that went to standard output.
            (IsStandardOutput(path) ? env_.err : env_.out) << "report written to " << path << '\n';
        }
    };
    if (!file.empty()) write(file, output, kind);
    if (!pdf.empty()) write(pdf, pdfOutput, ReportKind::Pdf);
    int status = written ? kExitDone : kExitFailure;
    if (report.comparison && !report.comparison->refused.empty()) {
        env_.err << "nuvctl: not compared with " << report.comparison->previousPath << ": "
                 << report.comparison->refused << "; --force compares them anyway\n";
        status = kExitFailure;
    }
    if (const std::size_t failed = report.Failed(); failed != 0) {
        for (const ReportStep& step : report.steps) {
            if (!step.ok) env_.err << "nuvctl: " << step.title << ": " << step.failure << '\n';
        }
        env_.err << "nuvctl: " << failed << " of " << report.steps.size()
                 << " steps failed; the report says so in their place\n";
        return kExitFailure;
    }
    return status;
}

}  // namespace nuv::cli::detail
