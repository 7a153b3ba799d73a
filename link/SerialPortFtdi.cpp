#include "link/SerialPortFtdi.hpp"

#include <QSerialPort>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace nuv {
namespace {

constexpr int kWriteDrainMs = 1000;

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Asks the serial driver to hand received bytes on at once rather than in batches (for an
// FTDI chip the latency timer decides the rest). Ports without the request, such as
// pseudo-terminals, keep their behaviour: the request is only a hint.
void RequestLowLatency([[maybe_unused]] QSerialPort& port) {
#ifdef __linux__
    const int fd = static_cast<int>(port.handle());
    serial_struct settings{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &settings) != 0) return;
    if ((settings.flags & ASYNC_LOW_LATENCY) != 0) return;
    settings.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &settings);
#endif
}

// What kept a port from opening, in words: the kind of file where it is no serial port, else
// the system's reason as the serial-port layer gives it.
std::string OpenFailureReason(const std::string& path, const QSerialPort& port) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    const std::string reason = port.errorString().toStdString();
    if (!error) {
        switch (status.type()) {
            case std::filesystem::file_type::directory:
                return "it is a directory, not a serial port";
            case std::filesystem::file_type::regular:
                return "it is a regular file, not a serial port";
            case std::filesystem::file_type::character:
                break;
            default:
                return "it is not a serial port";
        }
    }
    switch (port.error()) {
        case QSerialPort::UnsupportedOperationError:
            return "it is not a serial port (" + reason + ")";
        case QSerialPort::PermissionError:
            return "it is held by another program, or this user may not open it (" + reason + ")";
        default:
            return reason;
    }
}

// Clears "hang up on last close", so that closing the port leaves DTR and RTS as they are. The
// kernel keeps the flag with the port's other settings from one open to the next.
void ClearHangUpOnClose(int fd) {
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0 || (settings.c_cflag & HUPCL) == 0) return;
    settings.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    ::tcsetattr(fd, TCSANOW, &settings);
}

// Qt puts back the settings it found at the open before it closes the port, HUPCL with them. A
// second descriptor keeps the port open through that, and is the last to close, with HUPCL
// cleared again.
void CloseKeepingLines(QSerialPort& port) {
    const int fd = static_cast<int>(port.handle());
    const int keeper = fd >= 0 ? ::dup(fd) : -1;
    port.close();
    if (keeper >= 0) {
        ClearHangUpOnClose(keeper);
        ::close(keeper);
    }
}

// Takes the device for this port alone. The lock file that Qt keeps is named after the path, so
// a second name of the same tty (a link, /dev/serial/by-id/..., /dev/pts/N) passes it, and the
// tty's exclusive mode stops no program run by root. A lock on the open device itself is the
// same whatever the name and whoever asks; every program that locks its port (this tool in
// both its forms among them) is kept out while the lock is held, and it goes with the last
// descriptor of this open. False when another open of the device holds it.
bool TakeDevice(int fd) {
    if (fd < 0) return true;
    // A device that takes no lock at all is used as before, without one.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
#ifdef TIOCEXCL
    ::ioctl(fd, TIOCEXCL);  // and keep out further opens by users other than root
#endif
    return true;
}

}  // namespace

UsbIdentity ReadUsbIdentity(const std::string& portName) {
    namespace fs = std::filesystem;
    UsbIdentity identity;
    std::error_code error;
    const fs::path name = fs::path(portName).filename();
    fs::path device = fs::canonical(fs::path("/sys/class/tty") / name / "device", error);
    if (error) return identity;
    // The tty hangs below the USB interface, which hangs below the USB device that carries the
    // vendor id, the product text and the serial number.
    for (; !device.empty() && device != device.root_path(); device = device.parent_path()) {
        if (fs::exists(device / "idVendor", error)) {
            identity.isUsb = true;
            identity.product = FirstLine(device / "product");
            identity.serial = FirstLine(device / "serial");
            break;
        }
    }
    return identity;
}

SerialPortFtdi::SerialPortFtdi(std::vector<ExplicitPort> explicitPorts)
    : explicitPorts_(std::move(explicitPorts)) {}

