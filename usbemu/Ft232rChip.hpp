#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::usbemu {

// The FTDI vendor requests (bRequest of a vendor control transfer), as the chip knows them.
namespace sio {
inline constexpr std::uint8_t kReset = 0x00;  // value 0: reset, 1: purge RX, 2: purge TX
inline constexpr std::uint8_t kSetModemCtrl = 0x01;
inline constexpr std::uint8_t kSetFlowCtrl = 0x02;
inline constexpr std::uint8_t kSetBaudRate = 0x03;
inline constexpr std::uint8_t kSetData = 0x04;
inline constexpr std::uint8_t kPollModemStatus = 0x05;
inline constexpr std::uint8_t kSetEventChar = 0x06;
inline constexpr std::uint8_t kSetErrorChar = 0x07;
inline constexpr std::uint8_t kSetLatencyTimer = 0x09;
inline constexpr std::uint8_t kGetLatencyTimer = 0x0A;
inline constexpr std::uint8_t kSetBitMode = 0x0B;
inline constexpr std::uint8_t kReadPins = 0x0C;
inline constexpr std::uint8_t kReadEeprom = 0x90;
inline constexpr std::uint8_t kWriteEeprom = 0x91;
inline constexpr std::uint8_t kEraseEeprom = 0x92;
// SIO_SET_MODEM_CTRL's value: the levels in the low byte, which of them to change in the high.
inline constexpr std::uint16_t kDtrLevel = 0x0001;
inline constexpr std::uint16_t kRtsLevel = 0x0002;
inline constexpr std::uint16_t kDtrChange = 0x0100;
inline constexpr std::uint16_t kRtsChange = 0x0200;
}  // namespace sio

// What the chip says of itself on the USB.
struct ChipIdentity {
    std::string manufacturer = "FTDI";
    std::string product = "ORNEVA NUV";
    std::string serial = "NUV13001";
    std::uint16_t vendorId = 0x0403;
    std::uint16_t productId = 0x6001;
    std::uint16_t bcdDevice = 0x0600;  // FT232R
};

// The eight bytes that open a control transfer.
struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

// One control request as the chip received it, and when.
struct ControlRecord {
    std::int64_t atNs = 0;
    SetupPacket setup;
    bool stalled = false;
};

// The baud rate an FT232R runs at for a divisor as SIO_SET_BAUDRATE carries it: a 14-bit whole
// part in the value's low bits and an eighth-step fraction in the value's two top bits and the
// index's lowest bit; 3 MBd over the divisor (0 and 1 name 3 and 2 MBd).
std::uint32_t DecodeBaudRate(std::uint16_t value, std::uint16_t index);

// An FT232R as its USB side shows it: descriptors, the vendor requests with their effect on the
// UART and the modem-control lines, a buffer towards the UART of 256 bytes that empties at the
// wire rate, and bulk IN packets of 64 bytes, each opening with the two modem-status bytes, sent
// when 62 data bytes are waiting or the latency timer runs out (then with what there is, perhaps
// nothing). Behind the UART is a cable end (sim::SimDevice) whose peer is the far end: the
// simulated module in tests. Not thread-safe: its owner serialises the calls.
class Ft232rChip {
  public:
    static constexpr std::size_t kPacketSize = 64;
    static constexpr std::size_t kStatusBytes = 2;
    static constexpr std::size_t kOutBufferSize = 256;  // USB OUT to the UART's transmitter
    static constexpr std::uint8_t kDefaultLatencyMs = 16;
    static constexpr std::size_t kEepromWords = 64;

    Ft232rChip(ChipIdentity identity, Clock& clock);
    Ft232rChip(const Ft232rChip&) = delete;
    Ft232rChip& operator=(const Ft232rChip&) = delete;

    const ChipIdentity& Identity() const { return identity_; }
    std::vector<std::uint8_t> DeviceDescriptor() const;
    // The configuration with its interface and the two bulk endpoints, 0x81 IN and 0x02 OUT.
    std::vector<std::uint8_t> ConfigurationDescriptor() const;

    // A control transfer with `data` of an OUT request: the answer of an IN request (as many
    // bytes as it has, no more than asked), empty for an OUT; nothing when the chip stalls.
    std::optional<std::vector<std::uint8_t>> Control(const SetupPacket& setup,
                                                     std::span<const std::uint8_t> data);
    // Bulk OUT: how many of `bytes` the chip takes now into its buffer towards the UART.
    std::size_t TakeOut(std::span<const std::uint8_t> bytes);
    // Bulk IN: the packet due now, if any (an IN token gets nothing until one is due).
    std::optional<std::vector<std::uint8_t>> NextInPacket();
    // When the next IN packet falls due if nothing more comes in.
    std::int64_t NextInPacketNs() const { return lastPacketNs_ + latencyNs(); }

    // The cable behind the UART; the far end attaches to it as its peer.
    sim::SimDevice& Wire() { return *wire_; }
    const std::vector<ControlRecord>& Log() const { return log_; }
    std::uint32_t BaudRate() const { return baud_; }
    std::uint8_t LatencyMs() const { return latencyMs_; }
    const std::vector<std::uint16_t>& Eeprom() const { return eeprom_; }

  private:
    std::int64_t latencyNs() const { return std::int64_t{latencyMs_} * 1'000'000; }
    std::optional<std::vector<std::uint8_t>> Standard(const SetupPacket& setup);
    std::optional<std::vector<std::uint8_t>> Vendor(const SetupPacket& setup,
                                                    std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> StringDescriptor(std::uint8_t index) const;
    std::array<std::uint8_t, 2> ModemStatus();
    void Collect();  // moves what came over the wire into the IN buffer
    void BuildEeprom();

    ChipIdentity identity_;
    Clock& clock_;
    sim::SimFtdi uart_;
    sim::SimDevice* wire_ = nullptr;
    FtHandle handle_ = 0;
    std::uint32_t baud_ = 9600;
    std::uint8_t latencyMs_ = kDefaultLatencyMs;
    std::deque<std::uint8_t> in_;  // received from the wire, not yet sent to the host
    std::int64_t lastPacketNs_ = 0;
    std::vector<ControlRecord> log_;
    std::vector<std::uint16_t> eeprom_;
};

}  // namespace nuv::usbemu
