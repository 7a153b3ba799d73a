// nuvctl compare: what changed between two visits, from their JSON reports.
#include <string>
#include <vector>

#include "report/ReportCompare.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli::detail {
namespace {

// As diff: 0 when nothing changed, 1 when something did, 2 when an input cannot be read.
constexpr int kSame = 0;
constexpr int kChanged = 1;
constexpr int kTrouble = 2;

}  // namespace

int Compare(const std::vector<std::string>& args, Environment& env) {
    std::vector<std::string> files;
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        (!arg.empty() && arg[0] != '-' ? files : rest).push_back(arg);
    }
    const CommandOptions opts("compare", rest, {"--json", "--force"}, {});
    if (files.size() != 2) throw UsageError("compare needs two reports: OLD NEW");
    std::string error;
    const auto before = ReadReportFile(files[0], error);
    if (!before) {
        env.err << "nuvctl: " << error << '\n';
        return kTrouble;
    }
    const auto after = ReadReportFile(files[1], error);
    if (!after) {
        env.err << "nuvctl: " << error << '\n';
        return kTrouble;
    }
    if (const std::string other = OtherModule(*before, *after);
        !other.empty() && !opts.Has("--force")) {
        env.err << "nuvctl: not compared: " << other << "; --force compares them anyway\n";
        return kTrouble;
    }
    ComparedDumps dumps;
    std::string whyBefore;
    std::string whyAfter;
    dumps.before = DumpBeside(files[0], *before, whyBefore);
    dumps.after = DumpBeside(files[1], *after, whyAfter);
    dumps.missing = !dumps.before ? whyBefore : whyAfter;

    ReportComparison comparison;
    comparison.previousPath = files[0];
    comparison.previousDate = before->date;
    comparison.differences = CompareReports(*before, *after, dumps);
    env.out << (opts.Has("--json") ? ComparisonJson(comparison) + "\n"
                                   : ComparisonText(comparison));
    if (std::string reason; !OutputWritten(env.out, reason)) {
        env.err << "nuvctl: cannot write to standard output: " << reason << '\n';
        return kTrouble;
    }
    return comparison.Changed() ? kChanged : kSame;
}

}  // namespace nuv::cli::detail
