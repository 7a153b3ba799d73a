// The steps of a site visit against nuvsim on a pseudo-terminal at 9600 baud, each clicked as a
// technician clicks it:
//   commissioning [RUNS]
// PROGRAM MODE, Read Firmware ver., Save Address, Save Interval, SAVE ALL CONFIGURATIONS (the
// module starts again with what it saved, so program mode is entered a second time), Search all
// Channels, Read EEPROM with the file saved, NORMAL MODE and one reading. Each step's time stands
// beside its device time: the same requests answered by the same simulated module as nuvsim's
// on a virtual clock, each sent as soon as the answer before it is complete, with the pauses
// the tool must keep after a write where they are longer (the module's own times, its silence
// that ends a frame and its save, are in there). Ratios above 1 are the tool's share.

#include <unistd.h>
#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/PortKeeper.hpp"
#include "link/SerialPortFtdi.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusCrc.hpp"
#include "protocol/ProgramBlock.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimulatedModule.hpp"

#include "bench/DeviceExchange.hpp"
#include "bench/Measures.hpp"
#include "bench/NuvsimProcess.hpp"

namespace {

using nuv::bench::CpuSeconds;
using nuv::bench::WallSeconds;

constexpr std::int64_t kMs = 1'000'000;
// nuvsim's module: address 2, 4 s interval, ten sensors a channel.
constexpr std::uint8_t kAddress = 2;
constexpr std::uint8_t kInterval = 4;
// What the tool waits after writing a request before it looks for the answer.
constexpr std::int64_t kModbusPauseNs = (6 + 3) * kMs;
constexpr std::int64_t kBlockPauseNs = 100 * kMs;

// One request and the answer the tool waits for.
struct Exchange {
    std::vector<std::uint8_t> request;  // as it goes on the wire
    std::size_t answer = 0;             // bytes the tool waits for
    std::int64_t pauseNs = 0;           // kept after the write in any case
};

Exchange Modbus(std::vector<std::uint8_t> request, std::size_t answer) {
    const nuv::ModbusCrcBytes crc = nuv::ModbusCrc(request);
    request.push_back(crc.first);
    request.push_back(crc.second);
    return {std::move(request), answer, kModbusPauseNs};
}

Exchange Block(std::uint8_t command, std::uint8_t sub, std::vector<std::uint8_t> parameters = {}) {
    nuv::ProgramBlock block = nuv::MakeProgramBlock(command, sub);
    std::copy(parameters.begin(), parameters.end(), block.begin() + 3);
    const nuv::ProgramWire wire = nuv::EncodeProgramBlock(block, {1, 2, 3, 4, 5, 6, 7, 8});
    return {{wire.begin(), wire.end()}, nuv::kProgramWireSize, kBlockPauseNs};
}

std::vector<Exchange> EnterProgramMode() {
    return {Modbus({'Z', 'A', 'F', 'R', 'E', 'L'}, 6), Block(0x30, 0x00)};
}

// The module's side of the visit: nuvsim's simulated module on a virtual clock, the tool's
// side of the wire reduced to writing a request and taking the answer as it completes.
class DeviceSide {
  public:
    DeviceSide() {
        nuv::sim::SimDevice& device =
            driver_.AddDevice(nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial);
        nuv::sim::ModuleSimulator& module = nuv::sim::AttachModuleSimulator(device);
        module.Configure(kAddress, kInterval);
        module.sensorsPerChannel = 10;
        driver_.Open(0, handle_);
        driver_.SetBaudRate(handle_, 9600);
    }

    // The time the exchanges take one after another; 0 when an answer did not come whole.
    double Seconds(const std::vector<Exchange>& exchanges) {
        std::int64_t total = 0;
        for (const Exchange& exchange : exchanges) {
            const std::int64_t start = clock_.NowNs();
            const std::size_t received = nuv::bench::ExchangeOnVirtualClock(
                driver_, handle_, clock_, exchange.request, exchange.answer, 20'000 * kMs);
            if (received < exchange.answer) return 0;
            const std::int64_t end = std::max(clock_.NowNs(), start + exchange.pauseNs);
            clock_.AdvanceNs(end - clock_.NowNs());
            total += end - start;
        }
        return static_cast<double>(total) / 1e9;
    }

  private:
    nuv::VirtualClock clock_;
    nuv::sim::SimFtdi driver_{clock_};
    nuv::FtHandle handle_ = 0;
};

// The save dialog of the visit: the memory goes to one file in the temporary folder.
class VisitDialogs final : public nuv::Dialogs {
  public:
    explicit VisitDialogs(std::string path) : path_(std::move(path)) {}
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::optional<std::string> ChooseSaveFile(const nuv::SaveFileRequest&) override {
        return path_;
    }

