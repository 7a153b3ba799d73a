// The simulated module's sensors in program mode: the search of a channel, the segregation run
// with its operator, and the order saved by serial.
#include <algorithm>
#include <cmath>

#include "sim/ModuleCommands.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::sim {
namespace {

using namespace command;

constexpr std::uint8_t kSameSerials = 0x01;
constexpr std::uint8_t kDuplicates = 0x02;

// Appends the levels of `all` that `levels` does not hold yet, in their order.
void AppendMissing(std::vector<int>& levels, const std::vector<int>& all) {
    for (int level : all) {
        if (std::find(levels.begin(), levels.end(), level) == levels.end()) levels.push_back(level);
    }
}

}  // namespace

std::size_t ModuleSimulator::Capacity() const {
    switch (firmwareClass & 0x0FU) {
        case 1:
            return 12;
        case 2:
            return 16;
        default:
            return 10;
    }
}

std::uint8_t ModuleSimulator::CountByte(int count) const {
    return static_cast<std::uint8_t>(faults.countByte >= 0 ? faults.countByte : count);
}

int ModuleSimulator::Found(int channel) const {
    if (shorted.at(static_cast<std::size_t>(channel))) return 0;
    return std::clamp(sensorCount.at(static_cast<std::size_t>(channel)), 0, kMaxSensors);
}

ModuleSimulator::Table ModuleSimulator::ChannelTable(int channel,
                                                     const std::vector<int>& levels) const {
    Table table{};
    const std::size_t capacity = Capacity();
    const std::size_t serials = std::min(levels.size(), capacity);
    for (std::size_t i = 0; i < serials; ++i) {
        const auto& serial =
            sensors_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(levels[i])].serial;
        std::copy(serial.begin(), serial.end(), table.begin() + static_cast<std::ptrdiff_t>(8 * i));
    }
    // The count says how many sensors answered, even more than the table has room for.
    table[8 * capacity] = CountByte(Found(channel));
    return table;
}

std::vector<int> ModuleSimulator::SegregationLevels() const {
    std::vector<int> levels = apc_.sorted;
    AppendMissing(levels, Order(apc_.channel));
    levels.resize(
        std::min<std::size_t>(levels.size(), static_cast<std::size_t>(Found(apc_.channel))));
    return levels;
}

double ModuleSimulator::Bump(int level, std::int64_t atNs) const {
    const Operator& op = apcOperator;
    for (const Heat& heat : apc_.heats) {
        if (heat.level != level || atNs < heat.startNs) continue;
        if (atNs < heat.stopNs)
            return op.degreesPerSecond * static_cast<double>(atNs - heat.startNs) / 1e9;
        const double peak =
            op.degreesPerSecond * static_cast<double>(heat.stopNs - heat.startNs) / 1e9;
        return peak * std::exp(-static_cast<double>(atNs - heat.stopNs) /
                               static_cast<double>(op.coolingTauNs));
    }
    return 0.0;
}

std::uint16_t ModuleSimulator::SegregationRaw(int level, std::int64_t atNs) const {
    const int raw = static_cast<std::int16_t>(SensorRaw(apc_.channel, level, atNs)) +
                    static_cast<int>(std::lround(Bump(level, atNs) * 16));
    return static_cast<std::uint16_t>(raw);
}

// The run from its last step up to `nowNs`: the operator heats the sensor of the next level
// (top first), the module takes it as heated when it has warmed by `heatedAbove`, and asks for
// the next one once it has cooled below `cooledBelow`.
void ModuleSimulator::AdvanceSegregation(std::int64_t nowNs) {
    const Operator& op = apcOperator;
    const std::int64_t detectNs =
        static_cast<std::int64_t>(op.heatedAbove / op.degreesPerSecond * 1e9);
    const double peak = op.degreesPerSecond * static_cast<double>(op.heatNs) / 1e9;
    const std::int64_t coolNs = static_cast<std::int64_t>(static_cast<double>(op.coolingTauNs) *
                                                          std::log(peak / op.cooledBelow));
    const int found = Found(apc_.channel);
    while (apc_.active && apc_.state != 0) {
        const std::int64_t heatStart = apc_.stepStartNs + op.reactNs;
        if (apc_.state == 1) {
            if (apc_.heats.size() == apc_.sorted.size()) {
                const int level = static_cast<int>(apc_.sorted.size());
                apc_.heats.push_back(Heat{level, heatStart, heatStart + op.heatNs});
            }
            if (nowNs < heatStart + detectNs) return;
            apc_.sorted.push_back(apc_.heats.back().level);
            apc_.state = 2;
        } else {
            const std::int64_t cooledAt = apc_.heats.back().stopNs + coolNs;
            if (nowNs < cooledAt) return;
            apc_.stepStartNs = cooledAt;
            apc_.state = static_cast<int>(apc_.sorted.size()) >= found ? 0 : 1;
            // Every sensor has its level: the order is the channel's from now on.
            if (apc_.state == 0)
                order_[static_cast<std::size_t>(apc_.channel)] = SegregationLevels();
        }
    }
}

