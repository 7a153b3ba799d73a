#include "link/PortKeeper.hpp"

namespace nuv {

PortKeeper::~PortKeeper() {
    ReleaseParked();
    for (auto& [handle, port] : open_) inner_.Close(port.inner);
}

void PortKeeper::ReleaseParked() {
    if (!parked_) return;
    inner_.Close(parked_->inner);
    parked_.reset();
}

FtHandle PortKeeper::Inner(FtHandle handle) const {
    const auto found = open_.find(handle);
    return found == open_.end() ? FtHandle{0} : found->second.inner;
}

FtStatus PortKeeper::Noted(FtHandle handle, FtStatus status) {
    if (status != ft::Ok) {
        const auto found = open_.find(handle);
        if (found != open_.end()) found->second.failed = true;
    }
    return status;
}

FtStatus PortKeeper::ListDeviceCount(std::uint32_t& count) {
    const FtStatus status = inner_.ListDeviceCount(count);
    if (status != ft::Ok || !parked_) return status;
    // A parked port whose device has gone (the cable was pulled) is closed now.
    for (std::uint32_t index = 0; index < count; ++index) {
        if (inner_.Identify(index).location == parked_->location) return status;
    }
    ReleaseParked();
    return status;
}

FtStatus PortKeeper::ListDescription(std::uint32_t index, char* buffer) {
    return inner_.ListDescription(index, buffer);
}

FtStatus PortKeeper::ListSerialNumber(std::uint32_t index, char* buffer) {
    return inner_.ListSerialNumber(index, buffer);
}

FtStatus PortKeeper::Open(std::uint32_t index, FtHandle& handle) {
    const PortIdentity identity = inner_.Identify(index);
    Port port;
    if (parked_ && !identity.location.empty() && parked_->location == identity.location) {
        port = *parked_;  // the same device again: the port never closed, the lines never moved
        parked_.reset();
    } else {
        ReleaseParked();
        const FtStatus status = inner_.Open(index, port.inner);
        if (status != ft::Ok) return status;
        port.location = identity.location;
        if (identity.openRaisesLines) {
            // A port without modem lines (a pseudo-terminal) refuses; nothing to set back then.
            if (rts_) {
                inner_.SetRts(port.inner);
            } else {
                inner_.ClrRts(port.inner);
            }
            if (dtr_) {
                inner_.SetDtr(port.inner);
            } else {
                inner_.ClrDtr(port.inner);
            }
        }
    }
    handle = nextHandle_++;
    open_[handle] = port;
    return ft::Ok;
}

FtStatus PortKeeper::Close(FtHandle handle) {
    const auto found = open_.find(handle);
    if (found == open_.end()) return ft::InvalidHandle;
    const Port port = found->second;
    open_.erase(found);
    if (port.location.empty() || port.failed) return inner_.Close(port.inner);
    ReleaseParked();  // one parked port at most
    parked_ = port;
    return ft::Ok;
}

FtStatus PortKeeper::SetBaudRate(FtHandle handle, std::uint32_t baud) {
    return Noted(handle, inner_.SetBaudRate(Inner(handle), baud));
}

FtStatus PortKeeper::SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                            std::uint8_t stopBits, std::uint8_t parity) {
    return Noted(handle,
                 inner_.SetDataCharacteristics(Inner(handle), wordLength, stopBits, parity));
}

FtStatus PortKeeper::SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t xon,
                                    std::uint8_t xoff) {
    return Noted(handle, inner_.SetFlowControl(Inner(handle), flowControl, xon, xoff));
}

FtStatus PortKeeper::Line(FtHandle handle, FtStatus (FtdiApi::*operation)(FtHandle), bool rts,
                          bool level) {
    const FtStatus status = (inner_.*operation)(Inner(handle));
    if (status == ft::Ok) (rts ? rts_ : dtr_) = level;
    return status;
}

FtStatus PortKeeper::SetRts(FtHandle handle) {
    return Line(handle, &FtdiApi::SetRts, true, true);
}
FtStatus PortKeeper::ClrRts(FtHandle handle) {
    return Line(handle, &FtdiApi::ClrRts, true, false);
}
FtStatus PortKeeper::SetDtr(FtHandle handle) {
    return Line(handle, &FtdiApi::SetDtr, false, true);
}
FtStatus PortKeeper::ClrDtr(FtHandle handle) {
    return Line(handle, &FtdiApi::ClrDtr, false, false);
}

FtStatus PortKeeper::GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                               std::uint32_t& eventStatus) {
    return Noted(handle, inner_.GetStatus(Inner(handle), rxQueue, txQueue, eventStatus));
}

FtStatus PortKeeper::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                          std::uint32_t& returned) {
    return Noted(handle, inner_.Read(Inner(handle), buffer, toRead, returned));
}

FtStatus PortKeeper::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                           std::uint32_t& written) {
    return Noted(handle, inner_.Write(Inner(handle), data, count, written));
}

FtStatus PortKeeper::WaitForReceive(FtHandle handle, std::uint32_t limitMs) {
    return inner_.WaitForReceive(Inner(handle), limitMs);
}

PortIdentity PortKeeper::Identify(std::uint32_t index) {
    return inner_.Identify(index);
}

}  // namespace nuv
