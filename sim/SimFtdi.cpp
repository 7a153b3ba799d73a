#include "sim/SimFtdi.hpp"

#include <algorithm>
#include <cstring>

namespace nuv::sim {

bool Fault::Trigger() {
    if (status == ft::Ok || times == 0) return false;
    if (skip > 0) {
        --skip;
        return false;
    }
    if (times > 0) --times;
    return true;
}

SimDevice::SimDevice(std::string description_, std::string serial_, const Clock& clock)
    : description(std::move(description_)), serial(std::move(serial_)), clock_(clock) {}

std::int64_t SimDevice::ByteTimeNs() const {
    const int stop = stopBits_ == ft::StopBits2 ? 2 : 1;
    const int parity = parity_ == ft::ParityNone ? 0 : 1;
    const std::int64_t bits = 1 + wordLength_ + parity + stop;
    return bits * 1'000'000'000 / std::max<std::uint32_t>(baud_, 1);
}

std::size_t SimDevice::Run::ArrivedBy(std::int64_t nowNs) const {
    if (nowNs < firstNs) return 0;
    if (byteNs <= 0) return count;
    const auto arrived = static_cast<std::size_t>((nowNs - firstNs) / byteNs) + 1;
    return std::min(arrived, count);
}

void SimDevice::Send(std::span<const std::uint8_t> bytes, std::int64_t readyAtNs) {
    if ((!open_ && !keepsInputWhileClosed) || bytes.empty()) return;
    const std::int64_t byteTime = ByteTimeNs();
    Run run;
    run.firstNs = std::max(readyAtNs, toHostFreeAtNs_) + byteTime;
    run.byteNs = byteTime;
    run.bytes.assign(bytes.begin(), bytes.end());
    run.count = bytes.size();
    toHostFreeAtNs_ = run.firstNs + static_cast<std::int64_t>(bytes.size() - 1) * byteTime;
    toHost_.push_back(std::move(run));
}

void SimDevice::SendBurst(std::span<const std::uint8_t> bytes, std::int64_t readyAtNs) {
    if (!open_ && !keepsInputWhileClosed) return;
    const std::int64_t at = std::max(readyAtNs, toHostFreeAtNs_) + ByteTimeNs();
    toHostFreeAtNs_ = at;
    if (bytes.empty()) return;
    Run run;
    run.firstNs = at;
    run.byteNs = 0;
    run.bytes.assign(bytes.begin(), bytes.end());
    run.count = bytes.size();
    toHost_.push_back(std::move(run));
}

void SimDevice::Pump() {
    const std::int64_t now = clock_.NowNs();
    while (!toPeer_.empty()) {
        Run& run = toPeer_.front();
        const std::size_t arrived = run.ArrivedBy(now);
        // Bytes written while no peer listened are heard by none (a peer attached since
        // included); a peer hears each of the others at its time.
        if (!peer_ || run.bytes.size() < run.count) run.next = std::max(run.next, arrived);
        for (; run.next < arrived; ++run.next) {
            peer_->OnReceive(*this, run.bytes[run.next], run.NextNs());
        }
        if (run.next < run.count) break;
        toPeer_.pop_front();
    }
    if (peer_) peer_->OnTime(*this, now);
    while (!toHost_.empty()) {
        Run& run = toHost_.front();
        const std::size_t arrived = run.ArrivedBy(now);
        if (arrived > run.next) {
            rxQueue_.append(run.bytes.data() + run.next, arrived - run.next);
            run.next = arrived;
        }
        if (run.next < run.count) break;
        toHost_.pop_front();
    }
}

void SimDevice::SetBothLines(bool level) {
    if (rts_ == level && dtr_ == level) return;
    rts_ = level;
    dtr_ = level;
    if (peer_) peer_->OnLines(*this, clock_.NowNs());
}

std::optional<std::int64_t> SimDevice::NextEventNs() const {
    std::optional<std::int64_t> next;
    auto earliest = [&next](std::int64_t at) {
        if (!next || at < *next) next = at;
    };
    // Bytes on their way to no peer change nothing when they arrive.
    if (peer_ && !toPeer_.empty()) earliest(toPeer_.front().NextNs());
    if (!toHost_.empty()) earliest(toHost_.front().NextNs());
    if (peer_) {
        if (const auto at = peer_->NextEventNs()) earliest(*at);
    }
    return next;
}

SimDevice& SimFtdi::AddDevice(std::string description, std::string serial) {
    devices_.push_back(
        std::make_unique<SimDevice>(std::move(description), std::move(serial), clock_));
    devices_.back()->id_ = nextId_++;
    return *devices_.back();
}

void SimFtdi::Unplug(std::size_t index) {
    SimDevice* device = devices_.at(index).get();
    std::erase_if(handles_, [device](const auto& entry) { return entry.second == device; });
    device->open_ = false;
    unplugged_.push_back(std::move(devices_[index]));
    devices_.erase(devices_.begin() + static_cast<std::ptrdiff_t>(index));
}

SimDevice* SimFtdi::Opened(FtHandle handle) {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? nullptr : found->second;
}

FtStatus SimFtdi::ListDeviceCount(std::uint32_t& count) {
    Called();
    if (countFault_.Trigger()) return countFault_.status;
    count = static_cast<std::uint32_t>(devices_.size());
    return ft::Ok;
}

FtStatus SimFtdi::ListDescription(std::uint32_t index, char* buffer) {
    Called();
    if (index >= devices_.size()) return ft::DeviceNotFound;
    SimDevice& device = *devices_[index];
    // The driver cannot describe a device that another program holds open.
    if (device.heldByOtherProgram) return ft::DeviceNotOpened;
    if (device.FaultOf(Op::Description).Trigger()) return device.FaultOf(Op::Description).status;
    CopyListText(device.description, buffer);
    return ft::Ok;
}

FtStatus SimFtdi::ListSerialNumber(std::uint32_t index, char* buffer) {
    Called();
    if (index >= devices_.size()) return ft::DeviceNotFound;
    SimDevice& device = *devices_[index];
    if (device.heldByOtherProgram) return ft::DeviceNotOpened;
    if (device.FaultOf(Op::Serial).Trigger()) return device.FaultOf(Op::Serial).status;
    CopyListText(device.serial, buffer);
    return ft::Ok;
}

FtStatus SimFtdi::Open(std::uint32_t index, FtHandle& handle) {
    Called();
    openFailure_.clear();
    if (index >= devices_.size()) {
        openFailure_ = "cannot open device " + std::to_string(index) + ": no such device";
        return ft::DeviceNotFound;
    }
    SimDevice& device = *devices_[index];
    const std::string name = "cannot open " + device.description + " (" + device.serial + "): ";
    if (device.heldByOtherProgram || device.open_) {
        openFailure_ = name + "it is held by another program";
        return ft::DeviceNotOpened;
    }
    if (device.FaultOf(Op::Open).Trigger()) {
        openFailure_ = name + "the driver failed with status " +
                       std::to_string(device.FaultOf(Op::Open).status);
        return device.FaultOf(Op::Open).status;
    }
    device.Pump();  // the peer sees what was still on the wire before the reopen
    device.open_ = true;
    ++device.openCount_;
    if (!device.keepsInputWhileClosed) {
        // A fresh handle starts with empty queues: what the device sent while closed is gone.
        device.toHost_.clear();
        device.rxQueue_.clear();
        device.toHostFreeAtNs_ = clock_.NowNs();
    }
    if (lines_ == LineModel::Tty) {
        device.SetBothLines(true);  // the kernel raises both at every open
        if (clearsHupcl_) device.hupcl = false;
    }
    handle = nextHandle_++;
    handles_[handle] = &device;
    return ft::Ok;
}

FtStatus SimFtdi::Close(FtHandle handle) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    device->Pump();
    device->open_ = false;
    ++device->closeCount_;
    if (lines_ == LineModel::Tty && device->hupcl) device->SetBothLines(false);
    handles_.erase(handle);
    return ft::Ok;
}

