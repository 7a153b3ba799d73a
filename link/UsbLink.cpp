#include "link/UsbLink.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/MessageLog.hpp"
#include "link/HardwareVersion.hpp"

namespace nuv {
namespace {

constexpr const char* kModelDescriptions[] = {"ORNEVA NUV", "ORNEVA Terminal"};
constexpr std::size_t kSerialShown = 8;
constexpr std::size_t kChunkClearedBytes = 2000;
constexpr std::int64_t kMsNs = 1'000'000;
constexpr std::uint32_t kTailBytes = 2;

// A driver text up to its NUL, never past the buffer even when the NUL is missing.
std::string DriverText(const char* buffer, std::size_t limit) {
    return {buffer, strnlen(buffer, limit)};
}

bool IsModelDescription(const std::string& description) {
    return std::any_of(std::begin(kModelDescriptions), std::end(kModelDescriptions),
                       [&](const char* model) { return description == model; });
}

}  // namespace

UsbLink::UsbLink(FtdiApi& driver, Clock& clock, EventPump& pump, MessageLog& log)
    : driver_(driver),
      clock_(clock),
      pump_(pump),
      log_(log),
      rx_(kRxBufferSize, 0),
      chunk_(kReadChunkSize, 0) {}

UsbLink::~UsbLink() {
    CloseLink();
}

LinkResult UsbLink::ConnectModule() {
    ShowDeviceList(0);
    const LinkResult result = ScanAndOpen();
    if (result == result::Ok || result == result::LastDeviceBusy ||
        result == result::NoModuleDevice) {
        ShowDeviceList(deviceCount_);
        if (result == result::NoModuleDevice) {
            log_.ReportError(result);
            CloseLink();
        }
    } else {
        log_.ReportError(result);
        // The report names neither the device nor the reason; one more line does.
        if (result == result::PortOpenFailed && !openFailure_.empty()) {
            log_.AppendLine(openFailure_);
        }
        CloseLink();
    }
    return result;
}

void UsbLink::ShowDeviceList(std::size_t count) {
    shownCount_ = count;
    if (view_ != nullptr) view_->ShowDevices(ShownDevices());
}

LinkResult UsbLink::ScanAndOpen() {
    devices_.fill(DeviceRecord{});
    CloseLink();
    deviceCount_ = 0;
    openFailure_.clear();

    LinkResult result = result::Ok;
    std::uint32_t driverCount = 0;
    if (driver_.ListDeviceCount(driverCount) != ft::Ok) {
        result = result::CountListFailed;
    } else {
        // The table has room for eight devices: the list shows the first eight in driver order,
        // and devices after them are neither listed nor selected. (Taking only the low byte of
        // the count would turn 256 devices into none.)
        deviceCount_ = static_cast<std::uint8_t>(std::min<std::uint32_t>(driverCount, kMaxDevices));
    }

    if (deviceCount_ != 0 && result == result::Ok) {
        for (std::uint32_t i = 0; i < deviceCount_; ++i) {
            DeviceRecord& record = devices_[i];
            char description[ft::ListBufferSize] = {};
            if (driver_.ListDescription(i, description) != ft::Ok) {
                record = DeviceRecord{"?", "?", kStateBusy};
                result = result::LastDeviceBusy;
                continue;
            }
            record.description = DriverText(description, ft::ListBufferSize - 1);
            char serial[ft::ListBufferSize] = {};
            if (driver_.ListSerialNumber(i, serial) != ft::Ok) {
                result = result::SerialListFailed;
                continue;
            }
            record.serial = DriverText(serial, kSerialShown);
            record.state = kStateFree;
            result = result::Ok;  // the last device's outcome is the one that counts
        }
    }

    if (deviceCount_ == 0 && result == result::Ok) result = result::NoDevice;

    if (deviceCount_ != 0 && result == result::Ok) {
        bool found = false;
        for (std::uint8_t i = 0; i < deviceCount_; ++i) {
            if (IsModelDescription(devices_[i].description)) {
                selectedIndex_ = i;  // the last match wins
                found = true;
            }
        }
        if (!found) {
            result = result::NoModuleDevice;
        } else if (OpenLink(linkBaud_, ft::Bits8, ft::StopBits1, ft::ParityNone) != result::Ok) {
            result = result::PortOpenFailed;
            openFailure_ = driver_.OpenFailure();
        } else {
            devices_[selectedIndex_].state = kStateUsed;
        }
    }
    return result;
}

LinkResult UsbLink::OpenLink(std::uint32_t baud, std::uint8_t dataBits, std::uint8_t stopBits,
                             std::uint8_t parity) {
    CloseLink();  // one handle at a time
    FtHandle handle = 0;
    if (driver_.Open(selectedIndex_, handle) != ft::Ok) return result::OpenFailed;
    handle_ = handle;
    open_ = true;
    // A failure from here on leaves the handle open; the next scan closes it.
    if (driver_.SetBaudRate(handle_, baud) != ft::Ok) return result::BaudRateFailed;
    baudInForce_ = baud;
    if (driver_.SetDataCharacteristics(handle_, dataBits, stopBits, parity) != ft::Ok) {
        return result::DataCharacteristicsFailed;
    }
    if (driver_.SetFlowControl(handle_, ft::FlowNone, 0, 0) != ft::Ok) {
        return result::FlowControlFailed;
    }
    return result::Ok;
}

void UsbLink::CloseLink() {
    // Called before every scan and on every failure, so usually with nothing open: the driver
    // is asked only when a handle is open, and never twice for the same handle.
    if (!open_) return;
    open_ = false;
    driver_.Close(handle_);  // its status is of no use: the handle is gone either way
}

LinkResult UsbLink::SetLinkBaud(std::uint32_t baud) {
    if (driver_.SetBaudRate(ActiveHandle(), baud) != ft::Ok) return result::BaudRateFailed;
    baudInForce_ = baud;
    return result::Ok;
}

LinkResult UsbLink::LineOperation(FtStatus (FtdiApi::*operation)(FtHandle)) {
    return (driver_.*operation)(ActiveHandle()) == ft::Ok ? result::Ok : result::LineControlFailed;
}

LinkResult UsbLink::RaiseRts() {
    return LineOperation(&FtdiApi::SetRts);
}
LinkResult UsbLink::DropRts() {
    return LineOperation(&FtdiApi::ClrRts);
}
LinkResult UsbLink::RaiseDtr() {
    return LineOperation(&FtdiApi::SetDtr);
}
LinkResult UsbLink::DropDtr() {
    return LineOperation(&FtdiApi::ClrDtr);
}

LinkResult UsbLink::WriteBytes(std::span<const std::uint8_t> bytes) {
    std::uint32_t written = 0;
    const FtStatus status = driver_.Write(ActiveHandle(), bytes.data(),
                                          static_cast<std::uint32_t>(bytes.size()), written);
    return status == ft::Ok ? result::Ok : result::WriteFailed;
}

FtStatus UsbLink::QueryStatus(std::uint32_t& queued) {
    std::uint32_t rxQueue = 0;
    std::uint32_t txQueue = 0;
    std::uint32_t events = 0;
    const FtStatus status = driver_.GetStatus(ActiveHandle(), rxQueue, txQueue, events);
    queued = status == ft::Ok ? rxQueue : 0;
    return status;
}

LinkResult UsbLink::DrainReceive() {
    ClearRx();
    lastReadCount_ = 0;
    std::uint32_t queued = 0;
    if (QueryStatus(queued) != ft::Ok) return result::StatusFailed;
    if (queued == 0) return result::NoData;
    // More than the buffer holds stays queued for the next drain.
    const auto toRead = std::min<std::uint32_t>(queued, kRxBufferSize);
    std::uint32_t returned = 0;
    // What the read may write counts as used, whatever it returns.
    rxUsed_ = std::max<std::size_t>(rxUsed_, toRead);
    if (driver_.Read(ActiveHandle(), rx_.data(), toRead, returned) != ft::Ok)
        return result::ReadFailed;
    lastReadCount_ = std::min<std::uint32_t>(returned, toRead);
    readSinceWait_ |= lastReadCount_ > 0;
    return result::Ok;
}

bool UsbLink::ReadQueued(std::uint32_t queued, std::uint32_t expected, bool& gotBytes) {
    gotBytes = false;
    while (queued > 0) {
        const auto toRead = std::min<std::uint32_t>(queued, kReadChunkSize);
        std::uint32_t returned = 0;
        if (driver_.Read(ActiveHandle(), chunk_.data(), toRead, returned) != ft::Ok) return false;
        returned = std::min(returned, toRead);
        lastReadCount_ = returned;
        if (returned == 0) break;  // the driver had less than it reported; poll again
        gotBytes = true;
        readSinceWait_ = true;
        const std::uint32_t room = expected - receivedCount_;
        const std::uint32_t kept = std::min(returned, room);
        std::copy_n(chunk_.begin(), kept, rx_.begin() + receivedCount_);
        rxUsed_ = std::max<std::size_t>(rxUsed_, receivedCount_ + kept);
        receivedCount_ += kept;
        queued -= returned;
    }
    return true;
}

LinkResult UsbLink::ReadTimed(std::uint32_t expected, std::uint16_t limitMs) {
    std::fill_n(chunk_.begin(), kChunkClearedBytes, std::uint8_t{0});
    ClearRx();
    receivedCount_ = 0;
    lastReadCount_ = 0;
    expected = std::min<std::uint32_t>(expected, kRxBufferSize);  // never write past RxBuffer
    const std::int64_t start = clock_.NowMs();

    // The first byte: bounded by the time limit. A failed status query counts as nothing
    // queued, so the wait goes on until the limit.
    std::uint32_t queued = 0;
    std::int64_t elapsed = 0;
    while (queued == 0) {
        pump_.ProcessEvents();
        if (elapsed >= limitMs) return result::FirstByteTimeout;
        // The pause ends early when bytes arrive, and there is none when they are there
        // already; after a failed query the driver's word on its queue is worth nothing, so it
        // is a plain sleep.
        if (QueryStatus(queued) == ft::Ok) {
            if (queued == 0) {
                WaitForData(
                    SilencePauseMs(1, static_cast<std::int64_t>(limitMs - elapsed) * kMsNs));
            }
        } else {
            clock_.SleepMs(1);
        }
        elapsed = clock_.NowMs() - start;
    }
    bool gotBytes = false;
    if (!ReadQueued(queued, expected, gotBytes)) return result::ReadFailed;
    if (receivedCount_ >= expected) return result::Ok;

    // The rest: bounded by the time the line stays quiet, counted in milliseconds as the idle
    // polls of about 1 ms each were, and not reset when bytes come. A pass sleeps until the
    // missing bytes can have arrived; what of the pass the bytes it brought do not fill on the
    // wire was quiet. A pass that brought nothing (its read failed, or returned nothing) was
    // quiet all through and the next one sleeps at least 1 ms, so a driver that keeps failing
    // while it reports queued bytes cannot hold the read for longer than the limit either.
    LinkResult result = result::Ok;
    const std::int64_t limitNs = static_cast<std::int64_t>(limitMs) * 1'000'000;
    std::int64_t quietNs = 0;
    std::int64_t passStart = clock_.NowNs();
    bool lastEmpty = false;
    ReplySchedule schedule;
    schedule.Start(passStart, receivedCount_, ByteTimeNs());
    while (receivedCount_ < expected) {
        pump_.ProcessEvents();
        if (lastEmpty && !pump_.ServesWindow()) {
            // The line has gone quiet: without a window to serve, the driver's wait ends the
            // pause when bytes come again.
            WaitForData(SilencePauseMs(1, limitNs - quietNs + 1));
        } else {
            PauseForBytes(expected - receivedCount_, schedule.DueNs(expected),
                          limitNs - quietNs + 1, lastEmpty ? kMsNs : 0);
        }
        if (QueryStatus(queued) != ft::Ok) return result::StatusFailed;
        gotBytes = false;
        const std::uint32_t before = receivedCount_;
        if (queued > 0 && !ReadQueued(queued, expected, gotBytes)) result = result::ReadFailed;
        const std::int64_t now = clock_.NowNs();
        const std::int64_t passNs = now - passStart;
        passStart = now;
        const std::int64_t carriedNs =
            static_cast<std::int64_t>(receivedCount_ - before) * ByteTimeNs();
        quietNs += gotBytes ? std::max<std::int64_t>(0, passNs - carriedNs) : passNs;
        lastEmpty = !gotBytes;
        schedule.Look(now, receivedCount_);
        if (quietNs > limitNs) return result::ReplyTimeout;
    }
    return result;
}

LinkResult UsbLink::SendShortFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > 255) throw std::invalid_argument("a short frame carries at most 255 bytes");
    tx_.fill(0);
    const auto count = static_cast<std::uint8_t>(bytes.size());
    std::uint8_t sum = 0;
    std::uint8_t parity = 0;
    tx_[0] = count;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        tx_[i + 1] = bytes[i];
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
        parity = static_cast<std::uint8_t>(parity ^ bytes[i]);
    }
    tx_[bytes.size() + 1] = sum;
    tx_[bytes.size() + 2] = parity;
    return WriteBytes(std::span<const std::uint8_t>(tx_.data(), bytes.size() + 3));
}

