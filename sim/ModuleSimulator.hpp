#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/BootLoaderSimulator.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::sim {

// Faults the simulated module can be told to make. Counts apply to the next requests it
// answers (a negative count: to all of them).
struct ModuleFaults {
    int silent = 0;           // no answer at all
    int corruptCrc = 0;       // the last CRC byte of the answer is altered
    int dropByte = 0;         // one byte in the middle of the answer is lost
    int noise = 0;            // three noise bytes go out ahead of the answer
    std::int64_t lateNs = 0;  // added to every answer's turnaround
    // Share of answers that get one fault of the kinds above, drawn at random (a demonstration
    // of a poor line); 0 for none.
    double randomRate = 0.0;

    static bool Take(int& count);
};

// The NUV module as its normal mode answers on the RS485 line: a Modbus RTU slave with ten
// channels of 1-Wire sensors, its own temperature, supply and currents, four outputs and reset
// counters. The program-mode entry frame is answered with the address and interval; the
// module then waits for program-mode blocks until a reset by DTR. Answers go out at wire speed
// a few milliseconds after the request's last byte.
class ModuleSimulator final : public Peer {
  public:
    static constexpr int kChannels = 10;
    static constexpr int kMaxSensors = 16;

    struct Sensor {
        std::array<std::uint8_t, 8> serial{};   // family 0x28, six id bytes, CRC-8
        std::int16_t baseRaw = 0;               // in 1/16 degrees
        std::optional<std::uint16_t> fixedRaw;  // an error value or a fixed reading
    };

    explicit ModuleSimulator(std::uint32_t seed = 1);
    ModuleSimulator(const ModuleSimulator&) = delete;
    ModuleSimulator& operator=(const ModuleSimulator&) = delete;

    std::uint8_t address = 2;
    std::uint8_t intervalSeconds = 4;
    // Sensors per channel of the module's firmware: the register map holds 10 * this + 1.
    int sensorsPerChannel = 10;
    std::uint16_t moduleTemperatureRaw = 0x01F4;  // 31.25 degrees
    std::array<std::uint16_t, 7> powerRaw{500, 1000, 270, 281, 292, 303, 314};
    std::uint8_t outputs = 0;
    // Resets by cause: total, JTAG, watchdog, brown-out, external (DTR), power-up.
    std::array<std::uint16_t, 6> resetCounters{1, 0, 0, 0, 0, 1};
    bool programMode = false;
    std::int64_t turnaroundNs = 3'000'000;
    ModuleFaults faults;
    // The firmware it runs, as its identification in program mode names it: class byte and
    // build byte. An update through the boot loader sets them from the build tag of the image
    // written (0xFF for an image without one).
    std::uint8_t firmwareClass = 0x00;
    std::uint8_t firmwareBuild = 0x48;
    // The boot loader, which a reset by DTR starts and which holds the line until it hands
    // over to the firmware.
    BootLoaderSimulator bootLoader;

    Sensor& SensorAt(int channel, int position) { return sensors_.at(channel).at(position); }
    // The raw register of a sensor at a time: a slow drift around its base value.
    std::uint16_t SensorRaw(int channel, int position, std::int64_t atNs) const;
    // Register r of the map at a time (the last register is the module temperature).
    std::uint16_t Register(std::size_t r, std::int64_t atNs) const;
    std::size_t RegisterCount() const {
        return static_cast<std::size_t>(10 * sensorsPerChannel + 1);
    }

    // Requests the module understood, in order, and when their last byte arrived.
    const std::vector<std::vector<std::uint8_t>>& Requests() const { return requests_; }
    const std::vector<std::int64_t>& RequestTimesNs() const { return requestTimes_; }

    void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) override;
    void OnLines(SimDevice& device, std::int64_t atNs) override;
    void OnTime(SimDevice& device, std::int64_t nowNs) override;

  private:
    void Handle(SimDevice& device, std::int64_t atNs);
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request, std::int64_t atNs);
    void Send(SimDevice& device, std::vector<std::uint8_t> answer, std::int64_t atNs);

    std::array<std::array<Sensor, kMaxSensors>, kChannels> sensors_{};
    std::vector<std::uint8_t> frame_;
    std::int64_t lastByteNs_ = 0;
    bool dtr_ = false;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::vector<std::int64_t> requestTimes_;
    std::uint32_t random_;
    std::uint32_t NextRandom();
};

// Adds the simulated module's device to a simulated driver with a module attached.
ModuleSimulator& AttachModuleSimulator(SimDevice& device, std::uint32_t seed = 1);

}  // namespace nuv::sim
