// nuvctl: the NUV module from the command line, on the same core as the window.
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>

#include "link/SerialPortFtdi.hpp"
#include "sim/SimFtdi.hpp"
#include "sim/SimulatedModule.hpp"
#include "tools/Nuvctl.hpp"

namespace {

std::atomic<bool> gInterrupted{false};

void OnSignal(int) {
    gInterrupted = true;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Serial ports need the Qt core; no event loop runs.
    QCoreApplication application(argc, argv);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    nuv::SystemClock clock;
    nuv::NullEventPump pump;
    std::unique_ptr<nuv::FtdiApi> driver;
    nuv::cli::Environment environment{
        [&](const nuv::cli::DriverChoice& choice) -> nuv::FtdiApi& {
            if (choice.simulate) {
                auto simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
                nuv::sim::AddSimulatedModule(*simulated);
                driver = std::move(simulated);
            } else if (!choice.port.empty()) {
                driver = std::make_unique<nuv::SerialPortFtdi>(
                    std::vector<nuv::ExplicitPort>{{choice.port, "ORNEVA NUV", ""}}, false);
            } else {
                driver = std::make_unique<nuv::SerialPortFtdi>();
            }
            return *driver;
        },
        clock,
        pump,
        std::cout,
        std::cerr,
        [] { return gInterrupted.load(); }};
    environment.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;

    const std::vector<std::string> args(argv + 1, argv + argc);
    return nuv::cli::Run(args, environment);
}