bool UsbLink::DropQueued(std::uint32_t& dropped) {
    for (;;) {
        std::uint32_t queued = 0;
        if (QueryStatus(queued) != ft::Ok) return false;
        if (queued == 0) return true;
        const auto toRead = std::min<std::uint32_t>(queued, kReadChunkSize);
        std::uint32_t returned = 0;
        if (driver_.Read(ActiveHandle(), chunk_.data(), toRead, returned) != ft::Ok) return false;
        returned = std::min(returned, toRead);
        if (returned == 0) return true;  // the driver had less than it reported
        dropped += returned;
        readSinceWait_ = true;
    }
}

std::uint32_t UsbLink::DiscardInput() {
    std::uint32_t dropped = 0;
    if (!DropQueued(dropped) || dropped == 0) return dropped;
    // Something was waiting, so an answer may still be on its way: wait for a quiet line. Four
    // characters at the link's rate, but never less than a USB latency tick or two.
    const std::int64_t characterNs = ByteTimeNs();
    const std::int64_t quietMs = std::max<std::int64_t>(kQuietMs, 4 * characterNs / 1'000'000);
    const std::int64_t start = clock_.NowMs();
    std::int64_t lastByte = start;
    while (clock_.NowMs() - lastByte < quietMs && clock_.NowMs() - start < kDiscardLimitMs) {
        pump_.ProcessEvents();
        WaitForData(1);
        const std::uint32_t before = dropped;
        if (!DropQueued(dropped)) break;
        if (dropped != before) lastByte = clock_.NowMs();
    }
    if (trace) trace("discarded " + std::to_string(dropped) + " byte(s) of stale input");
    return dropped;
}

