#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/LinkResult.hpp"
#include "link/Clock.hpp"
#include "link/DeviceListView.hpp"
#include "link/FtdiApi.hpp"

namespace nuv {

class MessageLog;

inline constexpr const char* kStateFree = "free ";
inline constexpr const char* kStateBusy = "BUSY (uses by other program)";
inline constexpr const char* kStateUsed = "USED BY THIS PROGRAM";

// One attached FTDI device as the last scan saw it.
struct DeviceRecord {
    std::string description;  // at most 63 characters, or "?"
    std::string serial;       // the first 8 characters of the serial number, or "?"
    std::string state;        // kStateFree, kStateBusy, kStateUsed or empty
};

// When the bytes of a reply that streams in at the line's rate are due: from when its first
// byte began, as the first look that found bytes puts it, so that the pauses of a wait do not
// add up the tool's own delays. A reply that falls two bytes behind (its sender paused)
// is scheduled anew from where it stands.
class ReplySchedule {
  public:
    // The first look that found bytes: `received` of them by `nowNs`.
    void Start(std::int64_t nowNs, std::size_t received, std::int64_t byteNs) {
        byteNs_ = byteNs;
        startNs_ = nowNs - static_cast<std::int64_t>(received) * byteNs;
    }
    // A later look.
    void Look(std::int64_t nowNs, std::size_t received) {
        if (nowNs > DueNs(received + 2)) Start(nowNs, received, byteNs_);
    }
    // When `count` bytes of the reply are there.
    std::int64_t DueNs(std::size_t count) const {
        return startNs_ + static_cast<std::int64_t>(count) * byteNs_;
    }

  private:
    std::int64_t startNs_ = 0;
    std::int64_t byteNs_ = 0;
};

// The one link to the module: the device list, the selected device, the open handle and the
// receive buffers, with the byte-level operations both module protocols build on.
class UsbLink {
  public:
    static constexpr std::size_t kMaxDevices = 8;
    static constexpr std::size_t kRxBufferSize = 131072;
    static constexpr std::size_t kReadChunkSize = 4608;
    static constexpr std::size_t kTxBufferSize = 258;
    static constexpr std::uint32_t kNormalBaud = 9600;

    // `log` is the message log, where failures are reported.
    UsbLink(FtdiApi& driver, Clock& clock, EventPump& pump, MessageLog& log);
    ~UsbLink();
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    LinkResult ConnectModule();
    LinkResult ScanAndOpen();
    LinkResult OpenLink(std::uint32_t baud, std::uint8_t dataBits, std::uint8_t stopBits,
                        std::uint8_t parity);
    void CloseLink();
    LinkResult SetLinkBaud(std::uint32_t baud);

    LinkResult RaiseRts();
    LinkResult DropRts();
    LinkResult RaiseDtr();
    LinkResult DropDtr();

    LinkResult WriteBytes(std::span<const std::uint8_t> bytes);
    LinkResult DrainReceive();
    LinkResult ReadTimed(std::uint32_t expected, std::uint16_t limitMs);
    LinkResult SendShortFrame(std::span<const std::uint8_t> bytes);

    // Throws away input that waits on the link or is still arriving (the tail of an answer to
    // an earlier request, or another program's traffic), so that the next reply read is the
    // answer to the next request. Every exchange calls it before its request goes out. It costs
    // one status query when nothing waits; otherwise it reads until the line has been quiet for
    // kQuietMs (or four characters, when longer) and at most kDiscardLimitMs in all, serving
    // the window meanwhile. Returns the number of bytes thrown away; tells the trace when any.
    std::uint32_t DiscardInput();
    static constexpr std::uint32_t kQuietMs = 20;
    static constexpr std::uint32_t kDiscardLimitMs = 300;

    // Waits up to `limitMs` for received bytes, and ends as soon as the driver has some: the
    // pause of every polling loop on the link. A driver that cannot wait makes it a sleep.
    void WaitForData(std::uint32_t limitMs);

