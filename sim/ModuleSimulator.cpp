#include "sim/ModuleSimulator.hpp"

#include <cmath>
#include <memory>
#include <numbers>

#include "firmware/CarriedFirmware.hpp"
#include "protocol/Crc8.hpp"
#include "protocol/ModbusCrc.hpp"

namespace nuv::sim {
namespace {

constexpr std::size_t kRequestLength = 8;  // every request of the tool: 6 bytes and the CRC
constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;
constexpr std::int64_t kDriftPeriodNs = 600'000'000'000;  // ten minutes

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    const ModbusCrcBytes crc = ModbusCrc(frame);
    frame.push_back(crc.first);
    frame.push_back(crc.second);
    return frame;
}

std::vector<std::uint8_t> Exception(std::uint8_t address, std::uint8_t function,
                                    std::uint8_t code) {
    return WithCrc({address, static_cast<std::uint8_t>(function | 0x80U), code});
}

void PushWord(std::vector<std::uint8_t>& frame, std::uint16_t word) {
    frame.push_back(static_cast<std::uint8_t>(word >> 8U));
    frame.push_back(static_cast<std::uint8_t>(word & 0xFFU));
}

}  // namespace

bool ModuleFaults::Take(int& count) {
    if (count == 0) return false;
    if (count > 0) --count;
    return true;
}

std::uint32_t ModuleSimulator::NextRandom() {
    random_ ^= random_ << 13U;
    random_ ^= random_ >> 17U;
    random_ ^= random_ << 5U;
    return random_;
}

ModuleSimulator::ModuleSimulator(std::uint32_t seed) : random_(seed * 747796405U + 2891336453U) {
    std::uint32_t state = seed * 2654435761U + 1;
    auto next = [&state] {
        state ^= state << 13U;
        state ^= state >> 17U;
        state ^= state << 5U;
        return static_cast<std::uint8_t>(state & 0xFFU);
    };
    for (int c = 0; c < kChannels; ++c) {
        for (int s = 0; s < kMaxSensors; ++s) {
            Sensor& sensor = sensors_[c][s];
            sensor.serial[0] = 0x28;
            for (int i = 1; i < 7; ++i) sensor.serial[i] = next();
            sensor.serial[7] = OneWireCrc8(std::span(sensor.serial).first(7));
            // Warmer at the top of a probe: 24 degrees at level 1, half a degree less a level.
            sensor.baseRaw = static_cast<std::int16_t>(24 * 16 - s * 8 + c * 2);
        }
    }
    bootLoader.onVerified = [this](const std::vector<std::uint8_t>& flash) {
        const std::optional<BuildTag> tag = FindBuildTag(flash);
        firmwareClass = tag ? tag->firmwareClass : 0xFF;
        firmwareBuild = tag ? tag->build : 0xFF;
    };
}

std::uint16_t ModuleSimulator::SensorRaw(int channel, int position, std::int64_t atNs) const {
    const Sensor& sensor = sensors_.at(channel).at(position);
    if (sensor.fixedRaw) return *sensor.fixedRaw;
    const double phase = 2 * std::numbers::pi *
                         (static_cast<double>(atNs % kDriftPeriodNs) / kDriftPeriodNs +
                          (channel * kMaxSensors + position) / 37.0);
    const auto drift = static_cast<int>(std::lround(8 * std::sin(phase)));  // half a degree
    return static_cast<std::uint16_t>(sensor.baseRaw + drift);
}

std::uint16_t ModuleSimulator::Register(std::size_t r, std::int64_t atNs) const {
    if (r + 1 == RegisterCount()) return moduleTemperatureRaw;
    const auto perChannel = static_cast<std::size_t>(sensorsPerChannel);
    const std::size_t channel = r / perChannel;
    if (shorted.at(channel)) return 0xF040;  // the short-circuit value
    return SensorRaw(static_cast<int>(channel), static_cast<int>(r % perChannel), atNs);
}