void UsbLink::ClearRx() {
    // Only what was written since the last clear is not zero already.
    std::fill_n(rx_.begin(), rxUsed_, 0);
    rxUsed_ = 0;
}

void UsbLink::StoreReply(std::span<const std::uint8_t> reply) {
    const std::size_t count = std::min(reply.size(), rx_.size());
    std::copy_n(reply.begin(), count, rx_.begin());
    rxUsed_ = std::max(rxUsed_, count);
    lastReadCount_ = static_cast<std::uint32_t>(count);
}

bool UsbLink::CheckHardwareVersion() const {
    if (selectedIndex_ >= shownCount_) return false;  // the list shows no such row
    const std::string& serial = devices_[selectedIndex_].serial;
    if (serial.empty()) return false;
    return HasRs485PassThrough(serial);
}

void UsbLink::WaitForData(std::uint32_t limitMs) {
    // Bytes that a failing read left queued would end every wait at once: then it is a sleep.
    const bool stuck = waitEndedEarly_ && !readSinceWait_;
    waitEndedEarly_ = false;
    readSinceWait_ = false;
    const std::int64_t start = clock_.NowNs();
    if (stuck || driver_.WaitForReceive(ActiveHandle(), limitMs) != ft::Ok) {
        clock_.SleepMs(limitMs);
        return;
    }
    waitEndedEarly_ = clock_.NowNs() - start < static_cast<std::int64_t>(limitMs) * 1'000'000;
}

