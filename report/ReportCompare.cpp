#include "report/ReportCompare.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "core/NumberFormat.hpp"
#include "firmware/Sha256.hpp"
#include "measure/ReadingRow.hpp"
#include "report/ReportFormat.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {
namespace {

constexpr std::size_t kMaxDumpBytes = 1 << 20;
constexpr const char* kArrow = " → ";

std::string Hex4(std::size_t at) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04zX", at);
    return text;
}

std::string Place(std::size_t channel, std::size_t level) {
    return "channel " + std::to_string(channel) + ", level " + std::to_string(level + 1);
}

std::string PlaceJson(std::size_t channel, std::size_t level) {
    return "{\"channel\":" + std::to_string(channel) + ",\"level\":" + std::to_string(level + 1) +
           "}";
}

// The differences of one comparison, kept in the order they are found, and the parts that a
// report lacks.
class Differences {
  public:
    void Add(std::string kind, std::string text, std::string members) {
        list_.push_back({std::move(kind), std::move(text), std::move(members)});
    }
    void Lacks(bool before, bool after, const std::string& part) {
        if (before && after) {
            inBoth_.push_back(part);
        } else if (before) {
            inBefore_.push_back(part);
        } else if (after) {
            inAfter_.push_back(part);
        }
    }
    std::vector<ReportDifference> Take() {
        Note(inBoth_, "either report");
        Note(inBefore_, "the earlier report");
        Note(inAfter_, "the new report");
        return std::move(list_);
    }

  private:
    void Note(const std::vector<std::string>& parts, const std::string& where) {
        if (parts.empty()) return;
        std::string names;
        std::string json;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            names += (i == 0 ? "" : ", ") + parts[i];
            json += (i == 0 ? "" : ",") + JsonString(parts[i]);
        }
        Add("not_compared", "Not compared, not in " + where + ": " + names,
            ",\"parts\":[" + json + "],\"missing_in\":" + JsonString(where));
    }
    std::vector<ReportDifference> list_;
    std::vector<std::string> inBoth_;
    std::vector<std::string> inBefore_;
    std::vector<std::string> inAfter_;
};

template <typename T>
void CompareValue(Differences& out, const std::optional<T>& before, const std::optional<T>& after,
                  const std::string& kind, const std::string& label, const std::string& unit) {
    std::string part = label;
    part[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(part[0])));
    out.Lacks(!before, !after, part);
    if (!before || !after || *before == *after) return;
    out.Add(kind,
            label + ": " + std::to_string(*before) + unit + kArrow + std::to_string(*after) + unit,
            ",\"old\":" + std::to_string(*before) + ",\"new\":" + std::to_string(*after));
}

void CompareIdentity(Differences& out, const ReadReport& before, const ReadReport& after) {
    // A port that is no FTDI cable has no serial: nothing to compare, not something unknown.
    out.Lacks(before.ftdiSerial.empty() && !before.StepOk("device"),
              after.ftdiSerial.empty() && !after.StepOk("device"), "FTDI serial");
    if (!before.ftdiSerial.empty() && !after.ftdiSerial.empty() &&
        before.ftdiSerial != after.ftdiSerial) {
        out.Add("ftdi_serial", "FTDI serial: " + before.ftdiSerial + kArrow + after.ftdiSerial,
                ",\"old\":" + JsonString(before.ftdiSerial) +
                    ",\"new\":" + JsonString(after.ftdiSerial));
    }
    CompareValue(out, before.address, after.address, "address", "Address", "");
    CompareValue(out, before.interval, after.interval, "interval", "Measurement interval", " s");
    out.Lacks(before.firmware.empty(), after.firmware.empty(), "firmware");
    if (!before.firmware.empty() && !after.firmware.empty() &&
        (before.firmware != after.firmware || before.standard != after.standard)) {
        std::string text = "Firmware: " + before.firmware + kArrow + after.firmware;
        if (before.standard != after.standard) {
            text += " (probe standard " + before.standard + kArrow + after.standard + ")";
        }
        out.Add("firmware", text,
                ",\"old\":" + JsonString(before.firmware) +
                    ",\"new\":" + JsonString(after.firmware) +
                    ",\"old_standard\":" + JsonString(before.standard) +
                    ",\"new_standard\":" + JsonString(after.standard));
    }
}

