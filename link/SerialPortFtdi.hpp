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

// The driver operations on the system's serial ports through Qt Serial Port. The device list is
// the system's USB serial ports with the USB product text as description and the USB serial
// number, followed by the explicit ports. The list is taken anew by every count; descriptions,
// serials and opens refer to the list of the last count.
class SerialPortFtdi final : public FtdiApi {
  public:
    explicit SerialPortFtdi(std::vector<ExplicitPort> explicitPorts = {},
                            bool listSystemPorts = true);
    ~SerialPortFtdi() override;
    SerialPortFtdi(const SerialPortFtdi&) = delete;
    SerialPortFtdi& operator=(const SerialPortFtdi&) = delete;

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
    bool listSystemPorts_;
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