void UsbLink::PauseForBytes(std::uint32_t count, std::int64_t dueNs, std::int64_t limitNs,
                            std::int64_t leastNs) {
    const std::int64_t byteNs = ByteTimeNs();
    const std::int64_t longestNs =
        std::min<std::int64_t>(static_cast<std::int64_t>(LongestPauseMs()) * kMsNs,
                               static_cast<std::int64_t>(kChipBufferBytes) * byteNs);
    std::int64_t waitNs = dueNs - clock_.NowNs();
    if (waitNs <= 0) waitNs = static_cast<std::int64_t>(count) * byteNs;
    // A wait longer than one pause is cut into pauses of equal length, so that the last one
    // does not wake the tool for a few bytes of tail.
    const std::int64_t pauses = (waitNs + longestNs - 1) / std::max<std::int64_t>(longestNs, 1);
    std::int64_t pauseNs = pauses > 1 ? (waitNs + pauses - 1) / pauses : waitNs;
    pauseNs = std::max(pauseNs, leastNs);
    pauseNs = std::min(pauseNs, limitNs);
    if (pauseNs <= 0) return;
    // The last byte or two: the driver's wait ends the pause when they are there, rather than
    // a sleep that a byte a little late would make a pass of its own.
    if (count <= kTailBytes && pauseNs < kMsNs * 1000) {
        WaitForData(static_cast<std::uint32_t>((pauseNs + kMsNs - 1) / kMsNs));
        return;
    }
    clock_.SleepNs(pauseNs);
}

std::uint32_t UsbLink::SilencePauseMs(std::uint32_t pollMs, std::int64_t leftNs) const {
    if (pump_.ServesWindow()) return pollMs;
    const std::int64_t leftMs = (leftNs + kMsNs - 1) / kMsNs;
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(leftMs, 1, static_cast<std::int64_t>(LongestPauseMs())));
}

void UsbLink::Reset() {
    CloseLink();
    devices_.fill(DeviceRecord{});
    deviceCount_ = 0;
    selectedIndex_ = 0;
    handle_ = 0;
    linkBaud_ = kNormalBaud;
    baudInForce_ = kNormalBaud;
    openFailure_.clear();
    ShowDeviceList(0);
    ClearRx();
    std::fill(chunk_.begin(), chunk_.end(), std::uint8_t{0});
    tx_.fill(0);
    receivedCount_ = 0;
    lastReadCount_ = 0;
    waitEndedEarly_ = false;
    readSinceWait_ = false;
}

}  // namespace nuv
