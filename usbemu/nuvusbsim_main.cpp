// nuvusbsim: runs a program with the simulated module behind an emulated FTDI cable (an FT232R
// on an emulated USB), so that the program's real libftdi1 and libusb drive it as a cable.
//   umockdev-wrapper nuvusbsim [--sensors N] -- PROGRAM [ARGUMENTS...]
// The emulation lives in this process; the program runs as its child with the testbed's
// environment, and its exit status is this program's. A signal to this program goes on to it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/ModuleSimulator.hpp"
#include "usbemu/EmulatedUsb.hpp"

namespace {

volatile std::sig_atomic_t child = 0;

void Forward(int signal) {
    if (child > 0) ::kill(static_cast<pid_t>(child), signal);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: umockdev-wrapper nuvusbsim [--sensors N] -- PROGRAM [ARGUMENTS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int sensors = -1;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string argument = argv[first];
        if (argument == "--") {
            ++first;
            break;
        }
        if (argument == "--sensors" && first + 1 < argc) {
            sensors = std::clamp(std::atoi(argv[++first]), 0, 16);
            continue;
        }
        return Usage();
    }
    if (first >= argc) return Usage();
    if (!nuv::usbemu::EmulatedUsb::Preloaded()) {
        std::fprintf(stderr, "nuvusbsim: runs only under umockdev-wrapper\n");
        return 2;
    }

    nuv::SystemClock clock;
    nuv::usbemu::EmulatedUsb usb(clock);
    nuv::usbemu::Cable& cable = usb.Plug();
    cable.WithChip([sensors](nuv::usbemu::Ft232rChip& chip) {
        chip.Wire().keepRecords = false;  // the demonstration runs as long as the program
        nuv::sim::ModuleSimulator& module = nuv::sim::AttachModuleSimulator(chip.Wire());
        module.keepRecords = false;
        if (sensors >= 0) module.sensorCount.fill(sensors);
        return 0;
    });
    ::setenv("NUV_USB_EMULATED", "1", 1);

    struct sigaction action {};
    action.sa_handler = Forward;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("nuvusbsim: fork");
        return 1;
    }
    if (pid == 0) {
        ::execvp(argv[first], argv + first);
        std::fprintf(stderr, "nuvusbsim: cannot run %s: %s\n", argv[first], std::strerror(errno));
        std::_Exit(127);
    }
    child = pid;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("nuvusbsim: waitpid");
            return 1;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
