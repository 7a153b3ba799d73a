#pragma once

#include <array>
#include <functional>
#include <iosfwd>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"
#include "mqtt/BrokerSettings.hpp"
#include "mqtt/MosquittoPublisher.hpp"

namespace nuv::cli {

// Which driver the command line asked for.
struct DriverChoice {
    bool simulate = false;
    std::string port;  // empty: discovery by USB description
    // With `simulate`: the addresses of simulated modules on one bus (--simulate-bus); empty for
    // the one simulated module at address 2.
    std::vector<int> simulatedBus;
};

// Starts the publisher of `watch --mqtt`.
using PublisherStarter = std::function<std::unique_ptr<mqtt::Publisher>(
    const mqtt::PublisherOptions& options, std::string& reason)>;

// What the command-line program works with: injected so that tests run it on the simulated
// module and a virtual clock.
struct Environment {
    // The driver for a choice; the environment keeps it alive for the run.
    std::function<FtdiApi&(const DriverChoice&)> driverFor;
    Clock& clock;
    EventPump& pump;
    std::ostream& out;
    std::ostream& err;
    // Whether the running command is to stop (Ctrl-C, SIGTERM): it ends at its next exchange
    // with the module, leaves program mode and writes no file half.
    std::function<bool()> interrupted = [] { return false; };
    // The signal that asked for the stop (SIGINT, SIGTERM): the exit status is 128 + its
    // number. 0 when none is known, which counts as SIGINT once `interrupted` says so.
    std::function<int()> stopSignal = [] { return 0; };
    // Whether standard error is a terminal, where long commands show a progress line.
    bool errIsTerminal = false;
    // Whether `out` is a terminal, where progress is drawn in place.
    bool outIsTerminal = false;
    // The MQTT publisher of `watch --mqtt`: libmosquitto's; tests start it with their timings.
    PublisherStarter startPublisher = mqtt::StartMosquittoPublisher;
    // Reads an environment variable (the broker's credentials); getenv when empty.
    mqtt::EnvironmentLookup variable = {};
    // This process's id, in the client id the broker knows the bridge by.
    long processId = 0;
};

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// A command stopped by a signal exits as a shell reports a program killed by it.
inline constexpr int kExitSignalBase = 128;

// Standard output on a file descriptor that remembers why writing failed (a full disk, a closed
// descriptor), so that the program can say so and fail instead of losing its output silently.
class DescriptorBuffer final : public std::streambuf {
  public:
    explicit DescriptorBuffer(int fd);
    ~DescriptorBuffer() override;
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;
    // The system's error number of the first failed write; 0 while none failed.
    int Error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    bool Drain();
    int fd_;
    int error_ = 0;
    std::array<char, 4096> buffer_{};
};

// Whether a run draws a PDF (and needs Qt's GUI application for its fonts).
bool DrawsPdf(const std::vector<std::string>& args);

// Runs `nuvctl` with its arguments (without the program name); returns the exit status.
int Run(const std::vector<std::string>& args, Environment& environment);

}  // namespace nuv::cli