struct Position {
    std::size_t channel;
    std::size_t level;
};

// Every serial of the compared channels by its place; a serial that a module lists twice counts
// at its first place.
std::map<std::string, Position> Places(const ReadReport& report,
                                       const std::vector<std::size_t>& channels) {
    std::map<std::string, Position> places;
    for (const std::size_t c : channels) {
        const auto& serials = report.channels[c].serials;
        for (std::size_t level = 0; level < serials.size(); ++level) {
            places.try_emplace(serials[level], Position{c, level});
        }
    }
    return places;
}

void CompareSensors(Differences& out, const ReadReport& before, const ReadReport& after) {
    std::vector<std::size_t> compared;
    std::vector<std::size_t> lackBefore;
    std::vector<std::size_t> lackAfter;
    for (std::size_t c = 0; c < before.channels.size(); ++c) {
        const bool b = before.channels[c].searched;
        const bool a = after.channels[c].searched;
        if (b && a) compared.push_back(c);
        if (!b) lackBefore.push_back(c);
        if (!a) lackAfter.push_back(c);
    }
    auto part = [](const std::vector<std::size_t>& channels) {
        if (channels.size() == 10) return std::string("sensors");
        std::string text = channels.size() == 1 ? "sensors of channel " : "sensors of channels ";
        for (std::size_t i = 0; i < channels.size(); ++i) {
            text += (i == 0 ? "" : ", ") + std::to_string(channels[i]);
        }
        return text;
    };
    std::vector<std::size_t> both;
    std::set_intersection(lackBefore.begin(), lackBefore.end(), lackAfter.begin(), lackAfter.end(),
                          std::back_inserter(both));
    std::vector<std::size_t> onlyBefore;
    std::vector<std::size_t> onlyAfter;
    std::set_difference(lackBefore.begin(), lackBefore.end(), both.begin(), both.end(),
                        std::back_inserter(onlyBefore));
    std::set_difference(lackAfter.begin(), lackAfter.end(), both.begin(), both.end(),
                        std::back_inserter(onlyAfter));
    if (!both.empty()) out.Lacks(true, true, part(both));
    if (!onlyBefore.empty()) out.Lacks(true, false, part(onlyBefore));
    if (!onlyAfter.empty()) out.Lacks(false, true, part(onlyAfter));

    const auto wasAt = Places(before, compared);
    const auto isAt = Places(after, compared);
    // Sorted by the place they concern, replacements and losses by the old place, moves and
    // additions by the new one.
    std::vector<std::tuple<std::size_t, std::size_t, int, ReportDifference>> found;
    std::map<std::string, bool> replacing;  // new serials that took an old one's place
    for (const std::size_t c : compared) {
        const auto& old = before.channels[c].serials;
        const auto& now = after.channels[c].serials;
        for (std::size_t level = 0; level < old.size(); ++level) {
            const std::string& serial = old[level];
            if (isAt.count(serial) != 0 || wasAt.at(serial).level != level ||
                wasAt.at(serial).channel != c) {
                continue;
            }
            const std::string place = Place(c, level);
            if (level < now.size() && wasAt.count(now[level]) == 0 && !replacing[now[level]]) {
                replacing[now[level]] = true;
                found.emplace_back(
                    c, level, 0,
                    ReportDifference{
                        "sensor_replaced",
                        "Sensor replaced at " + place + ": " + serial + kArrow + now[level],
                        ",\"at\":" + PlaceJson(c, level) + ",\"old\":" + JsonString(serial) +
                            ",\"new\":" + JsonString(now[level])});
            } else {
                found.emplace_back(
                    c, level, 1,
                    ReportDifference{
                        "sensor_missing", "Sensor missing at " + place + ": " + serial,
                        ",\"at\":" + PlaceJson(c, level) + ",\"old\":" + JsonString(serial)});
            }
        }
        for (std::size_t level = 0; level < now.size(); ++level) {
            const std::string& serial = now[level];
            const Position here = isAt.at(serial);
            if (here.channel != c || here.level != level) continue;  // listed twice
            const auto was = wasAt.find(serial);
            if (was == wasAt.end()) {
                if (replacing[serial]) continue;
                found.emplace_back(
                    c, level, 2,
                    ReportDifference{
                        "sensor_added", "Sensor added at " + Place(c, level) + ": " + serial,
                        ",\"at\":" + PlaceJson(c, level) + ",\"new\":" + JsonString(serial)});
            } else if (was->second.channel != c || was->second.level != level) {
                const Position from = was->second;
                found.emplace_back(
                    c, level, 3,
                    ReportDifference{"sensor_moved",
                                     "Sensor moved: " + serial + " from " +
                                         Place(from.channel, from.level) + " to " + Place(c, level),
                                     ",\"serial\":" + JsonString(serial) +
                                         ",\"from\":" + PlaceJson(from.channel, from.level) +
                                         ",\"to\":" + PlaceJson(c, level)});
            }
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& x, const auto& y) {
        return std::tie(std::get<0>(x), std::get<1>(x), std::get<2>(x)) <
               std::tie(std::get<0>(y), std::get<1>(y), std::get<2>(y));
    });
    for (auto& [channel, level, order, difference] : found) {
        out.Add(std::move(difference.kind), std::move(difference.text),
                std::move(difference.members));
    }
}

