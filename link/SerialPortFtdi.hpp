#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/FtdiApi.hpp"

class QSerialPort;

namespace nuv {

// A port named by its path rather than found by enumeration: any tty, a pseudo-terminal
// included, which the system's port list never shows.
struct ExplicitPort {
    std::string path;
    std::string description = "ORNEVA NUV";
    // Empty: the serial number that the system knows for the path, if any.
    std::string serial;
};

// The driver operations on ttys through Qt Serial Port: the ports it is given, never the
// system's whole list. Fallback ports (FTDI cables that the USB driver cannot reach) come first,
// then the explicit ones. Descriptions, serials and opens refer to the list of the last count.
//
// A kernel tty raises DTR and RTS at every open and, with HUPCL set, drops them at the last
// close; on the module these lines are the reset and the RS485 pass-through. So the driver
// clears HUPCL as soon as a port is open and keeps it cleared through the close. (The keeping of
// a port from one scan to the next, and setting the lines back after an open, is PortKeeper's.)
class SerialPortFtdi final : public FtdiApi {
  public:
    explicit SerialPortFtdi(std::vector<ExplicitPort> explicitPorts = {});
    ~SerialPortFtdi() override;
    SerialPortFtdi(const SerialPortFtdi&) = delete;
    SerialPortFtdi& operator=(const SerialPortFtdi&) = delete;

    // The ttys of FTDI cables to list ahead of the explicit ports from the next count on.
    void SetFallbackPorts(std::vector<ExplicitPort> ports) { fallbackPorts_ = std::move(ports); }

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

    struct ListedPort {
        std::string path;
        std::string description;
        std::string serial;
    };
    // The list of the last count.
    const std::vector<ListedPort>& Listed() const { return listed_; }

  private:
    QSerialPort* Port(FtHandle handle);

    std::vector<ExplicitPort> explicitPorts_;
    std::vector<ExplicitPort> fallbackPorts_;
    std::vector<ListedPort> listed_;
    std::string openFailure_;
    std::map<FtHandle, std::unique_ptr<QSerialPort>> ports_;
    FtHandle nextHandle_ = 1;
};

// The USB product text and serial number of a system serial port, read from sysfs on Linux
// (the udev database replaces the blanks of a product text). Empty texts where unknown.
struct UsbIdentity {
    std::string product;
    std::string serial;
    bool isUsb = false;
};
UsbIdentity ReadUsbIdentity(const std::string& portName);

}  // namespace nuv
