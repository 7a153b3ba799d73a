#include "sim/SimulatedModule.hpp"

#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {

SimDevice& AddSimulatedModule(SimFtdi& driver, double faultRate, int sensors) {
    SimDevice& device = driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
    // The demonstration module runs as long as the tool: it keeps no records of the traffic.
    device.keepRecords = false;
    ModuleSimulator& module = AttachModuleSimulator(device);
    module.keepRecords = false;
    module.faults.randomRate = faultRate;
    if (sensors >= 0) module.sensorCount.fill(sensors);
    return device;
}

}  // namespace nuv::sim
