#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"

namespace nuv::cli {

// Which driver the command line asked for.
struct DriverChoice {
    bool simulate = false;
    std::string port;  // empty: discovery by USB description
};

// What the command-line program works with: injected so that tests run it on the simulated
// module and a virtual clock.
struct Environment {
    // The driver for a choice; the environment keeps it alive for the run.
    std::function<FtdiApi&(const DriverChoice&)> driverFor;
    Clock& clock;
    EventPump& pump;
    std::ostream& out;
    std::ostream& err;
    // Whether a running watch should end now (Ctrl-C).
    std::function<bool()> interrupted = [] { return false; };
    // Whether `out` is a terminal, where progress is drawn in place.
    bool outIsTerminal = false;
};

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs `nuvctl` with its arguments (without the program name); returns the exit status.
int Run(const std::vector<std::string>& args, Environment& environment);

}  // namespace nuv::cli
