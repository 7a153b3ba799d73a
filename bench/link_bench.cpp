// Timing of the link against the simulated module at wire speed over a pseudo-terminal:
//   link_bench reading [N]     N single readings: time per reading against the time the module
//                              itself needs (request and answer on the wire and the module's
//                              turnaround between them), and CPU time per reading
//   link_bench cyclic [SEC]    cyclic measurement at 1 s for SEC seconds: CPU per cent of a core
// The simulated module runs as a separate process (nuvsim), so only the tool's side is measured.

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "link/PortKeeper.hpp"
#include "link/SerialPortFtdi.hpp"
#include "measure/Temperatures.hpp"
#include "model/TimerDriver.hpp"
#include "model/Tool.hpp"
#include "protocol/ModbusCrc.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimulatedModule.hpp"

#include "bench/DeviceExchange.hpp"
#include "bench/Measures.hpp"
#include "bench/NuvsimProcess.hpp"

namespace {

using nuv::bench::CpuSeconds;
using nuv::bench::ResidentKilobytes;

using nuv::bench::WallSeconds;

// The shortest a reading can take: the request out, the module's turnaround, the answer back,
// with nothing of the tool in between. The same simulated module as nuvsim's answers the same
// request on a virtual clock, so the figure follows whatever the module does before it answers.
double IdealReadingSeconds(double& wireSeconds) {
    nuv::VirtualClock clock;
    nuv::sim::SimFtdi driver(clock);
    nuv::sim::SimDevice& device =
        driver.AddDevice(nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial);
    const nuv::sim::ModuleSimulator& module = nuv::sim::AttachModuleSimulator(device);
    nuv::FtHandle handle = 0;
    driver.Open(0, handle);
    const auto registers = static_cast<std::uint8_t>(module.RegisterCount());
    std::vector<std::uint8_t> request{module.address, 0x03, 0x00, 0x00, 0x00, registers};
    const nuv::ModbusCrcBytes crc = nuv::ModbusCrc(request);
    request.push_back(crc.first);
    request.push_back(crc.second);
    const std::uint32_t answer = 5 + 2U * registers;
    wireSeconds = static_cast<double>((request.size() + answer) * device.ByteTimeNs()) / 1e9;

    const std::int64_t start = clock.NowNs();
    nuv::bench::ExchangeOnVirtualClock(driver, handle, clock, request, answer, 5'000'000'000);
    return static_cast<double>(clock.NowNs() - start) / 1e9;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "reading";
    const int amount = argc > 2 ? std::atoi(argv[2]) : (mode == "cyclic" ? 60 : 20);
    const std::string simulator = nuv::bench::NuvsimProcess::BesideBenchmark(
        QCoreApplication::applicationDirPath().toStdString());
    const nuv::bench::NuvsimProcess nuvsim(simulator);
    if (!nuvsim.Running()) {
        std::fprintf(stderr, "cannot start %s\n", simulator.c_str());
        return 1;
    }
    const std::string& port = nuvsim.Port();

    int status = 0;
    {
        nuv::SerialPortFtdi serial(
            {{port, nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial}});
        nuv::PortKeeper driver(serial);
        nuv::SystemClock clock;
        nuv::NullEventPump pump;
        nuv::ConsoleDialogs dialogs;
        nuv::Tool tool(driver, clock, pump, dialogs);
        tool.FormCreate();

        if (mode == "reading") {
            double wireSeconds = 0;
            const double idealSeconds = IdealReadingSeconds(wireSeconds);
            ReadTemperatures(tool, 2);  // warm up
            const double wall0 = WallSeconds();
            const double cpu0 = CpuSeconds();
            int failures = 0;
            for (int i = 0; i < amount; ++i) failures += ReadTemperatures(tool, 2) != 0 ? 1 : 0;
            const double wall = (WallSeconds() - wall0) / amount;
            const double cpu = (CpuSeconds() - cpu0) / amount;
            std::printf("readings: %d (failed %d)\n", amount, failures);
            std::printf("wire time of request + answer: %.1f ms\n", wireSeconds * 1e3);
            std::printf("module's turnaround:           %.1f ms\n",
                        (idealSeconds - wireSeconds) * 1e3);
            std::printf("time per reading:              %.1f ms (%.3f x wire time + turnaround)\n",
                        wall * 1e3, wall / idealSeconds);
            std::printf("CPU per reading:               %.2f ms\n", cpu * 1e3);
            status = failures == 0 ? 0 : 1;
        } else if (mode == "cyclic") {
            nuv::TimerDriver timers(clock, {&tool.panel.Timer1},
                                    [&](nuv::Timer& timer) { tool.Tick(timer); });
            tool.panel.ComboBox4.SetIndex(0);  // 1 s
            tool.Click(tool.panel.btn5);
            const double wall0 = WallSeconds();
            const double cpu0 = CpuSeconds();
            while (WallSeconds() - wall0 < amount) {
                timers.Poll();
                const auto next = timers.NextDueNs();
                // As an idle event loop: asleep until the next timer is due.
                const std::int64_t waitMs = next ? (*next - clock.NowNs()) / 1'000'000 : 10;
                if (waitMs > 0)
                    clock.SleepMs(static_cast<std::uint32_t>(std::min<std::int64_t>(waitMs, 1000)));
            }
            const double wall = WallSeconds() - wall0;
            const double cpu = CpuSeconds() - cpu0;
            std::printf("cyclic measurement at 1 s for %.0f s: %s\n", wall,
                        tool.panel.Label18.Caption().c_str());
            std::printf("logger lines: %zu bytes\n", tool.logger.Size());
            std::printf("CPU: %.2f s = %.2f %% of one core\n", cpu, 100.0 * cpu / wall);
        } else {
            std::fprintf(stderr, "usage: link_bench reading [N] | cyclic [SECONDS]\n");
            status = 2;
        }
    }
    return status;
}
