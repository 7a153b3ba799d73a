// A soak of the cyclic measurement on the virtual clock: N readings (10,000 by default) at 4 s
// with 1 % of them spoiled by each kind of fault, against the simulated module. The error
// counters and the error logger's lines must equal the faults injected, exactly, and the
// resident memory is reported at the start and the end (and after a day of virtual time, once
// the trend plot holds its day of points: from there on only the error logger's text grows).
//   soak [N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <string>

#include "model/ControlGroups.hpp"
#include "model/TimerDriver.hpp"
#include "model/Tool.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimulatedModule.hpp"

#include "bench/Measures.hpp"

namespace {

using nuv::bench::CpuSeconds;
using nuv::bench::ResidentKilobytes;

// The kinds of fault, each with the counter and the logger line it must show.
enum Kind {
    Silence,
    Late,
    DroppedByte,
    Checksum,
    Noise,
    DriverFailure,
    SensorShort,
    Flood,
    Unplug,
    Busy,
    NineDevices,
    kKinds
};
constexpr const char* kKindNames[] = {
    "silence",      "late answer",          "dropped byte",      "bad CRC",
    "noise",        "driver failure",       "sensor short",      "flood of 70 KiB",
    "cable pulled", "cable held elsewhere", "module's cable 9th"};
constexpr const char* kLoggerText[] = {
    "Data Timeout Couner", "Data Timeout Couner", "Data Timeout Couner",      "Other Errors",
    "Other Errors",        "USB Errors",          "Bledy 1W (zwarcie do GND)"};

class Dialogs final : public nuv::Dialogs {
  public:
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "message box: %.*s\n", static_cast<int>(text.size()), text.data());
        ++shown;
    }
    std::optional<std::string> ChooseSaveFile(const nuv::SaveFileRequest&) override { return {}; }
    int shown = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const int readings = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
    constexpr std::int64_t kMs = 1'000'000;

    nuv::VirtualClock clock;
    nuv::NullEventPump pump;
    nuv::sim::SimFtdi driver(clock);
    auto moduleOwner = std::make_shared<nuv::sim::ModuleSimulator>();
    nuv::sim::ModuleSimulator& module = *moduleOwner;
    module.keepRecords = false;
    // The module's cable; plugged in again after it was pulled.
    nuv::sim::SimDevice* device = nullptr;
    const auto plugIn = [&] {
        device = &driver.AddDevice(nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial);
        device->AttachPeer(moduleOwner);
        // The simulator keeps no records of the traffic: what grows is the tool's.
        device->keepRecords = false;
    };
    plugIn();
    Dialogs dialogs;
    nuv::Tool tool(driver, clock, pump, dialogs);
    nuv::MainPanel& panel = tool.panel;
    nuv::TimerDriver timers(clock, {&panel.Timer1}, [&](nuv::Timer& t) { tool.Tick(t); });
    tool.FormCreate();

    // Which reading gets which fault: 1 % of the readings for each kind, spread at random.
    std::vector<int> order(static_cast<std::size_t>(readings));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(20261208));
    const int perKind = readings / 100;
    std::vector<int> fault(static_cast<std::size_t>(readings), -1);
    for (int k = 0; k < kKinds; ++k) {
        for (int i = 0; i < perKind; ++i) fault[order[k * perKind + i]] = k;
    }

    panel.ComboBox4.SetIndex(3);  // 4 s
    tool.Click(panel.btn5);
    const long startKb = ResidentKilobytes();
    const double startCpu = CpuSeconds();
    const auto startWall = std::chrono::steady_clock::now();
    long peakKb = startKb;
    long dayKb = -1;
    const std::int64_t soakStartNs = clock.NowNs();
    for (int i = 0; i < readings; ++i) {
        // Ready the fault for the next tick, then let the time run to it.
        module.faults = nuv::sim::ModuleFaults{};
        module.SensorAt(0, 0).fixedRaw.reset();
        switch (fault[static_cast<std::size_t>(i)]) {
            case Silence:
                module.faults.silent = 1;
                break;
            case Late:
                module.faults.lateNs = 2600 * kMs;  // after the limit, before the next tick
                break;
            case DroppedByte:
                module.faults.dropByte = 1;
                break;
            case Checksum:
                module.faults.corruptCrc = 1;
                break;
            case Noise:
                module.faults.noise = 1;
                break;
            case DriverFailure:
                device->InjectFault(nuv::sim::Op::Status, nuv::ft::IoError);
                break;
            case SensorShort:
                module.SensorAt(0, 0).fixedRaw = 0xF040;
                break;
            case Flood:
                module.faults.flood = 1;
                module.faults.floodAtOnce = true;
                break;
            case Unplug:
                // The cable goes while the request is on the wire.
                driver.beforeCall = [&] {
                    if (driver.DeviceCount() == 1 && device->NextToPeerNs()) driver.Unplug(0);
                };
                break;
            case Busy:
                device->heldByOtherProgram = true;
                break;
            case NineDevices:
                // Eight other cables come first; the module's is the ninth.
                driver.Unplug(0);
                for (int d = 0; d < 8; ++d)
                    driver.AddDevice("FT232R USB UART", "A" + std::to_string(d));
                plugIn();
                break;
            default:
                break;
        }
        const auto due = timers.NextDueNs();
        if (!due) {
            std::fprintf(stderr, "the cyclic measurement stopped at reading %d\n", i);
            return 1;
        }
        if (*due > clock.NowNs()) clock.AdvanceNs(*due - clock.NowNs());
        timers.Poll();
        device->FaultOf(nuv::sim::Op::Status) = nuv::sim::Fault{};
        device->heldByOtherProgram = false;
        driver.beforeCall = nullptr;
        // Back to the module's cable alone.
        if (driver.DeviceCount() != 1 || &driver.Device(0) != device) {
            while (driver.DeviceCount() > 0) driver.Unplug(0);
            plugIn();
            driver.DropUnplugged();  // the simulator's, not the tool's: kept out of the figures
        }
        if (i % 1000 == 0) peakKb = std::max(peakKb, ResidentKilobytes());
        // The trend plot keeps a day of points; from then on nothing may grow but the logger.
        if (dayKb < 0 && clock.NowNs() - soakStartNs >= 24 * 3600 * 1'000'000'000LL) {
            dayKb = ResidentKilobytes();
        }
    }
    const long endKb = ResidentKilobytes();
    // The peak is over every sample taken, the last ones included.
    peakKb = std::max({peakKb, endKb, dayKb});

    // What the error logger wrote, by kind.
    std::map<std::string, int> lines;
    const std::string logger = tool.logger.Text();
    int loggerLines = 0;
    for (std::size_t at = 0, end; (end = logger.find('\n', at)) != std::string::npos;
         at = end + 1) {
        const std::string line = logger.substr(at, end - at);
        if (line.find("*****") != std::string::npos) continue;
        ++loggerLines;
        for (const char* text : kLoggerText) {
            if (line.find(text) != std::string::npos) {
                ++lines[text];
                break;
            }
        }
    }
    const nuv::ErrorCounters& c = tool.measure.counters;
    const int timeouts = 3 * perKind;
    struct Check {
        const char* what;
        long expected;
        long counted;
        // The tool's counters have 16 bits and wrap; the soak's own counts do not (0).
        int bits = 0;
    };
    const Check checks[] = {
        {"readings", readings, static_cast<long>(c.measure), 16},
        {"Data Timeout counter (silence, late, dropped byte)", timeouts, c.noData, 16},
        {"Other Errors counter (bad CRC, noise, flood, busy, 9th)", 5 * perKind, c.otherError, 16},
        // A pulled cable fails the driver's status query, as a driver failure does.
        {"USB Errors counter (driver failure, cable pulled)", 2 * perKind, c.usbError, 16},
        {"1-Wire short counter (sensor short)", perKind, c.oneWireShort, 16},
        {"logger lines", kKinds * perKind, loggerLines},
        {"logger: Data Timeout", timeouts, lines["Data Timeout Couner"]},
        {"logger: Other Errors", 5 * perKind, lines["Other Errors"]},
        {"logger: USB Errors", 2 * perKind, lines["USB Errors"]},
        {"logger: 1-Wire short", perKind, lines["Bledy 1W (zwarcie do GND)"]},
        {"message boxes", 0, dialogs.shown},
    };
    bool ok = true;
    std::printf("%d cyclic readings at 4 s (%.1f h of virtual time), %d of each fault kind:",
                readings, static_cast<double>(clock.NowNs()) / 3.6e12, perKind);
    for (const char* name : kKindNames) std::printf(" %s,", name);
    std::printf("\n");
    for (const Check& check : checks) {
        const bool equal = check.bits == 0 ? check.expected == check.counted
                                           : nuv::bench::WrappedCountMatches(
                                                 check.expected, check.counted, check.bits);
        ok &= equal;
        std::printf("  %-56s injected %6ld  counted %6ld  %s", check.what, check.expected,
                    check.counted, equal ? "ok" : "MISMATCH");
        if (check.bits != 0 && check.expected >= (1L << check.bits)) {
            std::printf(" (%d-bit counter: %ld modulo %ld)", check.bits, check.expected,
                        1L << check.bits);
        }
        std::printf("\n");
    }
    std::printf("resident memory: %ld kB at the start, %ld kB at the end (peak %ld kB)\n", startKb,
                endKb, peakKb);
    if (dayKb >= 0) {
        std::printf(
            "resident memory after a day, when the trend plot's day of points is full: "
            "%ld kB\n",
            dayKb);
    }
    std::printf(
        "cpu %.1f s, wall %.1f s\n", CpuSeconds() - startCpu,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startWall).count());
    return ok ? 0 : 1;
}
