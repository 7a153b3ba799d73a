#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::sim {

// Several modules on one RS485 cable, each with an address of its own: every byte the host
// writes reaches all of them, and each answers only the requests for its address, so a request
// for an address that no module has stays unanswered. Answers take their turn on the one wire.
// (A program-mode entry is heard by every module on the bus, as on a real one: program-mode
// commands are for a cable with one module.)
class ModuleBus final : public Peer {
  public:
    // A module at `address` (configured, stored too), told apart from the others by `seed`
    // (its sensors' serials).
    ModuleSimulator& Add(std::uint8_t address, std::uint32_t seed);
    // The module at `address`; none when the bus has none there.
    ModuleSimulator* At(std::uint8_t address);
    std::size_t Size() const { return modules_.size(); }

    void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) override;
    void OnLines(SimDevice& device, std::int64_t atNs) override;
    void OnTime(SimDevice& device, std::int64_t nowNs) override;
    std::optional<std::int64_t> NextEventNs() const override;

  private:
    std::vector<std::shared_ptr<ModuleSimulator>> modules_;
};

// Puts a bus on a device: a module at each of `addresses` (1..247), in that order, seeded 1, 2,
// ... (the first has the serials of a module alone on its cable). A module at
// an address of `silent` never answers (a dead transceiver): the tool cannot tell it from an
// empty address, but it is there to be told to speak again.
ModuleBus& AttachModuleBus(SimDevice& device, const std::vector<int>& addresses,
                           const std::vector<int>& silent = {});

}  // namespace nuv::sim