bool ModuleSimulator::ApplySortedTable(int channel, const Table& table) {
    const std::size_t capacity = Capacity();
    const std::size_t count = table[8 * capacity];
    const std::size_t found = static_cast<std::size_t>(Found(channel));
    if (count > capacity || count > found) return false;
    std::vector<int> levels;
    const std::vector<int> order = Order(channel);
    for (std::size_t j = 0; j < count; ++j) {
        const auto entry = std::span(table).subspan(8 * j, 8);
        const auto match = std::find_if(order.begin(), order.end(), [&](int level) {
            const auto& serial =
                sensors_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(level)].serial;
            return std::equal(serial.begin(), serial.end(), entry.begin());
        });
        if (match == order.end()) return false;  // a serial this channel does not have
        if (std::find(levels.begin(), levels.end(), *match) != levels.end()) return false;
        levels.push_back(*match);
    }
    AppendMissing(levels, order);
    order_[static_cast<std::size_t>(channel)] = levels;
    return true;
}

bool ModuleSimulator::HandleSensorBlock(const DecodedBlock& block, std::int64_t atNs,
                                        Block& reply) {
    const std::uint8_t command = block.bytes[1];
    const std::uint8_t sub = block.bytes[2];
    AdvanceSegregation(atNs);
    if (command == kSearch) {
        reply = SearchReply(sub, block.bytes[kParameter], reply);
        return true;
    }
    if (command == kSegregate) {
        reply = SegregationReply(sub, atNs, reply);
        return true;
    }
    if (command == kEndSegregation && sub == kEndSegregationSub &&
        (apc_.active || !apc_.sorted.empty())) {
        reply = EndOfSegregationReply(reply);
        return true;
    }
    if (command == kSave && ((sub >= kSaveOrderFirst && sub < kSaveOrderFirst + kChannels) ||
                             (sub >= kSaveOrderSecond && sub < kSaveOrderSecond + kChannels))) {
        reply = SavedOrderReply(sub, block, reply);
        return true;
    }
    return false;
}

// The search of a channel: its table, or the part of a table of 16 levels that `part` names.
ModuleSimulator::Block ModuleSimulator::SearchReply(std::uint8_t sub, std::uint8_t part,
                                                    Block reply) {
    if (sub >= kChannels) return Refused();
    if (ModuleFaults::Take(faults.sameSerials)) {
        reply.fill(0);
        reply[0] = kSameSerials;
        return reply;
    }
    const int channel = sub;
    std::vector<int> levels = Order(channel);
    levels.resize(static_cast<std::size_t>(Found(channel)));
    const Table table = ChannelTable(channel, levels);
    const std::size_t tableBytes = 8 * Capacity() + 1;
    if (tableBytes <= kDataBytes) {
        std::copy_n(table.begin(), tableBytes, reply.begin() + kData);
    } else if (part == 0) {
        std::copy_n(table.begin(), kFirstPart, reply.begin() + kData);
    } else {
        std::copy_n(table.begin() + kFirstPart, kSecondPart, reply.begin() + kData);
    }
    // Two sensors of one serial: the search is done, with a warning.
    std::vector<std::array<std::uint8_t, 8>> serials;
    for (int level : levels)
        serials.push_back(sensors_[sub][static_cast<std::size_t>(level)].serial);
    std::sort(serials.begin(), serials.end());
    if (std::adjacent_find(serials.begin(), serials.end()) != serials.end()) reply[0] = kDuplicates;
    return reply;
}

