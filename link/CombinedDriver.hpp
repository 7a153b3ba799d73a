#pragma once

#include <map>
#include <utility>
#include <vector>

#include "link/FtdiApi.hpp"

namespace nuv {

// Several drivers as one: the device list is theirs one after another, in the order given, and
// every handle goes to the driver that opened it.
class CombinedDriver final : public FtdiApi {
  public:
    explicit CombinedDriver(std::vector<FtdiApi*> drivers) : drivers_(std::move(drivers)) {}

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
    std::string OpenFailure() const override { return openFailure_; }

  private:
    // The driver and its own index for an index of the combined list; none past its end.
    std::pair<FtdiApi*, std::uint32_t> Locate(std::uint32_t index) const;
    // The driver and its own handle; none for a handle that names no open device.
    std::pair<FtdiApi*, FtHandle> Route(FtHandle handle) const;

    std::vector<FtdiApi*> drivers_;
    std::vector<std::uint32_t> counts_;  // of the last list, per driver
    std::map<FtHandle, std::pair<FtdiApi*, FtHandle>> handles_;
    FtHandle nextHandle_ = 1;
    std::string openFailure_;
};

}  // namespace nuv
