// nuvctl: the NUV module from the command line, on the same core as the window.
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <ostream>

#include <cerrno>

#include "core/AtomicFile.hpp"
#include "link/CableDriver.hpp"
#include "link/PortKeeper.hpp"
#include "report/ReportPdf.hpp"
#include "sim/SimFtdi.hpp"
#include "sim/SimulatedModule.hpp"
#include "tools/Nuvctl.hpp"

namespace {

// The first stop signal that came (SIGINT, SIGTERM); 0 while none.
std::atomic<int> gStopSignal{0};

void OnSignal(int signal) {
    int none = 0;
    gStopSignal.compare_exchange_strong(none, signal);
    // A write that waits for a stalled reader ends too.
    nuv::StopWaitingWrites();
}

// The command stops at its next exchange and leaves program mode; a second signal ends the
// program at once (the handler is reset by the first), for one that must not wait for that.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A reader that has gone (a pipe, a FIFO) is a failed write with its reason, not the end
    // of the program: the module must still be taken out of program mode.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

// Whether a standard descriptor is closed. A closed one is filled with /dev/null so that no file
// the program opens later takes its number and receives the program's output by mistake.
bool ClosedStandardDescriptor(int fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
    }
    return true;
}

int main(int argc, char* argv[]) {
    ClosedStandardDescriptor(STDIN_FILENO);
    const bool outputClosed = ClosedStandardDescriptor(STDOUT_FILENO);
    ClosedStandardDescriptor(STDERR_FILENO);

    // Serial ports need the Qt core; no event loop runs. A PDF needs Qt's fonts, which come with
    // its GUI application, here on the offscreen platform unless the environment names one.
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<QCoreApplication> application;
    if (nuv::cli::DrawsPdf(args)) {
        nuv::PreferOffscreenPlatform();
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    CatchStopSignals();

    nuv::SystemClock clock;
    nuv::NullEventPump pump;
    // Output to a closed standard output fails as writing to a closed descriptor does.
    nuv::cli::DescriptorBuffer outputBuffer(outputClosed ? -1 : STDOUT_FILENO);
    std::ostream output(&outputBuffer);
    std::unique_ptr<nuv::sim::SimFtdi> simulated;
    std::unique_ptr<nuv::PortKeeper> simulatedKeeper;
    std::unique_ptr<nuv::CableDriver> cables;
    nuv::cli::Environment environment{
        [&](const nuv::cli::DriverChoice& choice) -> nuv::FtdiApi& {
            if (choice.simulate) {
                simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
                if (choice.simulatedBus.empty()) {
                    nuv::sim::AddSimulatedModule(*simulated);
                } else {
                    nuv::sim::AddSimulatedBus(*simulated, choice.simulatedBus);
                }
                simulatedKeeper = std::make_unique<nuv::PortKeeper>(*simulated);
                return *simulatedKeeper;
            }
            // --port: that tty alone; else the FTDI cables on the USB.
            std::vector<nuv::ExplicitPort> ports;
            if (!choice.port.empty()) ports.push_back({choice.port, "ORNEVA NUV", ""});
            cables =
                std::make_unique<nuv::CableDriver>(clock, std::move(ports), choice.port.empty());
            cables->notice = [](const std::string& line) {
                std::cerr << "nuvctl: " << line << '\n';
            };
            return cables->Api();
        },
        clock,
        pump,
        output,
        std::cerr,
        [] { return gStopSignal.load() != 0; },
        [] { return gStopSignal.load(); },
        ::isatty(STDERR_FILENO) == 1};
    environment.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    environment.processId = static_cast<long>(::getpid());

    return nuv::cli::Run(args, environment);
}
