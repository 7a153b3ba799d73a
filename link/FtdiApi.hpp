#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace nuv {

// Status of a driver call, with the values of the FTDI D2XX library. Anything but FtOk is a
// failure.
using FtStatus = std::uint32_t;

namespace ft {
inline constexpr FtStatus Ok = 0;
inline constexpr FtStatus InvalidHandle = 1;
inline constexpr FtStatus DeviceNotFound = 2;
inline constexpr FtStatus DeviceNotOpened = 3;
inline constexpr FtStatus IoError = 4;
inline constexpr FtStatus InsufficientResources = 5;
inline constexpr FtStatus InvalidParameter = 6;
inline constexpr FtStatus InvalidBaudRate = 7;
inline constexpr FtStatus NotSupported = 17;
inline constexpr FtStatus OtherError = 18;

// FT_ListDevices flags.
inline constexpr std::uint32_t ListNumberOnly = 0x80000000U;
inline constexpr std::uint32_t ListByIndex = 0x40000000U;
inline constexpr std::uint32_t OpenBySerialNumber = 1;
inline constexpr std::uint32_t OpenByDescription = 2;

// FT_SetDataCharacteristics values.
inline constexpr std::uint8_t Bits8 = 8;
inline constexpr std::uint8_t Bits7 = 7;
inline constexpr std::uint8_t StopBits1 = 0;
inline constexpr std::uint8_t StopBits2 = 2;
inline constexpr std::uint8_t ParityNone = 0;
inline constexpr std::uint8_t ParityOdd = 1;
inline constexpr std::uint8_t ParityEven = 2;
inline constexpr std::uint8_t ParityMark = 3;
inline constexpr std::uint8_t ParitySpace = 4;

// FT_SetFlowControl values.
inline constexpr std::uint16_t FlowNone = 0x0000;
inline constexpr std::uint16_t FlowRtsCts = 0x0100;
inline constexpr std::uint16_t FlowDtrDsr = 0x0200;
inline constexpr std::uint16_t FlowXonXoff = 0x0400;

// Size of the buffers that FT_ListDevices fills with a description or a serial number.
inline constexpr std::uint32_t ListBufferSize = 64;
}  // namespace ft

// Fills a list buffer as the driver does: the text, cut to fit, and its NUL.
inline void CopyListText(const std::string& text, char* buffer) {
    const std::size_t length = std::min<std::size_t>(text.size(), ft::ListBufferSize - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// An open device. 0 never names one.
using FtHandle = std::uintptr_t;

// How a listed device is reached, for a layer that keeps a port open from one scan to the next.
struct PortIdentity {
    // Where the device is attached (a USB socket, a tty path); the same text in every list while
    // it stays there. Empty: unknown, so the port is never kept.
    std::string location;
    // Whether opening the device raises DTR and RTS by itself (a kernel tty does; the chip's own
    // USB driver does not).
    bool openRaisesLines = false;
};

// The operations of the FTDI D2XX driver that the link uses, with their arguments and status
// values. A backend may reach the chip any way it likes (vendor library, kernel serial driver,
// simulation); callers rely only on what is written here.
class FtdiApi {
  public:
    virtual ~FtdiApi() = default;

    // FT_ListDevices(&count, nullptr, ListNumberOnly): the number of attached devices.
    virtual FtStatus ListDeviceCount(std::uint32_t& count) = 0;
    // FT_ListDevices(index, buffer, ListByIndex | OpenByDescription): a NUL-terminated
    // description of at most ListBufferSize - 1 characters.
    virtual FtStatus ListDescription(std::uint32_t index, char* buffer) = 0;
    // FT_ListDevices(index, buffer, ListByIndex | OpenBySerialNumber): a NUL-terminated serial.
    virtual FtStatus ListSerialNumber(std::uint32_t index, char* buffer) = 0;

    virtual FtStatus Open(std::uint32_t index, FtHandle& handle) = 0;
    virtual FtStatus Close(FtHandle handle) = 0;

    virtual FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) = 0;
    virtual FtStatus SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                            std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual FtStatus SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t xon,
                                    std::uint8_t xoff) = 0;

    virtual FtStatus SetRts(FtHandle handle) = 0;
    virtual FtStatus ClrRts(FtHandle handle) = 0;
    virtual FtStatus SetDtr(FtHandle handle) = 0;
    virtual FtStatus ClrDtr(FtHandle handle) = 0;

    // Bytes waiting in the receive queue (readable at once), bytes still to transmit, and the
    // event status. A failing call leaves the counts at 0.
    virtual FtStatus GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                               std::uint32_t& eventStatus) = 0;
    // Read up to `toRead` bytes that are already queued; never waits.
    virtual FtStatus Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                          std::uint32_t& returned) = 0;
    // Queue all `count` bytes for sending.
    virtual FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                           std::uint32_t& written) = 0;

    // Why the last Open failed, in words for people: the device and the system's reason
    // ("cannot open /dev/ttyUSB0: Permission denied"). Empty where the driver cannot tell.
    virtual std::string OpenFailure() const { return {}; }
    // Waits until the receive queue holds bytes (returns at once when it does already) or until
    // `limitMs` have passed, whichever is first. Ok when it waited; any other status when it did
    // not (a driver that cannot wait, a handle that names no device), and the caller sleeps.
    virtual FtStatus WaitForReceive(FtHandle /*handle*/, std::uint32_t /*limitMs*/) {
        return ft::NotSupported;
    }
    // How the device at `index` of the last list is reached.
    virtual PortIdentity Identify(std::uint32_t /*index*/) { return {}; }
};

}  // namespace nuv
