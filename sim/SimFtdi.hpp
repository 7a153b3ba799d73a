#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"

namespace nuv::sim {

// A first-in first-out queue on one vector: what is taken leaves a gap at the front that is
// closed when the queue empties (or the gap grows large), so that a queue that runs empty again
// and again allocates nothing.
template <typename T>
class FifoQueue {
  public:
    bool empty() const { return head_ == items_.size(); }
    std::size_t size() const { return items_.size() - head_; }
    const T& front() const { return items_[head_]; }
    void push_back(const T& item) { items_.push_back(item); }
    void append(const T* items, std::size_t count) {
        items_.insert(items_.end(), items, items + count);
    }
    void pop_front(std::size_t count = 1) {
        head_ += count;
        if (head_ >= items_.size()) {
            clear();
        } else if (head_ >= kCompactAt && head_ * 2 >= items_.size()) {
            items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
    }
    void clear() {
        items_.clear();
        head_ = 0;
    }
    typename std::vector<T>::const_iterator begin() const {
        return items_.begin() + static_cast<std::ptrdiff_t>(head_);
    }

  private:
    static constexpr std::size_t kCompactAt = 4096;
    std::vector<T> items_;
    std::size_t head_ = 0;
};

// The driver operations whose failure can be injected.
enum class Op {
    Count,
    Description,
    Serial,
    Open,
    Baud,
    Characteristics,
    FlowControl,
    Lines,
    Status,
    Read,
    Write,
};
inline constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::Write) + 1;

// An injected failure: after `skip` calls that pass, the next `times` calls fail with `status`
// (all of them when `times` is negative).
struct Fault {
    FtStatus status = ft::Ok;
    int skip = 0;
    int times = 0;

    // Whether this call fails; counts the call.
    bool Trigger();
};

class SimDevice;

// The far end of a virtual device's cable: it receives the bytes the host wrote, each when its
// last bit has crossed the wire, and answers through SimDevice::Send at times of its choosing.
class Peer {
  public:
    virtual ~Peer() = default;
    virtual void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) = 0;
    // RTS or DTR changed.
    virtual void OnLines(SimDevice& /*device*/, std::int64_t /*atNs*/) {}
    // Time has passed up to `nowNs`; the peer may send what falls due.
    virtual void OnTime(SimDevice& /*device*/, std::int64_t /*nowNs*/) {}
    // When the peer next wants OnTime without anything arriving, if it knows: a wait for bytes
    // stops there instead of sleeping past it.
    virtual std::optional<std::int64_t> NextEventNs() const { return std::nullopt; }
};

// How opening and closing a device moves its control lines.
enum class LineModel {
    // The chip's own USB driver (the vendor library, libftdi1): open and close leave DTR and
    // RTS as they are.
    Ftdi,
    // A kernel tty: every open raises DTR and RTS, and the last close drops them unless HUPCL is
    // cleared. The tool's tty driver clears HUPCL right after it opens a port.
    Tty,
};

// One virtual FTDI device with its line settings, its two directions of wire and its peer.
class SimDevice {
  public:
    SimDevice(std::string description, std::string serial, const Clock& clock);

    std::string description;
    std::string serial;
    bool heldByOtherProgram = false;
    // Whether what the peer sends while the host has the device closed waits for the next open,
    // as on a pseudo-terminal or a kernel serial port whose chip keeps receiving. By default a
    // fresh open starts with empty queues.
    bool keepsInputWhileClosed = false;
    // Whether it records every byte the host wrote (Written(), for tests); off for a device that
    // runs for long.
    bool keepRecords = true;
    // The tty's "hang up on last close" flag, as the kernel keeps it between opens (Tty model).
    bool hupcl = true;

    void AttachPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
    Fault& FaultOf(Op op) { return faults_[static_cast<std::size_t>(op)]; }
    void InjectFault(Op op, FtStatus status, int times = -1, int skip = 0) {
        FaultOf(op) = Fault{status, skip, times};
    }

    // The device side, for the peer: bytes leave the device one after another from `readyAtNs`
    // on, each taking its wire time at the current baud rate; the host can read a byte once its
    // last bit has arrived. Bytes sent while the host has the device closed are lost, unless the
    // device keeps its input while closed.
    void Send(std::span<const std::uint8_t> bytes, std::int64_t readyAtNs);
    // Bytes that all arrive at once, one byte time after `readyAtNs` (or after what is still on
    // the wire): a burst faster than the line, as a driver hands over what it has queued.
    void SendBurst(std::span<const std::uint8_t> bytes, std::int64_t readyAtNs);
    // Wire time of one byte (start, 8 data bits, stop) at the current baud rate.
    std::int64_t ByteTimeNs() const;
    // When the next byte the host wrote, still on the wire, will have arrived at the peer.
    std::optional<std::int64_t> NextToPeerNs() const {
        if (toPeer_.empty()) return std::nullopt;
        return toPeer_.front().NextNs();
    }

    bool IsOpen() const { return open_; }
    std::uint32_t Baud() const { return baud_; }
    std::uint8_t WordLength() const { return wordLength_; }
    std::uint8_t StopBits() const { return stopBits_; }
    std::uint8_t Parity() const { return parity_; }
    std::uint16_t FlowControl() const { return flowControl_; }
    bool Rts() const { return rts_; }
    bool Dtr() const { return dtr_; }
    // Every byte the host wrote since the device was created, in order.
    const std::vector<std::uint8_t>& Written() const { return written_; }
    std::size_t OpenCount() const { return openCount_; }
    std::size_t ReadCalls() const { return readCalls_; }
    std::size_t CloseCount() const { return closeCount_; }

