#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "fuzz/FuzzInput.hpp"
#include "link/FtdiApi.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::fuzz {

// The simulated driver with one device, as the tool sees it, and the module's side of the
// wire driven by a harness input. Every call goes to the simulated driver; what the tool does
// to the device marks the moments at which the module answers:
//   - a write of a request (any write but the 126-byte first half of a program-mode block,
//     whose checksums follow in a write of their own), and
//   - a change of a control line (the boot loader prompts after the reset by DTR, before any
//     request).
// Replaying, each such event releases the next chunk of the input if the chunk waits for an
// event of that kind: its bytes leave the device once the request has crossed the wire and the
// chunk's delay has passed, at the wire speed of the port; the chunks that follow it go out
// after it. Recording (with the simulated module attached to the device), every event starts a
// new chunk, which takes the bytes the tool reads until the next event; bytes read after a
// pause of the line start a chunk that follows the one before, with that pause as its delay.
class FuzzDriver final : public FtdiApi {
  public:
    // The simulated driver on `clock`, with the simulated module's device.
    explicit FuzzDriver(Clock& clock);

    // A new simulated driver with a new device, nothing pending: as the driver was made. Handles
    // of the old one are gone.
    void Reset();
    // Whether the devices it makes keep every byte the tool writes (Written()).
    void KeepRecords(bool keep) {
        keepRecords_ = keep;
        device_->keepRecords = keep;
    }
    sim::SimFtdi& Simulated() { return *driver_; }
    const sim::SimFtdi& Simulated() const { return *driver_; }
    sim::SimDevice& Device() { return *device_; }
    const sim::SimDevice& Device() const { return *device_; }

    void Replay(std::vector<Chunk> chunks);
    void Record();
    // The chunks of a recording, without the empty ones at its end.
    std::vector<Chunk> Recorded() const;
    std::size_t Events() const { return events_; }

    FtStatus ListDeviceCount(std::uint32_t& count) override {
        return driver_->ListDeviceCount(count);
    }
    FtStatus ListDescription(std::uint32_t index, char* buffer) override {
        return driver_->ListDescription(index, buffer);
    }
    FtStatus ListSerialNumber(std::uint32_t index, char* buffer) override {
        return driver_->ListSerialNumber(index, buffer);
    }
    FtStatus Open(std::uint32_t index, FtHandle& handle) override;
    FtStatus Close(FtHandle handle) override { return driver_->Close(handle); }
    FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) override {
        return driver_->SetBaudRate(handle, baud);
    }
    FtStatus SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity) override {
        return driver_->SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FtStatus SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t xon,
                            std::uint8_t xoff) override {
        return driver_->SetFlowControl(handle, flowControl, xon, xoff);
    }
    FtStatus SetRts(FtHandle handle) override { return Line(driver_->SetRts(handle)); }
    FtStatus ClrRts(FtHandle handle) override { return Line(driver_->ClrRts(handle)); }
    FtStatus SetDtr(FtHandle handle) override { return Line(driver_->SetDtr(handle)); }
    FtStatus ClrDtr(FtHandle handle) override { return Line(driver_->ClrDtr(handle)); }
    FtStatus GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                       std::uint32_t& eventStatus) override {
        return driver_->GetStatus(handle, rxQueue, txQueue, eventStatus);
    }
    FtStatus Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                  std::uint32_t& returned) override;
    FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override;
    std::string OpenFailure() const override { return driver_->OpenFailure(); }
    FtStatus WaitForReceive(FtHandle handle, std::uint32_t limitMs) override {
        return driver_->WaitForReceive(handle, limitMs);
    }
    PortIdentity Identify(std::uint32_t index) override { return driver_->Identify(index); }

  private:
    enum class Mode { Replay, Record };
    FtStatus Line(FtStatus status) {
        if (status == ft::Ok) Event(Trigger::Line);
        return status;
    }
    void Event(Trigger trigger);
    // Sends the next pending chunk from `afterNs` on (and its delay later).
    void Release(std::int64_t afterNs);

    Clock& clock_;
    std::unique_ptr<sim::SimFtdi> driver_;
    sim::SimDevice* device_ = nullptr;
    bool keepRecords_ = true;
    Mode mode_ = Mode::Replay;
    std::deque<Chunk> pending_;
    struct Recording {
        Trigger trigger;
        std::uint8_t delayStep;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Recording> recorded_;
    std::int64_t lastReadNs_ = 0;
    std::size_t events_ = 0;
    // When the last byte the tool wrote reaches the module, and when the last byte the module
    // sends reaches the tool, as the simulated driver schedules them.
    std::int64_t requestEndNs_ = 0;
    std::int64_t answerEndNs_ = 0;
};

}  // namespace nuv::fuzz
