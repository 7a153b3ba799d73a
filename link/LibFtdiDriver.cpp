#include "link/LibFtdiDriver.hpp"

#include <algorithm>
#include <limits>

namespace nuv {
namespace {

constexpr std::int64_t kLatencyNs = LibFtdiDriver::kLatencyMs * 1'000'000LL;
// One fetch takes at most this much; the binding asks the chip once a fetch, so a status query
// never holds the window for longer than one transfer.
constexpr int kFetchSize = 512;

// ftdi_read_data, ftdi_write_data: the context lost its device, or libusb failed.
FtStatus TransferStatus(int code) {
    return code == LibFtdi::kDeviceUnavailable ? ft::DeviceNotOpened : ft::IoError;
}

// ftdi_usb_open_dev: a device that cannot be opened or claimed (another program holds it, or
// its node may not be opened), or whose kernel driver cannot be detached, is "not opened".
FtStatus OpenStatus(int code) {
    switch (code) {
        case -4:
        case -5:
        case -11:
            return ft::DeviceNotOpened;
        case -8:
            return ft::InvalidHandle;
        default:
            return ft::IoError;
    }
}

// ftdi_setdtr, ftdi_setrts, ftdi_setflowctrl: -1 the request failed, -2 no device.
FtStatus RequestStatus(int code) {
    return code == -2 ? ft::DeviceNotOpened : ft::IoError;
}

}  // namespace

LibFtdiDriver::~LibFtdiDriver() {
    for (auto& [handle, port] : ports_) {
        ftdi_.Close(port.context);
        ftdi_.Free(port.context);
    }
}

LibFtdiDriver::Port* LibFtdiDriver::Opened(FtHandle handle) {
    const auto found = ports_.find(handle);
    return found == ports_.end() ? nullptr : &found->second;
}

bool LibFtdiDriver::OpenHere(const std::string& location) const {
    return std::any_of(ports_.begin(), ports_.end(),
                       [&](const auto& entry) { return entry.second.location == location; });
}

FtStatus LibFtdiDriver::ListDeviceCount(std::uint32_t& count) {
    listed_.clear();
    count = 0;
    std::vector<LibFtdi::UsbDevice> found;
    const int devices = ftdi_.FindAll(found);
    if (devices < 0) return devices == -3 ? ft::InsufficientResources : ft::IoError;

    std::vector<UnreachableCable> unreachable;
    for (std::size_t d = 0; d < found.size(); ++d) {
        std::string description;
        std::string serial;
        const int strings = ftdi_.GetStrings(d, description, serial);
        const int channels = std::clamp(found[d].channels, 1, 4);
        for (int c = 0; c < channels; ++c) {
            Listed entry;
            entry.device = d;
            entry.channel = c;
            entry.location = found[d].location;
            entry.description = description;
            entry.serial = serial;
            if (channels > 1) {
                // Each channel of a multi-channel chip is a device of its own.
                const char letter = static_cast<char>('A' + c);
                entry.location += ':';
                entry.location += letter;
                entry.description += ' ';
                entry.description += letter;
                entry.serial += letter;
            }
            if (strings == -4) {
                // No access to the device node: the kernel's tty, if there is one, serves it.
                const std::string tty = ftdi_.TtyOf(d, c);
                unreachable.push_back(UnreachableCable{entry.location, tty});
                if (!tty.empty()) continue;
                entry.descriptionStatus = ft::DeviceNotOpened;
                entry.serialStatus = ft::DeviceNotOpened;
            } else if (strings == -9) {
                entry.serialStatus = ft::IoError;
            } else if (strings < 0) {
                entry.descriptionStatus = ft::IoError;
                entry.serialStatus = ft::IoError;
            }
            // A device that another program holds cannot be described, as with the vendor's
            // library; one that this driver holds is described as usual.
            const LibFtdi::Holder holder = ftdi_.HolderOf(d, c);
            if (holder == LibFtdi::Holder::KernelTtyInUse ||
                (holder == LibFtdi::Holder::UsbProgram && !OpenHere(entry.location))) {
                entry.descriptionStatus = ft::DeviceNotOpened;
                entry.serialStatus = ft::DeviceNotOpened;
            }
            listed_.push_back(std::move(entry));
        }
    }
    if (onUnreachable) onUnreachable(unreachable);
    count = static_cast<std::uint32_t>(listed_.size());
    return ft::Ok;
}

FtStatus LibFtdiDriver::ListDescription(std::uint32_t index, char* buffer) {
    if (index >= listed_.size()) return ft::DeviceNotFound;
    const Listed& entry = listed_[index];
    if (entry.descriptionStatus != ft::Ok) return entry.descriptionStatus;
    CopyListText(entry.description, buffer);
    return ft::Ok;
}

FtStatus LibFtdiDriver::ListSerialNumber(std::uint32_t index, char* buffer) {
    if (index >= listed_.size()) return ft::DeviceNotFound;
    const Listed& entry = listed_[index];
    if (entry.serialStatus != ft::Ok) return entry.serialStatus;
    CopyListText(entry.serial, buffer);
    return ft::Ok;
}

FtStatus LibFtdiDriver::Open(std::uint32_t index, FtHandle& handle) {
    if (index >= listed_.size()) return ft::DeviceNotFound;
    const Listed& entry = listed_[index];
    if (OpenHere(entry.location)) return ft::DeviceNotOpened;  // one opener at a time
    // Opening detaches the kernel's serial driver, which would hang up a program that has the
    // tty open: a port in use elsewhere is left to its user.
    const LibFtdi::Holder holder = ftdi_.HolderOf(entry.device, entry.channel);
    if (holder == LibFtdi::Holder::KernelTtyInUse || holder == LibFtdi::Holder::UsbProgram) {
        return ft::DeviceNotOpened;
    }
    const LibFtdi::Context context = ftdi_.New();
    if (context == 0) return ft::InsufficientResources;
    FtStatus status = ft::Ok;
    if (const int code = ftdi_.SetInterface(context, LibFtdi::kInterfaceA + entry.channel);
        code != 0) {
        status = code == -1 ? ft::InvalidParameter : ft::IoError;
    } else if (const int opened = ftdi_.OpenDev(context, entry.device); opened != 0) {
        status = OpenStatus(opened);
    } else if (ftdi_.SetLatencyTimer(context, kLatencyMs) != 0) {
        // At the chip's default of 16 ms every short answer would wait that long.
        ftdi_.Close(context);
        status = ft::IoError;
    }
    if (status != ft::Ok) {
        ftdi_.Free(context);
        return status;
    }
    handle = nextHandle_++;
    ports_[handle] = Port{context, entry.location, {}, 0, false};
    return ft::Ok;
}

FtStatus LibFtdiDriver::Close(FtHandle handle) {
    const auto found = ports_.find(handle);
    if (found == ports_.end()) return ft::InvalidHandle;
    const LibFtdi::Context context = found->second.context;
    ports_.erase(found);
    const int code = ftdi_.Close(context);  // gives the device back to the kernel's driver
    ftdi_.Free(context);
    if (code == 0) return ft::Ok;
    return code == -3 ? ft::InvalidHandle : ft::IoError;
}

FtStatus LibFtdiDriver::SetBaudRate(FtHandle handle, std::uint32_t baud) {
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    if (baud == 0 || baud > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return ft::InvalidBaudRate;
    }
    switch (ftdi_.SetBaudrate(port->context, static_cast<int>(baud))) {
        case 0:
            return ft::Ok;
        case -1:
            return ft::InvalidBaudRate;
        case -3:
            return ft::DeviceNotOpened;
        default:
            return ft::IoError;
    }
}

FtStatus LibFtdiDriver::SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                               std::uint8_t stopBits, std::uint8_t parity) {
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    if ((wordLength != ft::Bits7 && wordLength != ft::Bits8) ||
        (stopBits != ft::StopBits1 && stopBits != ft::StopBits2) || parity > ft::ParitySpace) {
        return ft::InvalidParameter;
    }
    // The vendor's values and libftdi1's are the same numbers: 7/8 bits, stop bits 0 (one) and
    // 2 (two), parity none, odd, even, mark, space as 0 to 4.
    const int bits = wordLength == ft::Bits7 ? LibFtdi::kBits7 : LibFtdi::kBits8;
    const int stop = stopBits == ft::StopBits1 ? LibFtdi::kStopBit1 : LibFtdi::kStopBit2;
    return ftdi_.SetLineProperty(port->context, bits, stop, parity) == 0 ? ft::Ok : ft::IoError;
}