  private:
    std::string path_;
};

struct Step {
    const char* name;
    nuv::Control* button;
    std::vector<Exchange> exchanges;
    // Whether the step did what it is for.
    std::function<bool()> done;
};

bool LogHas(const nuv::Tool& tool, const std::string& text) {
    return tool.log.Text().find(text) != std::string::npos;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const std::string simulator = nuv::bench::NuvsimProcess::BesideBenchmark(
        QCoreApplication::applicationDirPath().toStdString());
    const nuv::bench::NuvsimProcess nuvsim(simulator);
    if (!nuvsim.Running()) {
        std::fprintf(stderr, "cannot start %s\n", simulator.c_str());
        return 1;
    }
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("nuv-commissioning-" + std::to_string(::getpid()) + ".dat");

    int status = 0;
    {
        nuv::SerialPortFtdi serial(
            {{nuvsim.Port(), nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial}});
        nuv::PortKeeper driver(serial);
        nuv::SystemClock clock;
        nuv::NullEventPump pump;
        VisitDialogs dialogs(file.string());
        nuv::Tool tool(driver, clock, pump, dialogs);
        tool.FormCreate();
        nuv::MainPanel& p = tool.panel;

        std::vector<Exchange> search;
        for (std::uint8_t c = 0; c < 10; ++c) search.push_back(Block(0x60, c));
        std::vector<Exchange> memory;
        for (unsigned piece = 0; piece < 64; ++piece) {
            const unsigned from = piece * 64;
            memory.push_back(Block(0x30, 0x09,
                                   {static_cast<std::uint8_t>(from >> 8U),
                                    static_cast<std::uint8_t>(from & 0xFFU), 64}));
        }
        std::vector<Step> steps{
            {"PROGRAM MODE", &p.Button38, EnterProgramMode(),
             [&] { return LogHas(tool, "Program Mode ON..."); }},
            {"Read Firmware ver.",
             &p.Button17,
             {Block(0x30, 0x00)},
             [&] { return LogHas(tool, "Firmware version: 00.48"); }},
            {"Save Address",
             &p.btn12,
             {Block(0x70, 0x00, {kAddress})},
             [&] { return LogHas(tool, "Modbus address saved ok..."); }},
            {"Save Interval",
             &p.btn11,
             {Block(0x70, 0x01, {kInterval})},
             [&] { return LogHas(tool, "Cyclic interval saved ok..."); }},
            {"SAVE ALL CONFIGURATIONS",
             &p.btn15,
             {Block(0x70, 0x02)},
             [&] { return LogHas(tool, "Saved - OK"); }},
            {"PROGRAM MODE (again)", &p.Button38, EnterProgramMode(),
             [&] { return LogHas(tool, "Program Mode ON..."); }},
            {"Search all Channels", &p.Button9, search,
             [&] { return LogHas(tool, "Total segregated: 100 sensors"); }},
            {"Read EEPROM, file saved", &p.Button42, memory,
             [&] {
                 std::error_code error;
                 return tool.config.memoryImage.valid == 4096 &&
                        std::filesystem::file_size(file, error) == 4096 && !error;
             }},
            {"NORMAL MODE",
             &p.Button39,
             {Block(0xAA, 0x55)},
             [&] { return LogHas(tool, "Program Mode OFF..."); }},
            {"one reading",
             &p.btn3,
             {Modbus({kAddress, 0x03, 0x00, 0x00, 0x00, 101}, 207)},
             [&] { return tool.measure.lastReading.has_value(); }},
        };
        DeviceSide device;
        std::vector<double> deviceSeconds;
        std::vector<std::vector<double>> times(steps.size());
        for (const Step& step : steps) {
            deviceSeconds.push_back(device.Seconds(step.exchanges));
            if (deviceSeconds.back() <= 0) {
                std::fprintf(stderr, "the device side of \"%s\" did not answer\n", step.name);
                return 1;
            }
        }

        const double cpu0 = CpuSeconds();
        for (int run = 1; run <= runs && status == 0; ++run) {
            std::filesystem::remove(file);
            for (std::size_t i = 0; i < steps.size(); ++i) {
                const Step& step = steps[i];
                const double start = WallSeconds();
                tool.Click(*step.button);
                times[i].push_back(WallSeconds() - start);
                if (!step.done()) {
                    std::fprintf(stderr, "run %d: \"%s\" failed:\n%s\n", run, step.name,
                                 tool.log.Text().c_str());
                    status = 1;
                    break;
                }
            }
        }
        const double cpu = CpuSeconds() - cpu0;
        std::filesystem::remove(file);
        if (status != 0) return status;

        std::printf("site visit against nuvsim at 9600 baud, %d run(s); times are the mean\n",
                    runs);
        std::printf("%-26s %10s %10s %7s\n", "step", "time ms", "device ms", "ratio");
        double wholeTime = 0;
        double wholeDevice = 0;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            double sum = 0;
            for (double t : times[i]) sum += t;
            const double mean = sum / static_cast<double>(times[i].size());
            wholeTime += mean;
            wholeDevice += deviceSeconds[i];
            std::printf("%-26s %10.1f %10.1f %7.3f\n", steps[i].name, mean * 1e3,
                        deviceSeconds[i] * 1e3, mean / deviceSeconds[i]);
        }
        std::printf("%-26s %10.1f %10.1f %7.3f\n", "whole visit", wholeTime * 1e3,
                    wholeDevice * 1e3, wholeTime / wholeDevice);
        std::printf("CPU: %.3f s a visit\n", cpu / runs);
    }
    return status;
}
