#include "sim/SimulatedModule.hpp"

namespace nuv::sim {

SimDevice& AddSimulatedModule(SimFtdi& driver) {
    return driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
}

}  // namespace nuv::sim