FtStatus LibFtdiDriver::SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t xon,
                                       std::uint8_t xoff) {
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    int code = 0;
    switch (flowControl) {
        case ft::FlowNone:
            code = ftdi_.SetFlowCtrl(port->context, LibFtdi::kDisableFlowCtrl);
            break;
        case ft::FlowRtsCts:
            code = ftdi_.SetFlowCtrl(port->context, LibFtdi::kRtsCtsHs);
            break;
        case ft::FlowDtrDsr:
            code = ftdi_.SetFlowCtrl(port->context, LibFtdi::kDtrDsrHs);
            break;
        case ft::FlowXonXoff:
            code = ftdi_.SetFlowCtrlXonXoff(port->context, xon, xoff);
            break;
        default:
            return ft::InvalidParameter;
    }
    return code == 0 ? ft::Ok : RequestStatus(code);
}

FtStatus LibFtdiDriver::Line(FtHandle handle, int (LibFtdi::*call)(LibFtdi::Context, int),
                             int state) {
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    const int code = (ftdi_.*call)(port->context, state);
    return code == 0 ? ft::Ok : RequestStatus(code);
}

FtStatus LibFtdiDriver::SetRts(FtHandle handle) {
    return Line(handle, &LibFtdi::SetRts, 1);
}
FtStatus LibFtdiDriver::ClrRts(FtHandle handle) {
    return Line(handle, &LibFtdi::SetRts, 0);
}
FtStatus LibFtdiDriver::SetDtr(FtHandle handle) {
    return Line(handle, &LibFtdi::SetDtr, 1);
}
FtStatus LibFtdiDriver::ClrDtr(FtHandle handle) {
    return Line(handle, &LibFtdi::SetDtr, 0);
}

