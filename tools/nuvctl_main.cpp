// nuvctl: the NUV module from the command line, on the same core as the window.
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>

#include "link/CableDriver.hpp"
#include "link/PortKeeper.hpp"
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
    std::unique_ptr<nuv::sim::SimFtdi> simulated;
    std::unique_ptr<nuv::PortKeeper> simulatedKeeper;
    std::unique_ptr<nuv::CableDriver> cables;
    nuv::cli::Environment environment{
        [&](const nuv::cli::DriverChoice& choice) -> nuv::FtdiApi& {
            if (choice.simulate) {
                simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
                nuv::sim::AddSimulatedModule(*simulated);
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
        std::cout,
        std::cerr,
        [] { return gInterrupted.load(); }};

    const std::vector<std::string> args(argv + 1, argv + argc);
    return nuv::cli::Run(args, environment);
}
