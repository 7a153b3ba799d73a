// nuvsim: the simulated NUV module on a pseudo-terminal, for the tool or any other program to
// open as a serial port. Bytes cross the simulated wire at the baud rate that the program on
// the port has set, in both directions.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/AddressList.hpp"
#include "protocol/BootLoaderProtocol.hpp"
#include "sim/ModuleBus.hpp"
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
    "Usage: nuvsim [--link PATH] [--address LIST] [--silent LIST] [--sensors 10|12|16]\n"
    "              [--fault-rate R]\n"
    "Runs the simulated NUV module on a new pseudo-terminal and prints the path of its\n"
    "port; --link also makes PATH a symbolic link to it. Stops on Ctrl-C.\n"
    "--address: the module's address (default 2), or a list of them (\"1,4,7-9\"): that many\n"
    "modules on one bus, each answering its own address. --silent: addresses of the list\n"
    "whose module never answers.\n"
    "Bytes take their wire time at the baud rate the program on the port sets. A\n"
    "pseudo-terminal has no DTR line: a switch of the port to 115200 baud, as the firmware\n"
    "update makes before its reset by DTR, resets the module into its boot loader.\n";

bool NumberArg(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string link;
    std::vector<int> addresses{2};
    std::vector<int> silent;
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
        } else if ((arg == "--address" || arg == "--silent") && hasValue) {
            std::string reason;
            const auto list = nuv::ParseAddressList(argv[++i], reason);
            if (!list) {
                std::fprintf(stderr, "nuvsim: %s: %s\n%s", arg.c_str(), reason.c_str(), kUsage);
                return 2;
            }
            (arg == "--address" ? addresses : silent) = *list;
        } else if (arg == "--sensors" && hasValue && NumberArg(argv[++i], 10, 16, sensors) &&
                   (sensors == 10 || sensors == 12 || sensors == 16)) {
        } else if (arg == "--fault-rate" && hasValue && NumberArg(argv[++i], 0, 1, faultRate)) {
        } else {
            std::fprintf(stderr, "nuvsim: bad argument '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }

    for (const int address : silent) {
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            std::fprintf(stderr, "nuvsim: --silent: %d is not one of the addresses %s\n%s", address,
                         nuv::AddressListText(addresses).c_str(), kUsage);
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
    nuv::sim::ModuleBus& bus =
        nuv::sim::AddSimulatedBus(driver, addresses, faultRate, silent, static_cast<int>(sensors));
    // The boot loader of a firmware update: a cable with one module is what an update is for;
    // on a bus the first module's boot loader decides when the line is its.
    nuv::sim::ModuleSimulator& module = *bus.At(static_cast<std::uint8_t>(addresses.front()));
    nuv::FtHandle handle = 0;
    if (driver.Open(0, handle) != nuv::ft::Ok) return 1;

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    // The pty's master end is the far end of the simulated cable.
    nuv::sim::PtyBridge bridge(pty.MasterFd(), driver, handle);
    std::uint32_t baud = 0;
    while (!gStop) {
        // The wire runs at the rate the program on the slave end set. The switch to the boot
        // loader's rate stands for the DTR pulse that a pseudo-terminal cannot carry. The port
        // falls back to its former rate whenever the program reopens it (the update reopens it
        // for its reset), so a switch while the boot loader starts or prompts is the same
        // update's and does not reset it again.
        const std::uint32_t slaveBaud = pty.SlaveBaud();
        if (slaveBaud != 0 && slaveBaud != baud) {
            driver.SetBaudRate(handle, slaveBaud);
            bridge.SetBaud(slaveBaud);
            if (slaveBaud == nuv::bootloader::kBaud && baud != 0 &&
                !module.bootLoader.Prompting()) {
                driver.SetDtr(handle);
                driver.ClrDtr(handle);
            }
            baud = slaveBaud;
        }
        // While the boot loader holds the line, its requests are paced at 115200 baud: a finer
        // wait keeps the simulated wire's timing; otherwise a millisecond is fine enough.
        bridge.Step(module.bootLoader.Active() ? std::chrono::microseconds(200)
                                               : std::chrono::microseconds(1000));
        if (!bridge.Attached()) ::usleep(20'000);  // nobody has the port open
    }
    if (!link.empty()) std::filesystem::remove(link);
    return 0;
}