    // The pause of a wait for `count` more bytes of a reply that is coming: until `dueNs`, when
    // they are due by the reply's schedule (ReplySchedule), so that a reply trickling in does not
    // wake the tool for every byte. Where they are not due later than now (the reply fell
    // behind), as long as they take on the wire from now. The pause is never longer than
    // `limitNs` (what is left of the caller's limit), than LongestPauseMs() or than the time in
    // which kChipBufferBytes arrive (a chip that is only asked between pauses must not
    // overflow): a longer wait is cut into equal pauses.
    // It is never shorter than `leastNs` unless the limit is nearer. The last byte or two are
    // waited for with the driver's wait, which ends when they are there.
    void PauseForBytes(std::uint32_t count, std::int64_t dueNs, std::int64_t limitNs,
                       std::int64_t leastNs = 0);
    // How long one pause of a wait may last: a window is served every kLongestPauseMs, a
    // program without one every kWindowlessPauseMs.
    static constexpr std::uint32_t kLongestPauseMs = 100;
    static constexpr std::uint32_t kWindowlessPauseMs = 250;
    std::uint32_t LongestPauseMs() const {
        return pump_.ServesWindow() ? kLongestPauseMs : kWindowlessPauseMs;
    }
    // One pause of a wait for an answer to begin (it ends early when bytes come): the poll of
    // `pollMs` while a window is served; without one, the rest of the caller's limit, `leftNs`,
    // up to LongestPauseMs(), so that silence costs a few wakes rather than one every poll.
    std::uint32_t SilencePauseMs(std::uint32_t pollMs, std::int64_t leftNs) const;

    // Puts the link back as it was made: closed, no device list, LinkBaud 9600, buffers, counts
    // and the state of its waits cleared. For a program that runs one tool through many
    // sessions (the fuzzing harnesses).
    void Reset();
    static constexpr std::uint32_t kChipBufferBytes = 128;

    // Receives lines of the wire trace that the message log does not show (nuvctl -v).
    std::function<void(const std::string&)> trace;

    // Asked before every exchange: true when the program is to stop (Ctrl-C on the command
    // line), so that a command ends at the next exchange boundary with result::Stopped. The
    // window sets none.
    std::function<bool()> stopRequested;
    bool StopRequested() const { return unstoppable_ == 0 && stopRequested && stopRequested(); }
    // While one lives, exchanges go out even after a stop: what puts the module back in its
    // normal state (the leave of program mode) must not be cut off by the stop itself.
    class Unstoppable {
      public:
        explicit Unstoppable(UsbLink& link) : link_(link) { ++link_.unstoppable_; }
        ~Unstoppable() { --link_.unstoppable_; }
        Unstoppable(const Unstoppable&) = delete;
        Unstoppable& operator=(const Unstoppable&) = delete;

      private:
        UsbLink& link_;
    };

    // One exchange at a time, of any kind: a Modbus transaction, a program-mode block, the boot
    // loader's session of a firmware update. The window stays live while an exchange waits on
    // the module; an exchange started from there would mix its bytes with the running one's on
    // the one line. Every exchange holds one of these for its length; a second one is refused
    // with std::logic_error, a programming error, as the tool starts no second command meanwhile.
    class ExchangeGuard {
      public:
        // `kind` names the exchange in the refusal ("a Modbus exchange").
        ExchangeGuard(UsbLink& link, const char* kind) : link_(link) {
            if (link_.exchange_ != nullptr) {
                throw std::logic_error(std::string(kind) + " cannot start while " +
                                       link_.exchange_ + " runs on the link");
            }
            link_.exchange_ = kind;
        }
        ~ExchangeGuard() { link_.exchange_ = nullptr; }
        ExchangeGuard(const ExchangeGuard&) = delete;
        ExchangeGuard& operator=(const ExchangeGuard&) = delete;

      private:
        UsbLink& link_;
    };
    // Whether an exchange holds the link now.
    bool ExchangeRunning() const { return exchange_ != nullptr; }

    // Where the device list is shown; none: the table is kept and shown nowhere.
    void SetDeviceListView(DeviceListView* view) { view_ = view; }
    // The records the device list shows now: the last scan's for results 0, 5 and 20, none
    // after any other result.
    std::span<const DeviceRecord> ShownDevices() const { return {devices_.data(), shownCount_}; }

