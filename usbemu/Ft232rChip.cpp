#include "usbemu/Ft232rChip.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace nuv::usbemu {
namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeVendor = 0x40;
constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kDeviceDescriptor = 1;
constexpr std::uint8_t kConfigurationDescriptor = 2;
constexpr std::uint8_t kStringDescriptor = 3;
constexpr std::uint32_t kBaseClock = 3'000'000;

// The rates a UART at the far end is set to. A divisor gives a rate near one of them (115200
// comes out as 115385); a receiver takes a few per cent of difference, so the far end hears the
// standard rate when the chip's is within 3 % of it, and the wire time is the standard rate's.
constexpr std::array<std::uint32_t, 14> kStandardRates{
    300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

std::uint32_t FarEndRate(std::uint32_t chipRate) {
    for (const std::uint32_t rate : kStandardRates) {
        if (std::abs(static_cast<double>(chipRate) - rate) <= rate * 0.03) return rate;
    }
    return chipRate;
}

}  // namespace

std::uint32_t DecodeBaudRate(std::uint16_t value, std::uint16_t index) {
    // Eighths of the fraction codes 0 to 7: 0, 1/2, 1/4, 1/8, 3/8, 5/8, 3/4, 7/8.
    static constexpr std::array<std::uint32_t, 8> kEighths{0, 4, 2, 1, 3, 5, 6, 7};
    const std::uint32_t whole = value & 0x3FFF;
    const std::uint32_t code = ((value >> 14) & 0x3) | ((index & 0x1) << 2);
    if (whole == 0 && code == 0) return kBaseClock;
    if (whole == 1 && code == 0) return 2'000'000;
    const std::uint32_t eighths = whole * 8 + kEighths[code];
    return static_cast<std::uint32_t>((std::uint64_t{kBaseClock} * 8 + eighths / 2) / eighths);
}

Ft232rChip::Ft232rChip(ChipIdentity identity, Clock& clock)
    : identity_(std::move(identity)), clock_(clock), uart_(clock) {
    wire_ = &uart_.AddDevice(identity_.product, identity_.serial);
    // The UART runs from power-up: the cable end stays open for the chip's life.
    std::uint32_t count = 0;
    uart_.ListDeviceCount(count);
    uart_.Open(0, handle_);
    uart_.SetBaudRate(handle_, baud_);
    lastPacketNs_ = clock_.NowNs();
    BuildEeprom();
}

std::vector<std::uint8_t> Ft232rChip::DeviceDescriptor() const {
    const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    return {18,
            kDeviceDescriptor,
            0x00,
            0x02,  // USB 2.0
            0x00,
            0x00,
            0x00,  // class in the interface
            8,     // control endpoint packet size
            lo(identity_.vendorId),
            hi(identity_.vendorId),
            lo(identity_.productId),
            hi(identity_.productId),
            lo(identity_.bcdDevice),
            hi(identity_.bcdDevice),
            1,
            2,
            3,  // manufacturer, product, serial strings
            1};
}

std::vector<std::uint8_t> Ft232rChip::ConfigurationDescriptor() const {
    return {
        9,    2,  32,   0, 1,  1,    0,
        0xA0, 45,  // one interface, bus powered, remote wake-up, 90 mA
        9,    4,  0,    0, 2,  0xFF, 0xFF,
        0xFF, 2,                         // interface 0: two endpoints, vendor class
        7,    5,  0x81, 2, 64, 0,    0,  // bulk IN, 64 bytes
        7,    5,  0x02, 2, 64, 0,    0,  // bulk OUT, 64 bytes
    };
}