SerialPortFtdi::~SerialPortFtdi() {
    for (auto& [handle, port] : ports_) CloseKeepingLines(*port);
}

QSerialPort* SerialPortFtdi::Port(FtHandle handle) {
    const auto found = ports_.find(handle);
    return found == ports_.end() ? nullptr : found->second.get();
}

FtStatus SerialPortFtdi::ListDeviceCount(std::uint32_t& count) {
    listed_.clear();
    for (const auto* ports : {&fallbackPorts_, &explicitPorts_}) {
        for (const ExplicitPort& port : *ports) {
            std::string serial = port.serial;
            if (serial.empty()) serial = ReadUsbIdentity(port.path).serial;
            listed_.push_back(ListedPort{port.path, port.description, serial});
        }
    }
    count = static_cast<std::uint32_t>(listed_.size());
    return ft::Ok;
}

FtStatus SerialPortFtdi::ListDescription(std::uint32_t index, char* buffer) {
    if (index >= listed_.size()) return ft::DeviceNotFound;
    CopyListText(listed_[index].description, buffer);
    return ft::Ok;
}

FtStatus SerialPortFtdi::ListSerialNumber(std::uint32_t index, char* buffer) {
    if (index >= listed_.size()) return ft::DeviceNotFound;
    CopyListText(listed_[index].serial, buffer);
    return ft::Ok;
}

FtStatus SerialPortFtdi::Open(std::uint32_t index, FtHandle& handle) {
    openFailure_.clear();
    if (index >= listed_.size()) return ft::DeviceNotFound;
    const std::string& path = listed_[index].path;
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromStdString(path));
    // A port that another program holds (exclusive or locked) fails here.
    if (!port->open(QIODevice::ReadWrite)) {
        openFailure_ = "cannot open " + path + ": " + OpenFailureReason(path, *port);
        return ft::DeviceNotOpened;
    }
    const int fd = static_cast<int>(port->handle());
    if (!TakeDevice(fd)) {
        // Qt's close leaves the tty open to any opener again: the holder's exclusive mode is
        // set back through a descriptor that outlives it.
        const int keeper = ::dup(fd);
        CloseKeepingLines(*port);
#ifdef TIOCEXCL
        if (keeper >= 0) ::ioctl(keeper, TIOCEXCL);
#endif
        if (keeper >= 0) ::close(keeper);
        openFailure_ = "cannot open " + path +
                       ": it is held by another program (it has locked "
                       "the device)";
        return ft::DeviceNotOpened;
    }
    ClearHangUpOnClose(fd);
    RequestLowLatency(*port);
    handle = nextHandle_++;
    ports_[handle] = std::move(port);
    return ft::Ok;
}

FtStatus SerialPortFtdi::Close(FtHandle handle) {
    const auto found = ports_.find(handle);
    if (found == ports_.end()) return ft::InvalidHandle;
    CloseKeepingLines(*found->second);
    ports_.erase(found);
    return ft::Ok;
}

FtStatus SerialPortFtdi::SetBaudRate(FtHandle handle, std::uint32_t baud) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    if (baud == 0 || baud > static_cast<std::uint32_t>(std::numeric_limits<qint32>::max())) {
        return ft::InvalidBaudRate;
    }
    return port->setBaudRate(static_cast<qint32>(baud)) ? ft::Ok : ft::InvalidBaudRate;
}

