#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/FtdiApi.hpp"
#include "link/LibFtdi.hpp"

namespace nuv {

// An FTDI cable whose USB device the driver cannot open (no access to its device node), with
// the kernel tty through which it can still be reached, if there is one.
struct UnreachableCable {
    std::string location;
    std::string tty;
};

// The driver operations on FTDI chips over USB through libftdi1, as the vendor's library does
// them: every FTDI device (vendor 0x0403) is listed with its USB product text and serial number,
// one entry per serial channel (" A", " B" added, as the vendor's library names them); a device
// that another program holds cannot be described, so the link shows it busy; opening and
// closing leave DTR and RTS alone, and a close gives the device back to the kernel's serial
// driver. The chip's latency timer is set to 1 ms at the open.
//
// What the chip sends is fetched into a receive queue of the driver's own: a status query
// fetches when the queue is empty and the chip was not asked within the last latency period,
// a wait for bytes fetches until some come, a read takes only what is queued.
class LibFtdiDriver final : public FtdiApi {
  public:
    static constexpr std::uint16_t kVendor = 0x0403;
    static constexpr unsigned char kLatencyMs = 1;

    LibFtdiDriver(LibFtdi& ftdi, Clock& clock) : ftdi_(ftdi), clock_(clock) {}
    ~LibFtdiDriver() override;
    LibFtdiDriver(const LibFtdiDriver&) = delete;
    LibFtdiDriver& operator=(const LibFtdiDriver&) = delete;

    // Told at every count which cables of that list libftdi1 cannot reach (none: empty). Those
    // with a tty are left out of this driver's list, for the tty driver to list instead; those
    // without are listed, and cannot be described.
    std::function<void(const std::vector<UnreachableCable>&)> onUnreachable;

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

  private:
    struct Listed {
        std::size_t device = 0;  // of the last FindAll
        int channel = 0;
        std::string location;
        FtStatus descriptionStatus = ft::Ok;
        std::string description;
        FtStatus serialStatus = ft::Ok;
        std::string serial;
    };
    struct Port {
        LibFtdi::Context context = 0;
        std::string location;
        std::deque<std::uint8_t> received;
        std::int64_t lastFetchNs = 0;
        bool fetched = false;
    };

    Port* Opened(FtHandle handle);
    bool OpenHere(const std::string& location) const;
    // Asks the chip for what it has received; a failure is the status of the call.
    FtStatus Fetch(Port& port);
    FtStatus Line(FtHandle handle, int (LibFtdi::*call)(LibFtdi::Context, int), int state);

    LibFtdi& ftdi_;
    Clock& clock_;
    std::vector<Listed> listed_;
    std::map<FtHandle, Port> ports_;
    FtHandle nextHandle_ = 1;
};

}  // namespace nuv
