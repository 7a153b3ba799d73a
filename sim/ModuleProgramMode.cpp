// The simulated module's program mode: blocks in, blocks out.
#include <algorithm>
#include <numeric>

#include "protocol/ProgramBlock.hpp"
#include "sim/ModuleCommands.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {
namespace {

using namespace command;

constexpr std::uint8_t kAccepted = 0x06;
constexpr std::uint8_t kRefused = 0x15;

// Where the module keeps what in its memory.
constexpr std::size_t kHeader = 0x000;          // "NUV" and the layout version
constexpr std::size_t kConfiguration = 0x004;   // address, interval
constexpr std::size_t kIdentification = 0x006;  // firmware class and build
constexpr std::size_t kCapacity = 0x008;        // sensors per channel
constexpr std::size_t kSensorCounts = 0x010;    // one byte per channel
constexpr std::size_t kSerials = 0x100;         // per channel 16 levels of 8 bytes
constexpr std::size_t kSerialsPerChannel = 0x80;

using Reply = std::array<std::uint8_t, kProgramBlockSize>;

}  // namespace

ModuleSimulator::Block ModuleSimulator::Accepted() {
    Block reply{};
    reply[0] = kAccepted;
    return reply;
}

ModuleSimulator::Block ModuleSimulator::Refused() {
    Block reply{};
    reply[0] = kRefused;
    return reply;
}

void ModuleSimulator::Configure(std::uint8_t moduleAddress, std::uint8_t interval) {
    address = storedAddress = moduleAddress;
    intervalSeconds = storedInterval = interval;
}

std::vector<int> ModuleSimulator::Order(int channel) const {
    const auto count =
        static_cast<std::size_t>(std::clamp(sensorCount.at(channel), 0, kMaxSensors));
    const std::vector<int>& kept = order_.at(channel);
    if (kept.size() == count) return kept;
    // A search finds the sensors in the order of their serial numbers.
    std::vector<int> levels(count);
    std::iota(levels.begin(), levels.end(), 0);
    const auto& chain = sensors_.at(channel);
    std::sort(levels.begin(), levels.end(),
              [&](int a, int b) { return chain[a].serial < chain[b].serial; });
    return levels;
}

std::array<std::uint8_t, ModuleSimulator::kMemorySize> ModuleSimulator::Memory() const {
    std::array<std::uint8_t, kMemorySize> memory{};
    memory.fill(0xFF);
    const std::uint8_t header[] = {'N', 'U', 'V', 0x01};
    std::copy(std::begin(header), std::end(header), memory.begin() + kHeader);
    memory[kConfiguration] = storedAddress;
    memory[kConfiguration + 1] = storedInterval;
    memory[kIdentification] = firmwareClass;
    memory[kIdentification + 1] = firmwareBuild;
    memory[kCapacity] = static_cast<std::uint8_t>(sensorsPerChannel);
    for (int c = 0; c < kChannels; ++c) {
        memory[kSensorCounts + static_cast<std::size_t>(c)] =
            static_cast<std::uint8_t>(sensorCount[static_cast<std::size_t>(c)]);
        const std::vector<int>& stored = storedOrder_[static_cast<std::size_t>(c)];
        const std::vector<int> levels =
            stored.size() == static_cast<std::size_t>(sensorCount[static_cast<std::size_t>(c)])
                ? stored
                : Order(c);
        for (std::size_t level = 0; level < levels.size(); ++level) {
            const auto& serial =
                sensors_[static_cast<std::size_t>(c)][static_cast<std::size_t>(levels[level])]
                    .serial;
            std::copy(
                serial.begin(), serial.end(),
                memory.begin() +
                    static_cast<std::ptrdiff_t>(
                        kSerials + static_cast<std::size_t>(c) * kSerialsPerChannel + level * 8));
        }
    }
    return memory;
}

void ModuleSimulator::Restart() {
    programMode = false;
    apc_ = Segregation{};
    pendingSaveChannel_ = -1;
    address = storedAddress;
    intervalSeconds = storedInterval;
    order_ = storedOrder_;
}