FtStatus SerialPortFtdi::SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                                std::uint8_t stopBits, std::uint8_t parity) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    QSerialPort::DataBits bits{};
    switch (wordLength) {
        case ft::Bits7:
            bits = QSerialPort::Data7;
            break;
        case ft::Bits8:
            bits = QSerialPort::Data8;
            break;
        default:
            return ft::InvalidParameter;
    }
    QSerialPort::StopBits stops{};
    switch (stopBits) {
        case ft::StopBits1:
            stops = QSerialPort::OneStop;
            break;
        case ft::StopBits2:
            stops = QSerialPort::TwoStop;
            break;
        default:
            return ft::InvalidParameter;
    }
    QSerialPort::Parity parityMode{};
    switch (parity) {
        case ft::ParityNone:
            parityMode = QSerialPort::NoParity;
            break;
        case ft::ParityOdd:
            parityMode = QSerialPort::OddParity;
            break;
        case ft::ParityEven:
            parityMode = QSerialPort::EvenParity;
            break;
        case ft::ParityMark:
            parityMode = QSerialPort::MarkParity;
            break;
        case ft::ParitySpace:
            parityMode = QSerialPort::SpaceParity;
            break;
        default:
            return ft::InvalidParameter;
    }
    const bool ok =
        port->setDataBits(bits) && port->setStopBits(stops) && port->setParity(parityMode);
    return ok ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t,
                                        std::uint8_t) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    QSerialPort::FlowControl mode{};
    switch (flowControl) {
        case ft::FlowNone:
            mode = QSerialPort::NoFlowControl;
            break;
        case ft::FlowRtsCts:
            mode = QSerialPort::HardwareControl;
            break;
        case ft::FlowXonXoff:
            mode = QSerialPort::SoftwareControl;
            break;
        default:
            return ft::NotSupported;  // DTR/DSR flow has no counterpart here
    }
    return port->setFlowControl(mode) ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::SetRts(FtHandle handle) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    return port->setRequestToSend(true) ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::ClrRts(FtHandle handle) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    return port->setRequestToSend(false) ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::SetDtr(FtHandle handle) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    return port->setDataTerminalReady(true) ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::ClrDtr(FtHandle handle) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    return port->setDataTerminalReady(false) ? ft::Ok : ft::IoError;
}

FtStatus SerialPortFtdi::GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                   std::uint32_t& eventStatus) {
    rxQueue = 0;
    txQueue = 0;
    eventStatus = 0;
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    // Take in what the system has received by now, without waiting.
    port->waitForReadyRead(0);
    if (port->error() == QSerialPort::ResourceError || !port->isOpen()) return ft::IoError;
    rxQueue = static_cast<std::uint32_t>(
        std::min<qint64>(port->bytesAvailable(), std::numeric_limits<std::uint32_t>::max()));
    txQueue = static_cast<std::uint32_t>(
        std::min<qint64>(port->bytesToWrite(), std::numeric_limits<std::uint32_t>::max()));
    return ft::Ok;
}

FtStatus SerialPortFtdi::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                              std::uint32_t& returned) {
    returned = 0;
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    const qint64 count = port->read(reinterpret_cast<char*>(buffer), toRead);
    if (count < 0) return ft::IoError;
    returned = static_cast<std::uint32_t>(count);
    return ft::Ok;
}

FtStatus SerialPortFtdi::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                               std::uint32_t& written) {
    written = 0;
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    const qint64 queued = port->write(reinterpret_cast<const char*>(data), count);
    if (queued != static_cast<qint64>(count)) return ft::IoError;
    // Hand the bytes to the system now rather than when the event loop next runs; a short
    // frame fits the system's buffer at once.
    port->flush();
    if (port->bytesToWrite() > 0 && !port->waitForBytesWritten(kWriteDrainMs)) {
        return ft::IoError;
    }
    written = count;
    return ft::Ok;
}

FtStatus SerialPortFtdi::WaitForReceive(FtHandle handle, std::uint32_t limitMs) {
    QSerialPort* port = Port(handle);
    if (port == nullptr) return ft::InvalidHandle;
    // Qt's wait is for bytes it has not taken in yet.
    if (port->bytesAvailable() == 0 && limitMs > 0) {
        port->waitForReadyRead(static_cast<int>(std::min<std::uint32_t>(limitMs, 60'000)));
    }
    return ft::Ok;
}

PortIdentity SerialPortFtdi::Identify(std::uint32_t index) {
    if (index >= listed_.size()) return {};
    // A link (nuvsim --link) and the tty it names are one port.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(listed_[index].path, error);
    return {"tty:" + (error ? listed_[index].path : resolved.string()), true};
}

}  // namespace nuv