void CompareCounters(Differences& out, const ReadReport& before, const ReadReport& after) {
    bool lackBefore = false;
    bool lackAfter = false;
    for (std::size_t j = 0; j < kResetCounterKeys.size(); ++j) {
        const auto& old = before.resetCounters[j];
        const auto& now = after.resetCounters[j];
        lackBefore |= !old;
        lackAfter |= !now;
        if (!old || !now || *old == *now) continue;
        const long long growth = *now - *old;
        out.Add("reset_counter",
                std::string("Reset counter ") + kResetCounterLabels[j] + ": " +
                    std::to_string(*old) + kArrow + std::to_string(*now) +
                    (growth > 0 ? " (+" + std::to_string(growth) + ")" : " (cleared since)"),
                std::string(",\"counter\":\"") + kResetCounterKeys[j] +
                    "\",\"old\":" + std::to_string(*old) + ",\"new\":" + std::to_string(*now) +
                    ",\"growth\":" + std::to_string(growth));
    }
    out.Lacks(lackBefore, lackAfter, "reset counters");
}

void CompareSupply(Differences& out, const ReadReport& before, const ReadReport& after) {
    static constexpr const char* kPairs[] = {"0/1", "2/3", "4/5", "6/7", "8/9"};
    const bool lackBefore = !before.systemVolts || !before.mainVolts;
    const bool lackAfter = !after.systemVolts || !after.mainVolts;
    out.Lacks(lackBefore, lackAfter, "supply");
    if (lackBefore || lackAfter) return;
    auto check = [&](const std::string& key, const std::string& label, double old, double now,
                     double tolerance, int decimals, const std::string& unit) {
        if (!(std::fabs(now - old) > tolerance)) return;
        out.Add("supply",
                label + ": " + FixedDecimals(old, decimals) + " " + unit + kArrow +
                    FixedDecimals(now, decimals) + " " + unit,
                ",\"reading\":" + JsonString(key) + ",\"old\":" + ShortestDecimal(old) +
                    ",\"new\":" + ShortestDecimal(now));
    };
    check("system_v", "System supply", *before.systemVolts, *after.systemVolts, kVoltageTolerance,
          2, "V");
    check("main_v", "Main supply", *before.mainVolts, *after.mainVolts, kVoltageTolerance, 2, "V");
    const std::size_t pairs =
        std::min({before.currents.size(), after.currents.size(), std::size(kPairs)});
    for (std::size_t i = 0; i < pairs; ++i) {
        check("current_" + std::string(kPairs[i]), std::string("Current of channels ") + kPairs[i],
              before.currents[i], after.currents[i], kCurrentTolerance, 3, "A");
    }
}