std::vector<std::uint8_t> Ft232rChip::StringDescriptor(std::uint8_t index) const {
    if (index == 0) return {4, kStringDescriptor, 0x09, 0x04};  // English (United States)
    const std::string* text = index == 1   ? &identity_.manufacturer
                              : index == 2 ? &identity_.product
                              : index == 3 ? &identity_.serial
                                           : nullptr;
    if (text == nullptr) return {};
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(2 + 2 * text->size()),
                                  kStringDescriptor};
    for (const char c : *text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

void Ft232rChip::BuildEeprom() {
    // The FT232R's internal EEPROM as FTDI lays it out: ids, power, the three strings as string
    // descriptors from byte 0x18 on, pointed at by byte 0x0E to 0x13, and the check word last.
    std::array<std::uint8_t, kEepromWords * 2> bytes{};
    bytes[2] = static_cast<std::uint8_t>(identity_.vendorId);
    bytes[3] = static_cast<std::uint8_t>(identity_.vendorId >> 8);
    bytes[4] = static_cast<std::uint8_t>(identity_.productId);
    bytes[5] = static_cast<std::uint8_t>(identity_.productId >> 8);
    bytes[6] = static_cast<std::uint8_t>(identity_.bcdDevice);
    bytes[7] = static_cast<std::uint8_t>(identity_.bcdDevice >> 8);
    bytes[8] = 0xA0;
    bytes[9] = 45;
    bytes[0x0C] = 0x00;
    bytes[0x0D] = 0x02;
    std::size_t at = 0x18;
    for (std::uint8_t s = 1; s <= 3; ++s) {
        const std::vector<std::uint8_t> text = StringDescriptor(s);
        if (at + text.size() > bytes.size() - 2) break;
        bytes[0x0E + 2 * (s - 1)] = static_cast<std::uint8_t>(0x80 | at);
        bytes[0x0F + 2 * (s - 1)] = static_cast<std::uint8_t>(text.size());
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        at += text.size();
    }
    eeprom_.assign(kEepromWords, 0);
    std::uint16_t check = 0xAAAA;
    for (std::size_t w = 0; w < kEepromWords; ++w) {
        eeprom_[w] = static_cast<std::uint16_t>(bytes[2 * w] | (bytes[2 * w + 1] << 8));
        if (w + 1 < kEepromWords) {
            check ^= eeprom_[w];
            check = static_cast<std::uint16_t>((check << 1) | (check >> 15));
        }
    }
    eeprom_.back() = check;
}

std::optional<std::vector<std::uint8_t>> Ft232rChip::Control(const SetupPacket& setup,
                                                             std::span<const std::uint8_t> data) {
    std::optional<std::vector<std::uint8_t>> answer;
    switch (setup.requestType & kTypeMask) {
        case kTypeStandard:
            answer = Standard(setup);
            break;
        case kTypeVendor:
            answer = Vendor(setup, data);
            break;
        default:
            break;
    }
    if (answer && answer->size() > setup.length) answer->resize(setup.length);
    log_.push_back(ControlRecord{clock_.NowNs(), setup, !answer.has_value()});
    return answer;
}

std::optional<std::vector<std::uint8_t>> Ft232rChip::Standard(const SetupPacket& setup) {
    if ((setup.requestType & kDirectionIn) == 0) return std::nullopt;
    switch (setup.request) {
        case kGetStatus:
            return std::vector<std::uint8_t>{0, 0};
        case kGetConfiguration:
            return std::vector<std::uint8_t>{1};
        case kGetDescriptor: {
            const auto type = static_cast<std::uint8_t>(setup.value >> 8);
            const auto index = static_cast<std::uint8_t>(setup.value & 0xFF);
            if (type == kDeviceDescriptor) return DeviceDescriptor();
            if (type == kConfigurationDescriptor && index == 0) return ConfigurationDescriptor();
            if (type == kStringDescriptor) {
                std::vector<std::uint8_t> text = StringDescriptor(index);
                if (!text.empty()) return text;
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::array<std::uint8_t, 2> Ft232rChip::ModemStatus() {
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    uart_.GetStatus(handle_, rx, tx, events);
    // Byte 0: the low nibble reads 1 on an FT232R; CTS, DSR, RI and DCD are not wired to the
    // module, so they read inactive. Byte 1: the transmitter's holding register and shift register
    // empty (0x20, 0x40) once nothing waits for the wire.
    return {0x01, static_cast<std::uint8_t>(tx == 0 ? 0x60 : 0x00)};
}

std::optional<std::vector<std::uint8_t>> Ft232rChip::Vendor(const SetupPacket& setup,
                                                            std::span<const std::uint8_t>) {
    const bool in = (setup.requestType & kDirectionIn) != 0;
    switch (setup.request) {
        case sio::kReset:
            if (in || setup.value > 2) return std::nullopt;
            if (setup.value != 2) {  // reset or purge RX: what the host has not read is gone
                Collect();
                in_.clear();
            }
            // What waits for the wire in the UART's transmitter is not recalled: the emulation
            // hands written bytes to the wire at once.
            return std::vector<std::uint8_t>{};
        case sio::kSetModemCtrl: {
            if (in) return std::nullopt;
            if ((setup.value & sio::kDtrChange) != 0) {
                const bool high = (setup.value & sio::kDtrLevel) != 0;
                high ? uart_.SetDtr(handle_) : uart_.ClrDtr(handle_);
            }
            if ((setup.value & sio::kRtsChange) != 0) {
                const bool high = (setup.value & sio::kRtsLevel) != 0;
                high ? uart_.SetRts(handle_) : uart_.ClrRts(handle_);
            }
            return std::vector<std::uint8_t>{};
        }
        case sio::kSetFlowCtrl: {
            if (in) return std::nullopt;
            const std::uint16_t mode = setup.index & 0xFF00;
            uart_.SetFlowControl(handle_,
                                 mode == 0x0100   ? ft::FlowRtsCts
                                 : mode == 0x0200 ? ft::FlowDtrDsr
                                 : mode == 0x0400 ? ft::FlowXonXoff
                                                  : ft::FlowNone,
                                 static_cast<std::uint8_t>(setup.value & 0xFF),
                                 static_cast<std::uint8_t>(setup.value >> 8));
            return std::vector<std::uint8_t>{};
        }
        case sio::kSetBaudRate:
            if (in) return std::nullopt;
            baud_ = DecodeBaudRate(setup.value, setup.index);
            uart_.SetBaudRate(handle_, FarEndRate(baud_));
            return std::vector<std::uint8_t>{};
        case sio::kSetData: {
            if (in) return std::nullopt;
            const auto bits = static_cast<std::uint8_t>(setup.value & 0xFF);
            const auto parity = static_cast<std::uint8_t>((setup.value >> 8) & 0x7);
            const auto stop = static_cast<std::uint8_t>((setup.value >> 11) & 0x3);
            if ((bits != 7 && bits != 8) || parity > 4 || stop == 3) return std::nullopt;
            // 1.5 stop bits (code 1) goes to the wire as one: the far end does not tell them apart.
            uart_.SetDataCharacteristics(handle_, bits, stop == 2 ? ft::StopBits2 : ft::StopBits1,
                                         parity);
            return std::vector<std::uint8_t>{};
        }
        case sio::kPollModemStatus: {
            if (!in) return std::nullopt;
            const auto status = ModemStatus();
            return std::vector<std::uint8_t>{status[0], status[1]};
        }
        case sio::kSetEventChar:
        case sio::kSetErrorChar:
        case sio::kSetBitMode:
            return in ? std::nullopt : std::optional(std::vector<std::uint8_t>{});
        case sio::kSetLatencyTimer:
            if (in || setup.value == 0 || setup.value > 255) return std::nullopt;
            latencyMs_ = static_cast<std::uint8_t>(setup.value);
            return std::vector<std::uint8_t>{};
        case sio::kGetLatencyTimer:
            if (!in) return std::nullopt;
            return std::vector<std::uint8_t>{latencyMs_};
        case sio::kReadPins:
            if (!in) return std::nullopt;
            return std::vector<std::uint8_t>{0xFF};
        case sio::kReadEeprom: {
            if (!in) return std::nullopt;
            const std::uint16_t word = eeprom_[setup.index % kEepromWords];
            return std::vector<std::uint8_t>{static_cast<std::uint8_t>(word & 0xFF),
                                             static_cast<std::uint8_t>(word >> 8)};
        }
        case sio::kWriteEeprom:
        case sio::kEraseEeprom:
            // A service tool never writes the cable's EEPROM: refused, so a test would notice.
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::size_t Ft232rChip::TakeOut(std::span<const std::uint8_t> bytes) {
    std::uint32_t rx = 0;
    std::uint32_t waiting = 0;
    std::uint32_t events = 0;
    uart_.GetStatus(handle_, rx, waiting, events);
    const std::size_t room = waiting >= kOutBufferSize ? 0 : kOutBufferSize - waiting;
    const std::size_t taken = std::min(room, bytes.size());
    if (taken == 0) return 0;
    std::uint32_t written = 0;
    uart_.Write(handle_, bytes.data(), static_cast<std::uint32_t>(taken), written);
    return written;
}

void Ft232rChip::Collect() {
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    uart_.GetStatus(handle_, rx, tx, events);
    if (rx == 0) return;
    std::vector<std::uint8_t> bytes(rx);
    std::uint32_t got = 0;
    uart_.Read(handle_, bytes.data(), rx, got);
    in_.insert(in_.end(), bytes.begin(), bytes.begin() + got);
}

std::optional<std::vector<std::uint8_t>> Ft232rChip::NextInPacket() {
    Collect();
    const std::int64_t now = clock_.NowNs();
    constexpr std::size_t kData = kPacketSize - kStatusBytes;
    if (in_.size() < kData && now - lastPacketNs_ < latencyNs()) return std::nullopt;
    const auto status = ModemStatus();
    std::vector<std::uint8_t> packet{status[0], status[1]};
    const std::size_t count = std::min(in_.size(), kData);
    packet.insert(packet.end(), in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(count));
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(count));
    lastPacketNs_ = now;
    return packet;
}

}  // namespace nuv::usbemu