std::int64_t ModuleSimulator::SilenceNs(const SimDevice& device) {
    return device.ByteTimeNs() * 7 / 2;
}

void ModuleSimulator::OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) {
    bootLoader.Advance(device, atNs);
    if (bootLoader.Active()) {
        bootLoader.Receive(device, byte, atNs);
        return;
    }
    // `atNs` is when the byte's last bit came; the line was idle for the time between the end
    // of the previous byte and the start of this one.
    if ((!frame_.empty() || overrun_) &&
        atNs - lastByteNs_ - device.ByteTimeNs() >= SilenceNs(device)) {
        EndFrame(device, lastByteNs_ + SilenceNs(device));
    }
    lastByteNs_ = atNs;
    silenceNs_ = SilenceNs(device);
    if (frame_.size() >= kUartBufferSize) {
        overrun_ = true;  // the byte is lost, and so is the frame it belonged to
        return;
    }
    frame_.push_back(byte);
}

void ModuleSimulator::OnTime(SimDevice& device, std::int64_t nowNs) {
    bootLoader.Advance(device, nowNs);
    if (bootLoader.Active()) return;
    // The line is quiet until now, or until the next byte on its way began.
    std::int64_t quietUntil = nowNs;
    if (const auto next = device.NextToPeerNs()) {
        quietUntil = std::min(quietUntil, *next - device.ByteTimeNs());
    }
    if ((!frame_.empty() || overrun_) && quietUntil - lastByteNs_ >= SilenceNs(device)) {
        EndFrame(device, lastByteNs_ + SilenceNs(device));
    }
}

std::optional<std::int64_t> ModuleSimulator::NextEventNs() const {
    if (bootLoader.Active()) return bootLoader.NextEventNs();
    if (frame_.empty() && !overrun_) return std::nullopt;
    return lastByteNs_ + silenceNs_;
}

void ModuleSimulator::EndFrame(SimDevice& device, std::int64_t endNs) {
    std::vector<std::uint8_t> frame;
    frame.swap(frame_);
    if (overrun_) {
        overrun_ = false;
        ++overruns_;
        return;
    }
    if (programMode) {
        HandleBlock(device, frame, endNs);
        return;
    }
    Handle(device, std::move(frame), endNs);
}

void ModuleSimulator::OnLines(SimDevice& device, std::int64_t atNs) {
    // A DTR pulse resets the module: it restarts in normal mode and counts an external reset.
    if (device.Dtr() && !dtr_) {
        Restart();
        frame_.clear();
        overrun_ = false;
        ++resetCounters[0];
        ++resetCounters[4];
        ++dtrPulses;
        bootLoader.Reset(device, atNs);
    }
    dtr_ = device.Dtr();
    if (device.Rts() != rts_) ++rtsChanges;
    rts_ = device.Rts();
}

void ModuleSimulator::Handle(SimDevice& device, std::vector<std::uint8_t> request,
                             std::int64_t atNs) {
    // Every request of the tool is six bytes and the CRC; anything else, or a damaged frame, is
    // not for this module.
    if (request.size() != kRequestLength || ModbusCrcCheck(request, request.size() - 2) != 0) {
        return;
    }
    request.resize(request.size() - 2);
    if (keepRecords) {
        requests_.push_back(request);
        requestTimes_.push_back(atNs);
    }
    std::vector<std::uint8_t> answer = Answer(request, atNs);
    if (!answer.empty()) Send(device, std::move(answer), atNs);
}

