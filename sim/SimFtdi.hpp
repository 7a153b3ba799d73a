#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"

namespace nuv::sim {

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
    // Wire time of one byte (start, 8 data bits, stop) at the current baud rate.
    std::int64_t ByteTimeNs() const;
    // When the next byte the host wrote, still on the wire, will have arrived at the peer.
    std::optional<std::int64_t> NextToPeerNs() const {
        if (toPeer_.empty()) return std::nullopt;
        return toPeer_.front().atNs;
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

  private:
    friend class SimFtdi;
    struct TimedByte {
        std::int64_t atNs;
        std::uint8_t value;
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

    std::deque<TimedByte> toPeer_;  // written by the host, still on the wire
    std::int64_t toPeerFreeAtNs_ = 0;
    std::deque<TimedByte> toHost_;  // sent by the peer, still on the wire
    std::int64_t toHostFreeAtNs_ = 0;
    std::deque<std::uint8_t> rxQueue_;  // arrived, waiting for the host to read
    std::vector<std::uint8_t> written_;

    std::size_t openCount_ = 0;
    std::size_t readCalls_ = 0;
};

// A driver whose devices are virtual: a table of SimDevices in index order.
class SimFtdi final : public FtdiApi {
  public:
    explicit SimFtdi(const Clock& clock) : clock_(clock) {}

    SimDevice& AddDevice(std::string description, std::string serial);
    SimDevice& Device(std::size_t index) { return *devices_.at(index); }
    // Pulls a device's cable: it leaves the table (the later ones move up) and its handle dies.
    // The device itself lives on, so that references to it stay valid.
    void Unplug(std::size_t index);
    std::size_t DeviceCount() const { return devices_.size(); }
    Fault& CountFault() { return countFault_; }
    // Driver calls of any kind made so far, to tell that an operation left the driver alone.
    std::size_t CallCount() const { return calls_; }

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

  private:
    SimDevice* Opened(FtHandle handle);
    FtStatus SetLine(FtHandle handle, bool rts, bool level);

    const Clock& clock_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::vector<std::unique_ptr<SimDevice>> unplugged_;
    std::map<FtHandle, SimDevice*> handles_;
    FtHandle nextHandle_ = 1;
    Fault countFault_;
    std::size_t calls_ = 0;
    std::string openFailure_;
};

}  // namespace nuv::sim
