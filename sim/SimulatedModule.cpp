#include "sim/SimulatedModule.hpp"

#include "sim/ModuleBus.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {

SimDevice& AddSimulatedModule(SimFtdi& driver, double faultRate, int sensors, int levels) {
    SimDevice& device = driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
    // The demonstration module runs as long as the tool: it keeps no records of the traffic.
    device.keepRecords = false;
    ModuleSimulator& module = AttachModuleSimulator(device);
    module.keepRecords = false;
    module.faults.randomRate = faultRate;
    if (sensors >= 0) module.sensorCount.fill(sensors);
    // The firmware's class names its capacity in the low nibble: 0 for 10, 1 for 12, 2 for 16.
    module.firmwareClass = levels == 16 ? 0x02 : levels == 12 ? 0x01 : 0x00;
    module.sensorsPerChannel = levels == 16 || levels == 12 ? levels : 10;
    return device;
}

ModuleBus& AddSimulatedBus(SimFtdi& driver, const std::vector<int>& addresses, double faultRate,
                           const std::vector<int>& silent, int levels) {
    SimDevice& device = driver.AddDevice(kSimulatedDescription, kSimulatedSerial);
    device.keepRecords = false;
    ModuleBus& bus = AttachModuleBus(device, addresses, silent);
    for (const int address : addresses) {
        ModuleSimulator& module = *bus.At(static_cast<std::uint8_t>(address));
        module.keepRecords = false;
        module.sensorsPerChannel = levels;
        module.faults.randomRate = faultRate;
    }
    return bus;
}

}  // namespace nuv::sim
