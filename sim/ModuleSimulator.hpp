#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/ProgramBlock.hpp"
#include "sim/BootLoaderSimulator.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::sim {

// Faults the simulated module can be told to make. Counts apply to the next requests it
// answers (a negative count: to all of them).
struct ModuleFaults {
    int silent = 0;      // no answer at all
    int corruptCrc = 0;  // the last CRC byte of the answer is altered
    int dropByte = 0;    // one byte in the middle of the answer is lost
    int noise = 0;       // three noise bytes go out ahead of the answer
    int flood = 0;       // instead of the answer, kFloodBytes of junk
    // The flood arrives in one burst rather than at line speed, so that all of it reaches the
    // tool within its time limits.
    bool floodAtOnce = false;
    int refuse = 0;       // a program-mode block is refused (status 0x15)
    int sameSerials = 0;  // a search is answered "same serials or user bytes" (status 1)
    // Two bit errors in one program-mode answer that cancel out in both of its checks: the same
    // bit flips in two data bytes, from 1 to 0 in one and from 0 to 1 in the other, so that
    // neither the XOR nor the sum of the block changes. The bytes are drawn at random among the
    // answer's bytes flipFirst..flipLast (1..117); an answer whose bytes there offer no such
    // pair (all bits alike) goes out unspoilt and is not counted.
    int cancellingFlips = 0;
    std::size_t flipFirst = 1;
    std::size_t flipLast = 117;
    // Every count of sensors the module sends in program mode says this (0..255), whatever it
    // found: a module whose bytes are not to be trusted. Negative: the true counts.
    int countByte = -1;
    std::int64_t lateNs = 0;  // added to every answer's turnaround
    // Answers requests for any address, with its own address in the answer (a second module
    // on the line, or one set to another address than the tool asks for).
    bool answerAsAnyAddress = false;
    // Share of answers that get one fault of the kinds above, drawn at random (a demonstration
    // of a poor line); 0 for none.
    double randomRate = 0.0;

    static bool Take(int& count);
    static constexpr std::size_t kFloodBytes = 70 * 1024;
};

// The NUV module as it answers on the RS485 line. In normal mode a Modbus RTU slave with ten
// channels of 1-Wire sensors, its own temperature, supply and currents, four outputs and reset
// counters. The program-mode entry frame is answered with the address and interval; the module
// then answers program-mode blocks (identification, address, interval, save, reset, memory,
// leave) until it is told to leave, saves, or is reset; it stays there across opens of the
// port, as a module does. Its configuration has a working copy and a stored one: a save makes
// the working copy permanent, a reset brings the stored one back.
//
// It receives as a UART does: into a buffer of kUartBufferSize bytes, dropping what overflows
// it, and a silence of three and a half characters ends a frame. A frame that overflowed is
// thrown away whole. Answers go out at wire speed `turnaroundNs` after the end of the frame.
class ModuleSimulator final : public Peer {
  public:
    static constexpr int kChannels = 10;
    static constexpr int kMaxSensors = 16;
    static constexpr std::size_t kUartBufferSize = 256;

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
    std::int64_t turnaroundNs = 0;
    // Resets by a rising DTR, and switches of the USB-RS485 pass-through (RTS changed), since
    // the module was made; not cleared by any command.
    std::size_t dtrPulses = 0;
    std::size_t rtsChanges = 0;
    ModuleFaults faults;
    // The firmware it runs, as its identification in program mode names it: class byte (probe
    // standard in the high nibble, sensor capacity in the low) and build byte. An update through
    // the boot loader sets them from the build tag of the image written (0xFF for an image without
    // one).
    std::uint8_t firmwareClass = 0x00;
    std::uint8_t firmwareBuild = 0x48;
    // The boot loader, which a reset by DTR starts and which holds the line until it hands
    // over to the firmware.
    BootLoaderSimulator bootLoader;

    // Program mode. The stored configuration, which a reset brings back.
    std::uint8_t storedAddress = 2;
    std::uint8_t storedInterval = 4;
    // Time to answer a block, and the time a save of the whole configuration takes.
    std::int64_t blockTurnaroundNs = 20'000'000;
    std::int64_t saveDurationNs = 2'500'000'000;
    // Sensors on each channel's probe, at physical levels 0 (top) to count - 1.
    std::array<int, kChannels> sensorCount{10, 10, 10, 10, 10, 10, 10, 10, 10, 10};

    // A channel whose 1-Wire line is shorted: a search finds nothing, readings give the
    // short-circuit value.
    std::array<bool, kChannels> shorted{};
    // The operator of a segregation run, who heats the sensor the module asks for (top first)
    // and lets it cool: how soon he starts, how long he heats, how fast it warms, and when the
    // module takes a sensor as heated and as cooled again.
    struct Operator {
        std::int64_t reactNs = 1'500'000'000;
        std::int64_t heatNs = 3'000'000'000;
        double degreesPerSecond = 4.0;
        double heatedAbove = 6.0;
        double cooledBelow = 2.0;
        std::int64_t coolingTauNs = 3'000'000'000;
    } apcOperator;

    // Sensor positions per channel of the firmware: 10, 12 or 16 by its class.
    std::size_t Capacity() const;
    // Whether a segregation run is under way (started, not yet ended by the tool).
    bool Segregating() const { return apc_.active; }

    // Sets the working and the stored address and interval, as a module configured earlier.
    void Configure(std::uint8_t moduleAddress, std::uint8_t interval);
    // The order of levels the module keeps for a channel: the physical level of the sensor at
    // level 1, 2, ... Until it is given one, the order a 1-Wire search finds (by serial).
    std::vector<int> Order(int channel) const;
    void SetOrder(int channel, std::vector<int> levels) { order_.at(channel) = std::move(levels); }
    // The module's 4096-byte memory: a header, the stored configuration, the firmware
    // identification, the sensor counts and, per channel, the serials in level order.
    static constexpr std::size_t kMemorySize = 4096;
    std::array<std::uint8_t, kMemorySize> Memory() const;
    // Program-mode blocks the module understood (unmasked, 126 bytes), in order.
    const std::vector<std::vector<std::uint8_t>>& Blocks() const { return blocks_; }

