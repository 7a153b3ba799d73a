#pragma once

#include <vector>

#include "sim/SimFtdi.hpp"

namespace nuv::sim {

class ModuleBus;

inline constexpr const char* kSimulatedDescription = "ORNEVA NUV";
inline constexpr const char* kSimulatedSerial = "NUV13001";

// Adds the simulated module's FTDI device to a simulated driver: described "ORNEVA NUV", with a
// hardware-version text of a NUV13 board, and the module itself on its cable. `faultRate` is the
// share of answers that the module spoils at random (0 for a perfect line).
// `sensors`, when not negative, is the number of sensors on every channel's probe; `levels` the
// sensor positions per channel of its firmware (10, 12 or 16).
SimDevice& AddSimulatedModule(SimFtdi& driver, double faultRate = 0.0, int sensors = -1,
                              int levels = 10);

// Adds a cable with several simulated modules on it, one at each of `addresses`, described as
// AddSimulatedModule's device; each module as that one's (10 sensors a channel, `faultRate` of
// spoilt answers), its sensors' serials its own. Modules at the `silent` addresses never answer.
// `levels` is the sensor positions per channel of every module's firmware (10, 12 or 16).
ModuleBus& AddSimulatedBus(SimFtdi& driver, const std::vector<int>& addresses,
                           double faultRate = 0.0, const std::vector<int>& silent = {},
                           int levels = 10);

}  // namespace nuv::sim