  private:
    friend class SimFtdi;
    // Both lines to a level, as the kernel moves them at an open or a close; the peer hears of a
    // change.
    void SetBothLines(bool level);
    // The earliest time at which something will happen on the wire, if anything is under way.
    std::optional<std::int64_t> NextEventNs() const;
    // Bytes that cross the wire one after another: the first arrives at `firstNs`, each next
    // one a byte time later (all at once for a burst, `byteNs` 0). `next` is the first byte
    // that has not arrived yet.
    struct Run {
        std::int64_t firstNs = 0;
        std::int64_t byteNs = 0;
        // The bytes; none are kept of bytes written while no peer listens (only their count).
        std::vector<std::uint8_t> bytes;
        std::size_t count = 0;
        std::size_t next = 0;
        std::int64_t NextNs() const { return firstNs + static_cast<std::int64_t>(next) * byteNs; }
        // How many of its bytes have arrived by `nowNs`.
        std::size_t ArrivedBy(std::int64_t nowNs) const;
    };

    // Moves everything that has crossed the wire by now: written bytes to the peer, sent bytes
    // into the receive queue.
    void Pump();

    const Clock& clock_;
    std::shared_ptr<Peer> peer_;
    std::array<Fault, kOpCount> faults_{};

    bool open_ = false;
    std::uint32_t baud_ = 9600;
    std::uint8_t wordLength_ = ft::Bits8;
    std::uint8_t stopBits_ = ft::StopBits1;
    std::uint8_t parity_ = ft::ParityNone;
    std::uint16_t flowControl_ = ft::FlowNone;
    bool rts_ = false;
    bool dtr_ = false;

    std::deque<Run> toPeer_;  // written by the host, still on the wire
    std::int64_t toPeerFreeAtNs_ = 0;
    std::deque<Run> toHost_;  // sent by the peer, still on the wire
    std::int64_t toHostFreeAtNs_ = 0;
    FifoQueue<std::uint8_t> rxQueue_;  // arrived, waiting for the host to read
    std::vector<std::uint8_t> written_;

    std::size_t openCount_ = 0;
    std::size_t closeCount_ = 0;
    std::size_t readCalls_ = 0;
    std::size_t id_ = 0;
};

// A driver whose devices are virtual: a table of SimDevices in index order. A wait for bytes
// moves the clock to their arrival, or to the end of the wait.
class SimFtdi final : public FtdiApi {
  public:
    explicit SimFtdi(Clock& clock, LineModel lines = LineModel::Ftdi)
        : clock_(clock), lines_(lines) {}

    SimDevice& AddDevice(std::string description, std::string serial);
    SimDevice& Device(std::size_t index) { return *devices_.at(index); }
    // Pulls a device's cable: it leaves the table (the later ones move up) and its handle dies.
    // The device itself lives on, so that references to it stay valid.
    void Unplug(std::size_t index);
    // Frees the devices unplugged so far; references to them die (for long runs).
    void DropUnplugged() { unplugged_.clear(); }
    std::size_t DeviceCount() const { return devices_.size(); }
    Fault& CountFault() { return countFault_; }
    // Driver calls of any kind made so far, to tell that an operation left the driver alone.
    std::size_t CallCount() const { return calls_; }
    // Runs at the start of every driver call, before the call does anything (tests pull the
    // cable from here in the middle of an operation).
    std::function<void()> beforeCall;
    LineModel Lines() const { return lines_; }
    // Tty model: whether the driver clears HUPCL after an open (the tool's tty driver does).
    void SetClearsHupcl(bool clears) { clearsHupcl_ = clears; }

    FtStatus ListDeviceCount(std::uint32_t& count) override;
    FtStatus ListDescription(std::uint32_t index, char* buffer) override;
    FtStatus ListSerialNumber(std::uint32_t index, char* buffer) override;
    FtStatus Open(std::uint32_t index, FtHandle& handle) override;
    FtStatus Close(FtHandle handle) override;
    FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) override;
    FtStatus SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity) override;
    FtStatus SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t xon,
                            std::uint8_t xoff) override;
    FtStatus SetRts(FtHandle handle) override;
    FtStatus ClrRts(FtHandle handle) override;
    FtStatus SetDtr(FtHandle handle) override;
    FtStatus ClrDtr(FtHandle handle) override;
    FtStatus GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                       std::uint32_t& eventStatus) override;
    FtStatus Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                  std::uint32_t& returned) override;
    FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override;
    std::string OpenFailure() const override { return openFailure_; }
    FtStatus WaitForReceive(FtHandle handle, std::uint32_t limitMs) override;
    PortIdentity Identify(std::uint32_t index) override;

  private:
    SimDevice* Opened(FtHandle handle);
    void Called() {
        ++calls_;
        if (beforeCall) beforeCall();
    }
    FtStatus SetLine(FtHandle handle, bool rts, bool level);

    Clock& clock_;
    LineModel lines_;
    bool clearsHupcl_ = true;
    std::size_t nextId_ = 1;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::vector<std::unique_ptr<SimDevice>> unplugged_;
    std::map<FtHandle, SimDevice*> handles_;
    FtHandle nextHandle_ = 1;
    Fault countFault_;
    std::size_t calls_ = 0;
    std::string openFailure_;
};

}  // namespace nuv::sim