    Sensor& SensorAt(int channel, int position) { return sensors_.at(channel).at(position); }
    // The raw register of a sensor at a time: a slow drift around its base value.
    std::uint16_t SensorRaw(int channel, int position, std::int64_t atNs) const;
    // Register r of the map at a time (the last register is the module temperature).
    std::uint16_t Register(std::size_t r, std::int64_t atNs) const;
    std::size_t RegisterCount() const {
        return static_cast<std::size_t>(10 * sensorsPerChannel + 1);
    }

    // Frames thrown away because they overflowed the receive buffer.
    std::size_t OverrunFrames() const { return overruns_; }
    // Bytes waiting in the receive buffer (never more than kUartBufferSize).
    std::size_t Buffered() const { return frame_.size(); }

    // Whether it records every request and block it understood (for tests); a module that runs
    // for long, as nuvsim's, keeps none.
    bool keepRecords = true;
    // Requests the module understood, in order, and when their last byte arrived.
    const std::vector<std::vector<std::uint8_t>>& Requests() const { return requests_; }
    const std::vector<std::int64_t>& RequestTimesNs() const { return requestTimes_; }

    void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) override;
    void OnLines(SimDevice& device, std::int64_t atNs) override;
    void OnTime(SimDevice& device, std::int64_t nowNs) override;
    // The end of the frame being received, when the line stays quiet.
    std::optional<std::int64_t> NextEventNs() const override;

  private:
    // Three and a half characters of silence at the line's rate.
    static std::int64_t SilenceNs(const SimDevice& device);
    // The frame in the buffer ended at `endNs`: handle it, unless it overflowed.
    void EndFrame(SimDevice& device, std::int64_t endNs);
    void Handle(SimDevice& device, std::vector<std::uint8_t> request, std::int64_t atNs);
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request, std::int64_t atNs);
    void Send(SimDevice& device, std::vector<std::uint8_t> answer, std::int64_t atNs);
    // Puts an answer on the wire at `readyAt` with the injected faults applied to it; `last` is
    // the byte whose change spoils its checksum.
    void SendWithFaults(SimDevice& device, std::vector<std::uint8_t> answer, std::int64_t readyAt,
                        std::size_t last);
    // Program mode: one 128-byte block in, one out.
    void HandleBlock(SimDevice& device, const std::vector<std::uint8_t>& frame, std::int64_t atNs);
    void SendBlock(SimDevice& device, std::array<std::uint8_t, 126> reply, std::int64_t atNs);
    // The cancelling bit errors of `faults`, made on the wire of an answer whose plain bytes
    // are `reply`; false when its bytes offer no such pair.
    bool FlipCancellingBits(const std::array<std::uint8_t, 126>& reply, ProgramWire& wire);
    // A reset: normal mode with the stored configuration.
    void Restart();
    // Sensors in program mode: search, segregation, the sorted order.
    using Block = std::array<std::uint8_t, 126>;
    // The module's plain answers: accepted (0x06) and refused (0x15), zeros after the status.
    static Block Accepted();
    static Block Refused();
    using Table = std::array<std::uint8_t, 129>;
    // The blocks of the sensors (search, segregation, the order by serial): true when the block
    // was one of them and `reply` holds its answer (`reply` comes in as an accepted one).
    bool HandleSensorBlock(const DecodedBlock& block, std::int64_t atNs, Block& reply);
    Block SearchReply(std::uint8_t sub, std::uint8_t part, Block reply);
    Block SegregationReply(std::uint8_t sub, std::int64_t atNs, Block reply);
    Block EndOfSegregationReply(Block reply);
    Block SavedOrderReply(std::uint8_t sub, const DecodedBlock& block, Block reply);
    Table ChannelTable(int channel, const std::vector<int>& levels) const;
    std::vector<int> SegregationLevels() const;
    int Found(int channel) const;
    std::uint8_t CountByte(int count) const;
    void AdvanceSegregation(std::int64_t nowNs);
    double Bump(int level, std::int64_t atNs) const;
    std::uint16_t SegregationRaw(int level, std::int64_t atNs) const;
    bool ApplySortedTable(int channel, const Table& table);

    std::array<std::array<Sensor, kMaxSensors>, kChannels> sensors_{};
    std::vector<std::uint8_t> frame_;
    bool overrun_ = false;
    std::size_t overruns_ = 0;
    std::int64_t lastByteNs_ = 0;
    std::int64_t silenceNs_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::vector<std::vector<std::uint8_t>> blocks_;
    std::array<std::vector<int>, kChannels> order_{};
    std::array<std::vector<int>, kChannels> storedOrder_{};
    struct Heat {
        int level;
        std::int64_t startNs;
        std::int64_t stopNs;
    };
    struct Segregation {
        bool active = false;
        int channel = 0;
        std::uint8_t state = 0;
        std::int64_t stepStartNs = 0;
        std::vector<int> sorted;
        std::vector<Heat> heats;
    } apc_;
    Table pendingSave_{};
    int pendingSaveChannel_ = -1;
    std::vector<std::int64_t> requestTimes_;
    std::uint32_t random_;
    std::uint32_t NextRandom();
};

// Adds the simulated module's device to a simulated driver with a module attached.
ModuleSimulator& AttachModuleSimulator(SimDevice& device, std::uint32_t seed = 1);

}  // namespace nuv::sim