FtStatus SimFtdi::SetBaudRate(FtHandle handle, std::uint32_t baud) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    if (device->FaultOf(Op::Baud).Trigger()) return device->FaultOf(Op::Baud).status;
    if (baud == 0 || baud > 3'000'000) return ft::InvalidBaudRate;
    device->Pump();
    device->baud_ = baud;
    return ft::Ok;
}

FtStatus SimFtdi::SetDataCharacteristics(FtHandle handle, std::uint8_t wordLength,
                                         std::uint8_t stopBits, std::uint8_t parity) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    Fault& fault = device->FaultOf(Op::Characteristics);
    if (fault.Trigger()) return fault.status;
    if ((wordLength != ft::Bits7 && wordLength != ft::Bits8) ||
        (stopBits != ft::StopBits1 && stopBits != ft::StopBits2) || parity > ft::ParitySpace) {
        return ft::InvalidParameter;
    }
    device->wordLength_ = wordLength;
    device->stopBits_ = stopBits;
    device->parity_ = parity;
    return ft::Ok;
}

FtStatus SimFtdi::SetFlowControl(FtHandle handle, std::uint16_t flowControl, std::uint8_t,
                                 std::uint8_t) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    if (device->FaultOf(Op::FlowControl).Trigger()) return device->FaultOf(Op::FlowControl).status;
    device->flowControl_ = flowControl;
    return ft::Ok;
}

