#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// The version of the JSON report that this program writes. Reports without a `format` member,
// or with the text "nuv-service-report/1" there, are version 1.
inline constexpr int kReportFormat = 2;

// A report file larger than this is no service report (one is a few kilobytes).
inline constexpr std::size_t kMaxReportFileBytes = 4 * 1024 * 1024;

// A service report as read back from its JSON, for the comparison with a later visit and for
// drawing it. Values that a failed step did not give are empty.
struct ReadReport {
    int format = 1;
    // Every step in the report's order, with whether it worked and why not.
    struct Step {
        std::string key;
        bool ok = true;
        std::string error;
    };
    std::vector<Step> steps;
    const Step* FindStep(std::string_view key) const;
    // Whether a step is there and worked.
    bool StepOk(std::string_view key) const;
    std::optional<int> failedSteps;

    // "report"
    std::string date;
    std::string toolVersion;
    std::string build;
    std::string carriedFirmware;
    // "device"
    std::string description;
    std::string ftdiSerial;
    std::string model;
    std::optional<long long> hardwareVersion;
    // "firmware" (program mode)
    std::optional<int> address;
    std::optional<int> interval;
    std::string firmware;
    std::optional<int> firmwareClass;
    std::optional<int> firmwareBuild;
    std::string standard;
    std::optional<int> capacity;
    std::optional<bool> upToDate;
    // "sensors": each channel's serials in level order, level 1 first.
    struct Channel {
        bool searched = false;
        std::string error;  // why the search failed, when it did
        std::vector<std::string> serials;
    };
    std::array<Channel, 10> channels{};
    // "memory"
    std::optional<long long> memoryBytes;
    std::string sha256;
    std::string dumpFile;  // empty: not saved
    // "normal_mode"
    std::optional<bool> programModeEntered;
    // "reading": per channel and level the degrees, or the sensor error value (250, 251, 252)
    // where the report names it (version 2); an error value of a version 1 report is 0 with no
    // degrees.
    std::optional<int> readingAddress;
    std::optional<int> readingResult;
    std::optional<int> sensorsPerChannel;
    std::optional<double> moduleTemperature;
    struct Value {
        std::optional<double> celsius;
        int error = 0;
    };
    std::array<std::vector<Value>, 10> readings{};
    // "supply"
    std::optional<double> systemVolts;
    std::optional<double> mainVolts;
    std::vector<double> currents;  // channels 0/1, 2/3, ... in amperes
    // "outputs"
    std::optional<int> outputs;
    // "reset_counters": total, JTAG, watchdog, brown-out, external, power-up.
    std::array<std::optional<long long>, 6> resetCounters{};
    std::string remarks;
};

// The reset counters' names as the report's JSON keys them, and for people.
inline constexpr std::array<const char*, 6> kResetCounterKeys = {
    "total", "jtag", "watchdog", "brown_out", "external", "power_up"};
inline constexpr std::array<const char*, 6> kResetCounterLabels = {
    "Total", "JTAG", "Watchdog", "Brown-out", "External (USB)", "Power-up"};

// Reads a service report from its JSON text. Any bytes give a report or a reason: not JSON, no
// service report, a report of a newer format, a value of the wrong kind (named by its place,
// "firmware.address").
std::optional<ReadReport> ReadReportJson(std::string_view json, std::string& error);

// Reads the whole of a file, at most `limit` bytes; none with the system's reason, or "larger
// than N bytes".
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit,
                                         std::string& error);

// A report file: the two above together; the reason names the file.
std::optional<ReadReport> ReadReportFile(const std::string& path, std::string& error);

}  // namespace nuv
