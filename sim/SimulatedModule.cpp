#include "sim/SimulatedModule.hpp"

#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {

SimDevice& AddSimulatedModule(SimFtdi& driver, double faultRate, int sensors) {
    SimDevice& device = driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
    ModuleSimulator& module = AttachModuleSimulator(device);
    module.faults.randomRate = faultRate;
    if (sensors >= 0) module.sensorCount.fill(sensors);
    return device;
}

}  // namespace nuv::sim
