// nuvsim: the simulated NUV module on a pseudo-terminal, for the tool or any other program to
// open as a serial port. Bytes cross the simulated wire at 9600 baud in both directions.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "sim/ModuleSimulator.hpp"
#include "sim/Pty.hpp"
#include "sim/PtyBridge.hpp"
#include "sim/SimFtdi.hpp"
#include "sim/SimulatedModule.hpp"

namespace {

std::atomic<bool> gStop{false};
void OnSignal(int) {
    gStop = true;
}

constexpr const char* kUsage =
    "Usage: nuvsim [--link PATH] [--address N] [--sensors 10|12|16] [--fault-rate R]\n"
    "Runs the simulated NUV module on a new pseudo-terminal and prints the path of its\n"
    "port; --link also makes PATH a symbolic link to it. Stops on Ctrl-C.\n";

bool NumberArg(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string link;
    double address = 2;
    double sensors = 10;
    double faultRate = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--link" && hasValue) {
            link = argv[++i];
        } else if (arg == "--address" && hasValue && NumberArg(argv[++i], 1, 247, address)) {
        } else if (arg == "--sensors" && hasValue && NumberArg(argv[++i], 10, 16, sensors) &&
                   (sensors == 10 || sensors == 12 || sensors == 16)) {
        } else if (arg == "--fault-rate" && hasValue && NumberArg(argv[++i], 0, 1, faultRate)) {
        } else {
            std::fprintf(stderr, "nuvsim: bad argument '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }

    nuv::sim::PtyPair pty;
    if (!pty.Ok()) {
        std::fprintf(stderr, "nuvsim: %s\n", pty.Error().c_str());
        return 1;
    }
    if (!link.empty()) {
        std::error_code error;
        std::filesystem::remove(link, error);
        std::filesystem::create_symlink(pty.SlavePath(), link, error);
        if (error) {
            std::fprintf(stderr, "nuvsim: cannot link %s: %s\n", link.c_str(),
                         error.message().c_str());
            return 1;
        }
    }

    nuv::SystemClock clock;
    nuv::sim::SimFtdi driver(clock);
    nuv::sim::SimDevice& device =
        driver.AddDevice(nuv::sim::kSimulatedDescription, nuv::sim::kSimulatedSerial);
    nuv::sim::ModuleSimulator& module = nuv::sim::AttachModuleSimulator(device);
    module.Configure(static_cast<std::uint8_t>(address), 4);
    module.sensorsPerChannel = static_cast<int>(sensors);
    module.faults.randomRate = faultRate;
    nuv::FtHandle handle = 0;
    if (driver.Open(0, handle) != nuv::ft::Ok) return 1;

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    // The pty's master end is the far end of the simulated cable.
    nuv::sim::PtyBridge bridge(pty.MasterFd(), driver, handle);
    while (!gStop) {
        bridge.Step(1);
        if (!bridge.Attached()) ::usleep(20'000);  // nobody has the port open
    }
    if (!link.empty()) std::filesystem::remove(link);
    return 0;
}
