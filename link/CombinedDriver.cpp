#include "link/CombinedDriver.hpp"

namespace nuv {

std::pair<FtdiApi*, std::uint32_t> CombinedDriver::Locate(std::uint32_t index) const {
    for (std::size_t d = 0; d < counts_.size(); ++d) {
        if (index < counts_[d]) return {drivers_[d], index};
        index -= counts_[d];
    }
    return {nullptr, 0};
}

std::pair<FtdiApi*, FtHandle> CombinedDriver::Route(FtHandle handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? std::pair<FtdiApi*, FtHandle>{nullptr, 0} : found->second;
}

FtStatus CombinedDriver::ListDeviceCount(std::uint32_t& count) {
    counts_.clear();
    count = 0;
    for (FtdiApi* driver : drivers_) {
        std::uint32_t own = 0;
        const FtStatus status = driver->ListDeviceCount(own);
        if (status != ft::Ok) {
            counts_.clear();
            count = 0;
            return status;
        }
        counts_.push_back(own);
        count += own;
    }
    return ft::Ok;
}

FtStatus CombinedDriver::ListDescription(std::uint32_t index, char* buffer) {
    const auto [driver, own] = Locate(index);
    return driver != nullptr ? driver->ListDescription(own, buffer) : ft::DeviceNotFound;
}

FtStatus CombinedDriver::ListSerialNumber(std::uint32_t index, char* buffer) {
    const auto [driver, own] = Locate(index);
    return driver != nullptr ? driver->ListSerialNumber(own, buffer) : ft::DeviceNotFound;
}

FtStatus CombinedDriver::Open(std::uint32_t index, FtHandle& handle) {
    openFailure_.clear();
    const auto [driver, own] = Locate(index);
    if (driver == nullptr) return ft::DeviceNotFound;
    FtHandle ownHandle = 0;
    const FtStatus status = driver->Open(own, ownHandle);
    if (status != ft::Ok) {
        openFailure_ = driver->OpenFailure();
        return status;
    }
    handle = nextHandle_++;
    handles_[handle] = {driver, ownHandle};
    return ft::Ok;
}

FtStatus CombinedDriver::Close(FtHandle handle) {
    const auto [driver, own] = Route(handle);
    if (driver == nullptr) return ft::InvalidHandle;
    handles_.erase(handle);
    return driver->Close(own);
}

// The calls on an open device; a handle that names none goes nowhere.
#define NUV_ROUTE(call)                              \
    const auto [driver, own] = Route(handle);        \
    if (driver == nullptr) return ft::InvalidHandle; \
    return driver->call

FtStatus CombinedDriver::SetBaudRate(FtHandle handle, std::uint32_t baud) {
    NUV_ROUTE(SetBaudRate(own, baud));
}
FtStatus CombinedDriver::SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                                std::uint8_t stopBits, std::uint8_t parity) {
    NUV_ROUTE(SetDataCharacteristics(own, wordLength, stopBits, parity));
}
FtStatus CombinedDriver::SetFlowControl(FtHandle handle, std::uint16_t flowControl,
                                        std::uint8_t xon, std::uint8_t xoff) {
    NUV_ROUTE(SetFlowControl(own, flowControl, xon, xoff));
}
FtStatus CombinedDriver::SetRts(FtHandle handle) {
    NUV_ROUTE(SetRts(own));
}
FtStatus CombinedDriver::ClrRts(FtHandle handle) {
    NUV_ROUTE(ClrRts(own));
}
FtStatus CombinedDriver::SetDtr(FtHandle handle) {
    NUV_ROUTE(SetDtr(own));
}
FtStatus CombinedDriver::ClrDtr(FtHandle handle) {
    NUV_ROUTE(ClrDtr(own));
}
FtStatus CombinedDriver::GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                   std::uint32_t& eventStatus) {
    rxQueue = 0;
    txQueue = 0;
    eventStatus = 0;
    NUV_ROUTE(GetStatus(own, rxQueue, txQueue, eventStatus));
}
FtStatus CombinedDriver::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                              std::uint32_t& returned) {
    returned = 0;
    NUV_ROUTE(Read(own, buffer, toRead, returned));
}
FtStatus CombinedDriver::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                               std::uint32_t& written) {
    written = 0;
    NUV_ROUTE(Write(own, data, count, written));
}
FtStatus CombinedDriver::WaitForReceive(FtHandle handle, std::uint32_t limitMs) {
    NUV_ROUTE(WaitForReceive(own, limitMs));
}

#undef NUV_ROUTE

PortIdentity CombinedDriver::Identify(std::uint32_t index) {
    const auto [driver, own] = Locate(index);
    return driver != nullptr ? driver->Identify(own) : PortIdentity{};
}

}  // namespace nuv