std::vector<std::uint8_t> ModuleSimulator::Answer(const std::vector<std::uint8_t>& request,
                                                  std::int64_t atNs) {
    static constexpr std::uint8_t kEntry[] = {'Z', 'A', 'F', 'R', 'E', 'L'};
    if (std::equal(std::begin(kEntry), std::end(kEntry), request.begin())) {
        programMode = true;
        return WithCrc({address, 0x00, 0x00, intervalSeconds});
    }
    // Another slave's request, or a broadcast, unless the module is told to answer them all.
    if (request[0] != address && !faults.answerAsAnyAddress) return {};
    const std::uint8_t function = request[1];
    const auto start = static_cast<std::size_t>(request[2] << 8U | request[3]);
    const auto value = static_cast<std::size_t>(request[4] << 8U | request[5]);
    switch (function) {
        case 0x03: {
            if (value == 0 || value > 125 || start + value > RegisterCount()) {
                return Exception(address, function, kIllegalAddress);
            }
            std::vector<std::uint8_t> frame{address, function,
                                            static_cast<std::uint8_t>(2 * value)};
            for (std::size_t r = start; r < start + value; ++r) PushWord(frame, Register(r, atNs));
            return WithCrc(frame);
        }
        case 0x06: {
            if (start != 0 || value != 7) return Exception(address, function, kIllegalValue);
            std::vector<std::uint8_t> frame{address, function, 14};
            for (std::uint16_t raw : powerRaw) PushWord(frame, raw);
            return WithCrc(frame);
        }
        case 0x07: {
            if (start != 0 || (value > 15 && value != 0x10)) {
                return Exception(address, function, kIllegalValue);
            }
            if (value != 0x10) outputs = static_cast<std::uint8_t>(value);
            return WithCrc({address, function, 0x02, 0x00, outputs});
        }
        case 0x08: {
            if (start == 0 && value == 6) {
                std::vector<std::uint8_t> frame{address, function, 12};
                for (std::uint16_t count : resetCounters) PushWord(frame, count);
                return WithCrc(frame);
            }
            if (start == 0 && value == 1) {
                resetCounters.fill(0);
                return WithCrc({address, function, 0x00, 0x01});
            }
            return Exception(address, function, kIllegalValue);
        }
        default:
            return Exception(address, function, kIllegalFunction);
    }
}

void ModuleSimulator::Send(SimDevice& device, std::vector<std::uint8_t> answer, std::int64_t atNs) {
    if (faults.randomRate > 0 && NextRandom() % 10000 < faults.randomRate * 10000) {
        switch (NextRandom() % 4) {
            case 0:
                return;  // silence
            case 1:
                answer.back() ^= 0x5AU;
                break;
            case 2:
                answer.erase(answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2));
                break;
            default: {
                const std::uint8_t noise[] = {0xFF, 0x00, 0xA5};
                device.Send(noise, atNs + turnaroundNs);
                break;
            }
        }
    }
    const std::size_t last = answer.size() - 1;
    SendWithFaults(device, std::move(answer), atNs + turnaroundNs, last);
}

void ModuleSimulator::SendWithFaults(SimDevice& device, std::vector<std::uint8_t> answer,
                                     std::int64_t readyAt, std::size_t last) {
    if (ModuleFaults::Take(faults.silent)) return;
    readyAt += faults.lateNs;
    if (ModuleFaults::Take(faults.flood)) {
        const std::vector<std::uint8_t> flood(ModuleFaults::kFloodBytes, 0x55);
        if (faults.floodAtOnce) {
            device.SendBurst(flood, readyAt);
        } else {
            device.Send(flood, readyAt);
        }
        return;
    }
    if (ModuleFaults::Take(faults.corruptCrc)) answer[last] ^= 0x5AU;
    if (ModuleFaults::Take(faults.dropByte)) {
        answer.erase(answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2));
    }
    if (ModuleFaults::Take(faults.noise)) {
        const std::uint8_t noise[] = {0xFF, 0x00, 0xA5};
        device.Send(noise, readyAt);
    }
    device.Send(answer, readyAt);
}

ModuleSimulator& AttachModuleSimulator(SimDevice& device, std::uint32_t seed) {
    auto module = std::make_shared<ModuleSimulator>(seed);
    device.AttachPeer(module);
    return *module;
}

}  // namespace nuv::sim