    // Whether the RS485 buttons are to be enabled, from the hardware version that the device
    // list shows for the selected device.
    bool CheckHardwareVersion() const;

    // State.
    std::uint8_t DeviceCount() const { return deviceCount_; }
    const std::array<DeviceRecord, kMaxDevices>& Devices() const { return devices_; }
    std::uint8_t SelectedIndex() const { return selectedIndex_; }
    bool IsOpen() const { return open_; }
    FtHandle Handle() const { return handle_; }
    std::uint32_t LinkBaud() const { return linkBaud_; }
    // Wire time of one byte (start, 8 data bits, stop) at the rate the open device was last
    // set to (LinkBaud until a device has been set).
    std::int64_t ByteTimeNs() const {
        return 10'000'000'000LL / std::max<std::uint32_t>(baudInForce_, 1);
    }
    // Why the module's device could not be opened by the last scan (the device and the system's
    // reason), where the driver can tell; empty otherwise.
    const std::string& OpenFailure() const { return openFailure_; }
    void SelectLinkBaud(std::uint32_t baud) { linkBaud_ = baud; }

    std::span<const std::uint8_t> RxBuffer() const { return rx_; }
    std::uint32_t ReceivedCount() const { return receivedCount_; }
    std::uint32_t LastReadCount() const { return lastReadCount_; }
    void SetLastReadCount(std::uint32_t count) { lastReadCount_ = count; }
    // Puts a reply gathered by a protocol into RxBuffer[0..] and LastReadCount.
    void StoreReply(std::span<const std::uint8_t> reply);

    FtdiApi& Driver() { return driver_; }
    Clock& LinkClock() { return clock_; }
    EventPump& Pump() { return pump_; }
    MessageLog& Log() { return log_; }

  private:
    // Operations on a closed link go to the driver with handle 0, which names no device, so they
    // fail with the driver's own status rather than reaching a stale handle.
    FtHandle ActiveHandle() const { return open_ ? handle_ : FtHandle{0}; }
    LinkResult LineOperation(FtStatus (FtdiApi::*operation)(FtHandle));
    FtStatus QueryStatus(std::uint32_t& queued);
    // Reads what the driver reported queued, in pieces of at most one chunk, appending to
    // RxBuffer until `expected` bytes are there and dropping the rest. False when a read failed.
    bool ReadQueued(std::uint32_t queued, std::uint32_t expected, bool& gotBytes);
    // Reads and drops what is queued now; false when the driver failed.
    bool DropQueued(std::uint32_t& dropped);
    void ShowDeviceList(std::size_t count);
    // Clears RxBuffer to zeros.
    void ClearRx();

    FtdiApi& driver_;
    Clock& clock_;
    EventPump& pump_;
    MessageLog& log_;
    DeviceListView* view_ = nullptr;
    std::size_t shownCount_ = 0;
    // A wait that ended early because bytes were there, and whether any were read since: when
    // a read keeps failing, the bytes stay and the next wait would end at once again.
    bool waitEndedEarly_ = false;
    bool readSinceWait_ = false;

    std::uint8_t deviceCount_ = 0;
    std::array<DeviceRecord, kMaxDevices> devices_{};
    std::uint8_t selectedIndex_ = 0;
    FtHandle handle_ = 0;
    bool open_ = false;
    std::uint32_t linkBaud_ = kNormalBaud;
    std::uint32_t baudInForce_ = kNormalBaud;
    std::string openFailure_;

    std::vector<std::uint8_t> rx_;
    // RxBuffer[0..rxUsed_) may hold bytes; the rest is zero.
    std::size_t rxUsed_ = 0;
    std::vector<std::uint8_t> chunk_;
    std::array<std::uint8_t, kTxBufferSize> tx_{};
    std::uint32_t receivedCount_ = 0;
    std::uint32_t lastReadCount_ = 0;
    int unstoppable_ = 0;
    // The kind of the exchange that holds the link, or none.
    const char* exchange_ = nullptr;
};

}  // namespace nuv