FtStatus LibFtdiDriver::Fetch(Port& port) {
    unsigned char buffer[kFetchSize];
    const int got = ftdi_.ReadData(port.context, buffer, kFetchSize);
    port.fetched = true;
    port.lastFetchNs = clock_.NowNs();
    if (got < 0) return TransferStatus(got);
    port.received.insert(port.received.end(), buffer, buffer + std::min(got, kFetchSize));
    return ft::Ok;
}

FtStatus LibFtdiDriver::GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                  std::uint32_t& eventStatus) {
    rxQueue = 0;
    txQueue = 0;  // a write returns once the chip has the bytes
    eventStatus = 0;
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    if (port->received.empty() &&
        (!port->fetched || clock_.NowNs() - port->lastFetchNs >= kLatencyNs)) {
        if (const FtStatus status = Fetch(*port); status != ft::Ok) return status;
    }
    rxQueue = static_cast<std::uint32_t>(
        std::min<std::size_t>(port->received.size(), std::numeric_limits<std::uint32_t>::max()));
    return ft::Ok;
}

FtStatus LibFtdiDriver::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                             std::uint32_t& returned) {
    returned = 0;
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    const auto count =
        static_cast<std::uint32_t>(std::min<std::size_t>(toRead, port->received.size()));
    std::copy_n(port->received.begin(), count, buffer);
    port->received.erase(port->received.begin(), port->received.begin() + count);
    returned = count;
    return ft::Ok;
}

FtStatus LibFtdiDriver::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                              std::uint32_t& written) {
    written = 0;
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    while (written < count) {
        const int piece = static_cast<int>(std::min<std::uint32_t>(count - written, 1U << 20));
        const int taken = ftdi_.WriteData(port->context, data + written, piece);
        if (taken < 0) return TransferStatus(taken);
        if (taken == 0) return ft::IoError;  // the chip takes nothing: no use asking again
        written += static_cast<std::uint32_t>(std::min(taken, piece));
    }
    return ft::Ok;
}

FtStatus LibFtdiDriver::WaitForReceive(FtHandle handle, std::uint32_t limitMs) {
    Port* port = Opened(handle);
    if (port == nullptr) return ft::InvalidHandle;
    const std::int64_t start = clock_.NowNs();
    const std::int64_t limitNs = static_cast<std::int64_t>(limitMs) * 1'000'000;
    // Each fetch lasts up to a latency period, in which the chip hands over what it has. The
    // count of fetches is bounded too, in case a fetch ever came back at once.
    for (std::uint32_t fetches = 0; port->received.empty() && fetches <= limitMs + 1; ++fetches) {
        if (fetches > 0 && clock_.NowNs() - start >= limitNs) break;
        if (const FtStatus status = Fetch(*port); status != ft::Ok) return status;
    }
    return ft::Ok;
}

PortIdentity LibFtdiDriver::Identify(std::uint32_t index) {
    if (index >= listed_.size()) return {};
    return {listed_[index].location, false};
}

}  // namespace nuv