// The segregation: its start on a channel, or a read of the run's table and progress.
ModuleSimulator::Block ModuleSimulator::SegregationReply(std::uint8_t sub, std::int64_t atNs,
                                                         Block reply) {
    if (sub < kChannels) {  // start: the module searches the channel and waits for heat
        const int found = Found(sub);
        apc_ = Segregation{};
        apc_.channel = sub;
        apc_.active = found > 1;
        apc_.state = apc_.active ? 1 : 0;
        apc_.stepStartNs = atNs;
        reply[kData] = CountByte(found);
        return reply;
    }
    const std::vector<int> levels = SegregationLevels();
    const Table table = ChannelTable(apc_.channel, levels);
    switch (sub) {
        case kTableFirst:
        case kProgress:
            std::copy_n(table.begin(), kFirstPart, reply.begin() + kData);
            break;
        case kTableSecond:
        case kStatus:
            std::copy_n(table.begin() + kFirstPart, kSecondPart, reply.begin() + kData);
            break;
        default:
            return Refused();
    }
    const std::uint8_t sorted = CountByte(static_cast<int>(apc_.sorted.size()));
    if (sub == kProgress) {  // also the layout of ten positions: temperatures, count, state
        for (std::size_t i = 0; i < 10 && i < levels.size(); ++i) {
            const std::uint16_t raw = SegregationRaw(levels[i], atNs);
            reply[kProgressTemperatures + 2 * i] = static_cast<std::uint8_t>(raw >> 8U);
            reply[kProgressTemperatures + 2 * i + 1] = static_cast<std::uint8_t>(raw & 0xFFU);
        }
        reply[kProgressSorted] = sorted;
        reply[kProgressState] = apc_.state;
    } else if (sub == kStatus) {  // the status record
        for (std::size_t i = 0; i < kStatusTemperatures && i < levels.size(); ++i) {
            const std::uint16_t raw = SegregationRaw(levels[i], atNs);
            reply[kStatusRecord + 2 * i] = static_cast<std::uint8_t>(raw >> 8U);
            reply[kStatusRecord + 2 * i + 1] = static_cast<std::uint8_t>(raw & 0xFFU);
        }
        reply[kStatusRecord + kStatusSorted] = sorted;
        reply[kStatusRecord + kStatusState] = apc_.state;
    }
    return reply;
}

// The end of a run: the order found so far becomes the channel's, the rest after it.
ModuleSimulator::Block ModuleSimulator::EndOfSegregationReply(Block reply) {
    const std::vector<int> levels = SegregationLevels();
    const Table table = ChannelTable(apc_.channel, levels);
    std::copy_n(table.begin(), kDataBytes, reply.begin() + kData);
    std::vector<int> order = levels;
    AppendMissing(order, Order(apc_.channel));
    order_[static_cast<std::size_t>(apc_.channel)] = order;
    apc_ = Segregation{};
    return reply;
}

// The order by serial: in one block, or in two for 16 levels.
ModuleSimulator::Block ModuleSimulator::SavedOrderReply(std::uint8_t sub, const DecodedBlock& block,
                                                        Block reply) {
    const bool second = sub >= kSaveOrderSecond;
    const int channel = second ? sub - kSaveOrderSecond : sub - kSaveOrderFirst;
    const auto parameters = block.bytes.begin() + kParameter;
    const std::size_t tableBytes = 8 * Capacity() + 1;
    if (tableBytes <= kOrderRoom) {
        Table table{};
        std::copy_n(parameters, tableBytes, table.begin());
        return second || !ApplySortedTable(channel, table) ? Refused() : reply;
    }
    if (!second) {
        pendingSave_ = Table{};
        std::copy_n(parameters, kFirstPart, pendingSave_.begin());
        pendingSaveChannel_ = channel;
        return reply;
    }
    if (pendingSaveChannel_ != channel) return Refused();
    std::copy_n(parameters, kSecondPart, pendingSave_.begin() + kFirstPart);
    pendingSaveChannel_ = -1;
    return ApplySortedTable(channel, pendingSave_) ? reply : Refused();
}

}  // namespace nuv::sim