FtStatus SimFtdi::SetLine(FtHandle handle, bool rts, bool level) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    if (device->FaultOf(Op::Lines).Trigger()) return device->FaultOf(Op::Lines).status;
    device->Pump();
    (rts ? device->rts_ : device->dtr_) = level;
    if (device->peer_) device->peer_->OnLines(*device, clock_.NowNs());
    return ft::Ok;
}

FtStatus SimFtdi::SetRts(FtHandle handle) {
    return SetLine(handle, true, true);
}
FtStatus SimFtdi::ClrRts(FtHandle handle) {
    return SetLine(handle, true, false);
}
FtStatus SimFtdi::SetDtr(FtHandle handle) {
    return SetLine(handle, false, true);
}
FtStatus SimFtdi::ClrDtr(FtHandle handle) {
    return SetLine(handle, false, false);
}

FtStatus SimFtdi::GetStatus(FtHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                            std::uint32_t& eventStatus) {
    Called();
    rxQueue = 0;
    txQueue = 0;
    eventStatus = 0;
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    if (device->FaultOf(Op::Status).Trigger()) return device->FaultOf(Op::Status).status;
    device->Pump();
    rxQueue = static_cast<std::uint32_t>(device->rxQueue_.size());
    std::size_t onWire = 0;
    for (const SimDevice::Run& run : device->toPeer_) onWire += run.count - run.next;
    txQueue = static_cast<std::uint32_t>(onWire);
    return ft::Ok;
}

FtStatus SimFtdi::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                       std::uint32_t& returned) {
    Called();
    returned = 0;
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    ++device->readCalls_;
    if (device->FaultOf(Op::Read).Trigger()) return device->FaultOf(Op::Read).status;
    device->Pump();
    const auto count = std::min<std::size_t>(toRead, device->rxQueue_.size());
    std::copy_n(device->rxQueue_.begin(), count, buffer);
    device->rxQueue_.pop_front(count);
    returned = static_cast<std::uint32_t>(count);
    return ft::Ok;
}

FtStatus SimFtdi::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                        std::uint32_t& written) {
    Called();
    written = 0;
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    if (device->FaultOf(Op::Write).Trigger()) return device->FaultOf(Op::Write).status;
    device->Pump();
    const std::int64_t now = clock_.NowNs();
    const std::int64_t byteTime = device->ByteTimeNs();
    if (count > 0) {
        SimDevice::Run run;
        run.firstNs = std::max(now, device->toPeerFreeAtNs_) + byteTime;
        run.byteNs = byteTime;
        // A peer hears every byte; without one, only how many are on the wire matters.
        if (device->peer_) run.bytes.assign(data, data + count);
        run.count = count;
        device->toPeerFreeAtNs_ = run.firstNs + static_cast<std::int64_t>(count - 1) * byteTime;
        if (device->keepRecords) {
            device->written_.insert(device->written_.end(), data, data + count);
        }
        device->toPeer_.push_back(std::move(run));
    }
    written = count;
    return ft::Ok;
}

FtStatus SimFtdi::WaitForReceive(FtHandle handle, std::uint32_t limitMs) {
    Called();
    SimDevice* device = Opened(handle);
    if (device == nullptr) return ft::InvalidHandle;
    device->Pump();
    const std::int64_t deadline = clock_.NowNs() + static_cast<std::int64_t>(limitMs) * 1'000'000;
    // From one event on the wire to the next: a byte reaching the peer may make it answer, and
    // an answer's byte may complete in the receive queue.
    while (device->rxQueue_.empty() && device->IsOpen()) {
        const std::int64_t now = clock_.NowNs();
        if (now >= deadline) break;
        std::int64_t next = device->NextEventNs().value_or(deadline);
        next = std::clamp(next, now + 1, deadline);
        clock_.SleepNs(next - now);
        device->Pump();
    }
    return ft::Ok;
}

PortIdentity SimFtdi::Identify(std::uint32_t index) {
    if (index >= devices_.size()) return {};
    return {"sim:" + std::to_string(devices_[index]->id_), lines_ == LineModel::Tty};
}

}  // namespace nuv::sim
