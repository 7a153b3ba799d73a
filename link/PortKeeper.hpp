#pragma once

#include <map>
#include <optional>
#include <string>

#include "link/FtdiApi.hpp"

namespace nuv {

// Keeps the module's port open from one scan to the next. The link closes its device before
// every scan and opens it again after (most commands connect anew), but opening a kernel tty
// raises DTR and RTS, the module's reset and RS485 pass-through, and reattaching a USB device to
// its driver takes time. So a close here only parks the port: when the next open asks for the
// device at the same place, it gets the parked port back with its lines untouched. The port is
// really closed when another device is opened, when a scan no longer finds it, and at the end.
//
// After a real open of a device whose open raises the lines, they are set back to the state the
// link last gave them (both dropped until it gave any): the one toggle that remains is the
// kernel's at the first open. A port on which a transfer or a setting failed is closed for real
// rather than parked, so that a cable pulled and put back gets a fresh port.
class PortKeeper final : public FtdiApi {
  public:
    explicit PortKeeper(FtdiApi& inner) : inner_(inner) {}
    ~PortKeeper() override;
    PortKeeper(const PortKeeper&) = delete;
    PortKeeper& operator=(const PortKeeper&) = delete;

    // Closes a parked port now.
    void ReleaseParked();
    bool HasParked() const { return parked_.has_value(); }

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
    FtStatus WaitForReceive(FtHandle handle, std::uint32_t limitMs) override;
    PortIdentity Identify(std::uint32_t index) override;
    std::string OpenFailure() const override { return inner_.OpenFailure(); }

  private:
    struct Port {
        FtHandle inner = 0;
        std::string location;
        bool failed = false;
    };
    // The inner handle of an open (not parked) handle; 0 for none, which the inner driver
    // refuses like any handle that names no device.
    FtHandle Inner(FtHandle handle) const;
    // Passes a status on, and remembers a failure of the port.
    FtStatus Noted(FtHandle handle, FtStatus status);
    FtStatus Line(FtHandle handle, FtStatus (FtdiApi::*operation)(FtHandle), bool rts, bool level);

    FtdiApi& inner_;
    std::map<FtHandle, Port> open_;
    std::optional<Port> parked_;
    FtHandle nextHandle_ = 1;
    bool rts_ = false;
    bool dtr_ = false;
};

}  // namespace nuv