void CompareMemory(Differences& out, const ReadReport& before, const ReadReport& after,
                   const ComparedDumps& dumps) {
    out.Lacks(before.sha256.empty(), after.sha256.empty(), "memory");
    if (before.sha256.empty() || after.sha256.empty() || before.sha256 == after.sha256) return;
    if (dumps.before && dumps.after) {
        const MemoryDifference differing = DifferingRanges(*dumps.before, *dumps.after);
        out.Add("memory",
                "Memory: " + std::to_string(differing.bytes) +
                    (differing.bytes == 1 ? " byte differs at " : " bytes differ at ") +
                    differing.ranges,
                ",\"bytes\":" + std::to_string(differing.bytes) +
                    ",\"ranges\":" + JsonString(differing.ranges));
    } else {
        out.Add("memory", "Memory: changed (its SHA-256 differs); " + dumps.missing,
                ",\"old_sha256\":" + JsonString(before.sha256) +
                    ",\"new_sha256\":" + JsonString(after.sha256));
    }
}

}  // namespace

std::string OtherModule(const ReadReport& before, const ReadReport& after) {
    const bool serialDiffers = !before.ftdiSerial.empty() && !after.ftdiSerial.empty() &&
                               before.ftdiSerial != after.ftdiSerial;
    const auto addressOf = [](const ReadReport& report) {
        return report.address ? report.address : report.readingAddress;
    };
    const auto oldAddress = addressOf(before);
    const auto newAddress = addressOf(after);
    if (!serialDiffers || !oldAddress || !newAddress || *oldAddress == *newAddress) return "";
    return "the reports are of different modules (FTDI serial " + before.ftdiSerial +
           " at address " + std::to_string(*oldAddress) + ", then " + after.ftdiSerial +
           " at address " + std::to_string(*newAddress) + ")";
}

std::vector<ReportDifference> CompareReports(const ReadReport& before, const ReadReport& after,
                                             const ComparedDumps& dumps) {
    Differences out;
    CompareIdentity(out, before, after);
    CompareSensors(out, before, after);
    CompareCounters(out, before, after);
    CompareSupply(out, before, after);
    CompareMemory(out, before, after, dumps);
    return out.Take();
}

MemoryDifference DifferingRanges(std::span<const std::uint8_t> before,
                                 std::span<const std::uint8_t> after, std::size_t most) {
    MemoryDifference result;
    const std::size_t common = std::min(before.size(), after.size());
    const std::size_t longest = std::max(before.size(), after.size());
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t at = 0; at < longest; ++at) {
        if (at < common && before[at] == after[at]) continue;
        ++result.bytes;
        if (!ranges.empty() && ranges.back().second + 1 == at) {
            ranges.back().second = at;
        } else {
            ranges.emplace_back(at, at);
        }
    }
    for (std::size_t i = 0; i < ranges.size() && i < most; ++i) {
        const auto [first, last] = ranges[i];
        result.ranges +=
            (i == 0 ? "" : ", ") + Hex4(first) + (first == last ? "" : "-" + Hex4(last));
    }
    if (ranges.size() > most) {
        result.ranges += " and " + std::to_string(ranges.size() - most) + " more ranges";
    }
    return result;
}

std::optional<std::vector<std::uint8_t>> DumpBeside(const std::string& reportPath,
                                                    const ReadReport& report, std::string& why) {
    const std::string path = DumpPathFor(reportPath);
    std::string reason;
    const auto bytes = ReadWholeFile(path, kMaxDumpBytes, reason);
    if (!bytes) {
        why = "no memory dump beside " + reportPath + " (" + path + ": " + reason + ")";
        return std::nullopt;
    }
    std::vector<std::uint8_t> dump(bytes->begin(), bytes->end());
    if (report.sha256.empty() || Sha256Hex(dump) != report.sha256) {
        why = "the memory dump " + path + " does not match the SHA-256 of " + reportPath;
        return std::nullopt;
    }
    return dump;
}

