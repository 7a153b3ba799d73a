#pragma once

#include "sim/SimFtdi.hpp"

namespace nuv::sim {

inline constexpr const char* kSimulatedDescription = "ORNEVA NUV";
inline constexpr const char* kSimulatedSerial = "NUV13001";

// Adds the simulated module's FTDI device to a simulated driver: described "ORNEVA NUV", with a
// hardware-version text of a NUV13 board. Its protocol side is attached by the module model.
SimDevice& AddSimulatedModule(SimFtdi& driver);

}  // namespace nuv::sim
