#include "sim/SimulatedModule.hpp"

#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {

SimDevice& AddSimulatedModule(SimFtdi& driver, double faultRate) {
    SimDevice& device = driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
    AttachModuleSimulator(device).faults.randomRate = faultRate;
    return device;
}

}  // namespace nuv::sim
