// The firmware update over a pseudo-terminal at 115200 baud against nuvsim's boot loader:
//   firmware_bench [RUNS]
// Each run writes the carried build and compares its time with what the device side takes at
// the least: the wire time of every byte both ways, the boot loader's start-up, its flash time
// per page and its turnarounds (from the simulated boot loader's settings). The bytes of the two
// directions never overlap, as each side waits for the other.

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench/NuvsimProcess.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "link/SerialPortFtdi.hpp"
#include "model/Tool.hpp"
#include "sim/BootLoaderSimulator.hpp"
#include "sim/SimulatedModule.hpp"

#include "bench/Measures.hpp"

namespace {

using nuv::bench::CpuSeconds;
using nuv::bench::ResidentKilobytes;

using nuv::bench::WallSeconds;

// When the stages began, and when the boot loader's 'V' came (the module's start-up and the
// read-back of its build follow, which are not the boot loader's work).
class Stamps final : public nuv::FirmwareUpdateObserver {
  public:
    void OnStage(nuv::FirmwareStage stage) override {
        if (stage == nuv::FirmwareStage::Identifying) identifying = WallSeconds();
    }
    void OnVerified(std::size_t) override { verified = WallSeconds(); }
    double identifying = 0;
    double verified = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const std::string simulator = nuv::bench::NuvsimProcess::BesideBenchmark(
        QCoreApplication::applicationDirPath().toStdString());
    nuv::bench::NuvsimProcess nuvsim(simulator);
    if (!nuvsim.Running()) {
        std::fprintf(stderr, "cannot start %s\n", simulator.c_str());
        return 1;
    }

    const nuv::FirmwareImage& image = nuv::CarriedFirmwareImage();
    const std::size_t pages = nuv::PageCount(image.bytes.size());
    const nuv::sim::BootLoaderSimulator loader;  // its settings are the device's times
    const double byteSeconds = 10.0 / nuv::bootloader::kBaud;
    // To the module: '<', each page's number, bytes and check byte, the end marker.
    const std::size_t toModule = 1 + pages * 259 + 2;
    // From it: '>', the identification, a request per page and one for the end marker, 'V'.
    const std::size_t fromModule = 1 + 8 + (pages + 1) + 1;
    const double wire = static_cast<double>(toModule + fromModule) * byteSeconds;
    // It prepares the first page before its request, then flashes each page.
    const double flash =
        static_cast<double>(pages + 1) * static_cast<double>(loader.flashPageNs) / 1e9;
    const double startUp = static_cast<double>(loader.startUpNs) / 1e9;
    const double turnarounds = 2 * static_cast<double>(loader.turnaroundNs) / 1e9;  // '<', FF FF
    const double device = wire + flash + startUp + turnarounds;
    const double deviceAfterPrompt = device - startUp - byteSeconds;  // the '>' itself

    int status = 0;
    nuv::SerialPortFtdi driver(
        {{nuvsim.Port(), nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial}});
    nuv::SystemClock clock;
    nuv::NullEventPump pump;
    nuv::ConsoleDialogs dialogs;
    nuv::Tool tool(driver, clock, pump, dialogs);
    tool.FormCreate();
    std::printf("image: %zu bytes, %zu pages at %u baud\n", image.bytes.size(), pages,
                nuv::bootloader::kBaud);
    std::printf(
        "device side: wire %.3f s (%zu + %zu bytes), flash %.3f s, start-up %.3f s, "
        "turnarounds %.4f s: %.3f s\n",
        wire, toModule, fromModule, flash, startUp, turnarounds, device);
    for (int run = 1; run <= runs; ++run) {
        // The operator's pause between two updates: nuvsim sees the port back at 9600.
        if (run > 1) clock.SleepMs(200);
        Stamps stamps;
        const double cpu0 = CpuSeconds();
        const double start = WallSeconds();
        const nuv::FirmwareUpdateReport report = nuv::UpdateFirmware(tool, image, &stamps);
        const double end = WallSeconds();
        const double cpu = CpuSeconds() - cpu0;
        const bool verified = report.outcome == nuv::FirmwareOutcome::Verified;
        if (!verified) status = 1;
        if (!verified) {
            std::printf("run %d: FAILED after %.3f s\n", run, end - start);
            std::fprintf(stderr, "%s\n", tool.log.Text().c_str());
            continue;
        }
        const double transfer = stamps.verified - start;
        std::printf(
            "run %d: verified; update to the verdict %.3f s = %.3f x device time; from the "
            "prompt on %.3f s = %.3f x; then start-up and build read back %.3f s; CPU %.3f s\n",
            run, transfer, transfer / device, stamps.verified - stamps.identifying,
            (stamps.verified - stamps.identifying) / deviceAfterPrompt, end - stamps.verified, cpu);
    }
    return status;
}
