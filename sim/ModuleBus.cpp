#include "sim/ModuleBus.hpp"

#include <algorithm>

namespace nuv::sim {

ModuleSimulator& ModuleBus::Add(std::uint8_t address, std::uint32_t seed) {
    auto module = std::make_shared<ModuleSimulator>(seed);
    module->Configure(address, module->intervalSeconds);
    modules_.push_back(module);
    return *module;
}

ModuleSimulator* ModuleBus::At(std::uint8_t address) {
    for (const auto& module : modules_) {
        if (module->address == address) return module.get();
    }
    return nullptr;
}

void ModuleBus::OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) {
    for (const auto& module : modules_) module->OnReceive(device, byte, atNs);
}

void ModuleBus::OnLines(SimDevice& device, std::int64_t atNs) {
    for (const auto& module : modules_) module->OnLines(device, atNs);
}

void ModuleBus::OnTime(SimDevice& device, std::int64_t nowNs) {
    for (const auto& module : modules_) module->OnTime(device, nowNs);
}

std::optional<std::int64_t> ModuleBus::NextEventNs() const {
    std::optional<std::int64_t> next;
    for (const auto& module : modules_) {
        if (const auto event = module->NextEventNs()) {
            next = next ? std::min(*next, *event) : *event;
        }
    }
    return next;
}

ModuleBus& AttachModuleBus(SimDevice& device, const std::vector<int>& addresses,
                           const std::vector<int>& silent) {
    auto bus = std::make_shared<ModuleBus>();
    // Seeds 1, 2, ...: the first module has the serials of a module alone on its cable.
    std::uint32_t seed = 1;
    for (const int address : addresses) {
        ModuleSimulator& module = bus->Add(static_cast<std::uint8_t>(address), seed++);
        if (std::find(silent.begin(), silent.end(), address) != silent.end()) {
            module.faults.silent = -1;
        }
    }
    device.AttachPeer(bus);
    return *bus;
}

}  // namespace nuv::sim