std::optional<PreviousVisit> LoadPreviousVisit(const std::string& path, std::string& error) {
    auto report = ReadReportFile(path, error);
    if (!report) return std::nullopt;
    PreviousVisit previous{path, std::move(*report), std::nullopt, ""};
    previous.dump = DumpBeside(path, previous.report, previous.dumpMissing);
    return previous;
}

ReportComparison CompareWithPrevious(const PreviousVisit& previous, const std::string& nowJson,
                                     std::optional<std::span<const std::uint8_t>> nowMemory,
                                     bool force) {
    ReportComparison comparison;
    comparison.previousPath = previous.path;
    comparison.previousDate = previous.report.date;
    std::string error;
    const auto now = ReadReportJson(nowJson, error);
    if (!now) {
        // The report was just written by this program; it reads back.
        comparison.refused = "the new report does not read back: " + error;
        return comparison;
    }
    if (std::string other = OtherModule(previous.report, *now); !other.empty() && !force) {
        comparison.refused = std::move(other);
        return comparison;
    }
    ComparedDumps dumps;
    dumps.before = previous.dump;
    if (nowMemory) dumps.after.emplace(nowMemory->begin(), nowMemory->end());
    dumps.missing = !previous.dump ? previous.dumpMissing : "the new memory was not read";
    comparison.differences = CompareReports(previous.report, *now, dumps);
    return comparison;
}

std::string ComparisonText(const ReportComparison& comparison) {
    std::string text = "Compared with " + comparison.previousPath;
    if (!comparison.previousDate.empty()) text += " of " + comparison.previousDate;
    text += "\n";
    if (!comparison.refused.empty()) {
        return text + "Not compared: " + comparison.refused + "\n";
    }
    for (const ReportDifference& difference : comparison.differences) {
        text += difference.text + "\n";
    }
    return text + ComparisonSummary(comparison) + "\n";
}

std::string ComparisonSummary(const ReportComparison& comparison) {
    std::size_t changes = 0;
    std::size_t notes = 0;
    for (const ReportDifference& difference : comparison.differences) {
        (difference.kind == "not_compared" ? notes : changes) += 1;
    }
    std::string text = changes == 0   ? std::string("Nothing changed")
                       : changes == 1 ? std::string("1 difference")
                                      : std::to_string(changes) + " differences";
    if (notes != 0) text += " in what could be compared";
    return text + ". Supply readings count as changed beyond ±" +
           FixedDecimals(kVoltageTolerance, 1) + " V and ±" + FixedDecimals(kCurrentTolerance, 2) +
           " A.";
}

std::string ComparisonJson(const ReportComparison& comparison) {
    std::string json =
        "{\"previous\":" + JsonString(comparison.previousPath) +
        ",\"previous_date\":" + JsonString(comparison.previousDate) +
        // Not compared, whether anything changed is not known.
        ",\"changed\":" +
        (!comparison.refused.empty()      ? "null"
         : comparison.differences.empty() ? "false"
                                          : "true") +
        ",\"refused\":" + (comparison.refused.empty() ? "null" : JsonString(comparison.refused)) +
        ",\"tolerance\":{\"voltage_v\":" + ShortestDecimal(kVoltageTolerance) +
        ",\"current_a\":" + ShortestDecimal(kCurrentTolerance) + "},\"differences\":[";
    for (std::size_t i = 0; i < comparison.differences.size(); ++i) {
        const ReportDifference& difference = comparison.differences[i];
        json += (i == 0 ? "{\"kind\":" : ",{\"kind\":") + JsonString(difference.kind) +
                ",\"text\":" + JsonString(difference.text) + difference.members + "}";
    }
    return json + "]}";
}

}  // namespace nuv