void ModuleSimulator::HandleBlock(SimDevice& device, const std::vector<std::uint8_t>& frame,
                                  std::int64_t atNs) {
    if (frame.size() != kProgramWireSize) return;  // no block: not taken
    const DecodedBlock block = DecodeProgramBlock(
        std::span<const std::uint8_t, kProgramWireSize>(frame.data(), kProgramWireSize));
    if (!block.checksumsOk) {
        SendBlock(device, Refused(), atNs);
        return;
    }
    if (keepRecords)
        blocks_.emplace_back(block.bytes.begin(), block.bytes.begin() + kProgramBlockSize);
    // A refused block changes nothing.
    if (ModuleFaults::Take(faults.refuse)) {
        SendBlock(device, Refused(), atNs);
        return;
    }
    const std::uint8_t command = block.bytes[1];
    const std::uint8_t sub = block.bytes[2];
    const std::uint8_t parameter = block.bytes[kParameter];
    Reply reply = Accepted();
    if (HandleSensorBlock(block, atNs, reply)) {
        SendBlock(device, reply, atNs);
        return;
    }
    std::int64_t readyAt = atNs;
    bool restart = false;
    switch (Code(command, sub)) {
        case Code(kRead, kIdentify):
            reply[kData] = firmwareClass;
            reply[kData + 1] = firmwareBuild;
            break;
        case Code(kSave, kSaveAddress):
            if (parameter == 0 || parameter > 247) {
                reply = Refused();
            } else {
                address = parameter;
            }
            break;
        case Code(kSave, kSaveInterval):
            if (parameter == 0) {
                reply = Refused();
            } else {
                intervalSeconds = parameter;
            }
            break;
        case Code(kSave, kSaveAll):  // the module then starts again with it
            storedAddress = address;
            storedInterval = intervalSeconds;
            for (int c = 0; c < kChannels; ++c) {
                storedOrder_[static_cast<std::size_t>(c)] = Order(c);
            }
            readyAt += saveDurationNs;
            restart = true;
            break;
        case Code(kReset, kResetByCode):
            restart = true;
            ++resetCounters[0];
            ++resetCounters[2];  // the firmware resets itself through its watchdog
            break;
        case Code(kLeave, kLeaveSub):
            programMode = false;
            break;
        case Code(kRead, kMemory): {  // address high, low, count
            const std::size_t from = static_cast<std::size_t>(block.bytes[kParameter] << 8U |
                                                              block.bytes[kParameter + 1]);
            const std::size_t count = block.bytes[kParameter + 2];
            if (count == 0 || count > kDataBytes || from + count > kMemorySize) {
                reply = Refused();
                break;
            }
            const auto memory = Memory();
            std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(from), count,
                        reply.begin() + kData);
            break;
        }
        case Code(kRead, kConfigurationArea): {
            const auto memory = Memory();
            std::copy_n(memory.begin(), kDataBytes, reply.begin() + kData);
            break;
        }
        case Code(kEndSegregation,
                  kEndSegregationSub): {  // the serials of channel 0 as the memory keeps them
            const auto memory = Memory();
            std::copy_n(memory.begin() + kSerials, kDataBytes, reply.begin() + kData);
            break;
        }
        default:
            reply = Refused();
            break;
    }
    SendBlock(device, reply, readyAt);
    if (restart) Restart();
}

void ModuleSimulator::SendBlock(SimDevice& device, std::array<std::uint8_t, 126> reply,
                                std::int64_t atNs) {
    // The module's own mask, new for every reply.
    BlockMask mask{};
    for (std::uint8_t& byte : mask) byte = static_cast<std::uint8_t>(NextRandom());
    ProgramWire wire = EncodeProgramBlock(reply, mask);
    // Only an answer that could be spoilt counts.
    if (faults.cancellingFlips != 0 && FlipCancellingBits(reply, wire)) {
        ModuleFaults::Take(faults.cancellingFlips);
    }
    SendWithFaults(device, {wire.begin(), wire.end()}, atNs + blockTurnaroundNs, 127);
}

bool ModuleSimulator::FlipCancellingBits(const std::array<std::uint8_t, 126>& reply,
                                         ProgramWire& wire) {
    const std::size_t first = std::clamp<std::size_t>(faults.flipFirst, 1, kMaskedLast);
    const std::size_t last = std::clamp<std::size_t>(faults.flipLast, first, kMaskedLast);
    // The bits that are set in some byte of the range and clear in another.
    std::vector<unsigned> bits;
    for (unsigned bit = 0; bit < 8; ++bit) {
        bool set = false;
        bool clear = false;
        for (std::size_t i = first; i <= last; ++i)
            ((reply[i] >> bit & 1U) != 0 ? set : clear) = true;
        if (set && clear) bits.push_back(bit);
    }
    if (bits.empty()) return false;
    const unsigned bit = bits[NextRandom() % bits.size()];
    std::vector<std::size_t> ones;
    std::vector<std::size_t> zeros;
    for (std::size_t i = first; i <= last; ++i)
        ((reply[i] >> bit & 1U) != 0 ? ones : zeros).push_back(i);
    // Masked bytes carry the plain byte XOR the mask: a bit flipped on the wire is flipped in
    // the plain byte, and the 1 lost in one byte is the 1 gained in the other.
    const auto mask = static_cast<std::uint8_t>(1U << bit);
    wire[ones[NextRandom() % ones.size()]] ^= mask;
    wire[zeros[NextRandom() % zeros.size()]] ^= mask;
    return true;
}

}  // namespace nuv::sim
