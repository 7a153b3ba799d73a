#include "fuzz/FuzzDriver.hpp"

#include <algorithm>

#include "protocol/ProgramBlock.hpp"
#include "sim/SimulatedModule.hpp"

namespace nuv::fuzz {
namespace {

// A line quiet for longer than this between two reads of the tool, beyond the wire time of what
// the later read brought, means the module paused.
constexpr std::int64_t kPauseNs = 6'000'000;

}  // namespace

FuzzDriver::FuzzDriver(Clock& clock) : clock_(clock) {
    Reset();
}

void FuzzDriver::Reset() {
    driver_ = std::make_unique<sim::SimFtdi>(clock_);
    device_ = &driver_->AddDevice(sim::kSimulatedDescription, sim::kSimulatedSerial);
    device_->keepRecords = keepRecords_;
    mode_ = Mode::Replay;
    pending_.clear();
    recorded_.clear();
    lastReadNs_ = 0;
    events_ = 0;
    requestEndNs_ = 0;
    answerEndNs_ = 0;
}

void FuzzDriver::Replay(std::vector<Chunk> chunks) {
    mode_ = Mode::Replay;
    pending_.assign(std::make_move_iterator(chunks.begin()), std::make_move_iterator(chunks.end()));
}

void FuzzDriver::Record() {
    mode_ = Mode::Record;
    pending_.clear();
    recorded_.clear();
}

std::vector<Chunk> FuzzDriver::Recorded() const {
    std::size_t used = recorded_.size();
    while (used > 0 && recorded_[used - 1].bytes.empty()) --used;
    std::vector<Chunk> chunks;
    for (std::size_t i = 0; i < used; ++i) {
        const Recording& recording = recorded_[i];
        chunks.push_back(RecordedChunk(recording.trigger, recording.delayStep, recording.bytes));
    }
    return chunks;
}

FtStatus FuzzDriver::Open(std::uint32_t index, FtHandle& handle) {
    const FtStatus status = driver_->Open(index, handle);
    // A fresh handle starts with the wire empty.
    if (status == ft::Ok) answerEndNs_ = clock_.NowNs();
    return status;
}

FtStatus FuzzDriver::Read(FtHandle handle, std::uint8_t* buffer, std::uint32_t toRead,
                          std::uint32_t& returned) {
    const FtStatus status = driver_->Read(handle, buffer, toRead, returned);
    // Bytes read before the first event answer nothing the tool did: no chunk can hold them.
    if (mode_ != Mode::Record || status != ft::Ok || returned == 0 || recorded_.empty()) {
        return status;
    }
    // The line paused when more time passed since the last read than the bytes read now took
    // on the wire (the tool sleeps until bytes can have come, so its reads are far apart).
    const std::int64_t now = clock_.NowNs();
    const std::int64_t quietNs =
        now - lastReadNs_ - static_cast<std::int64_t>(returned) * device_->ByteTimeNs();
    if (!recorded_.back().bytes.empty() && quietNs > kPauseNs) {
        recorded_.push_back(Recording{Trigger::Follow, Chunk::DelayStepOf(quietNs), {}});
    }
    recorded_.back().bytes.insert(recorded_.back().bytes.end(), buffer, buffer + returned);
    lastReadNs_ = now;
    return status;
}

FtStatus FuzzDriver::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                           std::uint32_t& written) {
    const FtStatus status = driver_->Write(handle, data, count, written);
    if (status != ft::Ok) return status;
    const std::int64_t start = std::max(clock_.NowNs(), requestEndNs_);
    requestEndNs_ = start + static_cast<std::int64_t>(count) * device_->ByteTimeNs();
    if (count != kProgramBlockSize) Event(Trigger::Write);
    return status;
}

void FuzzDriver::Event(Trigger trigger) {
    ++events_;
    if (mode_ == Mode::Record) {
        recorded_.push_back(Recording{trigger, 0, {}});
        return;
    }
    if (pending_.empty()) return;
    const Trigger waits = pending_.front().trigger;
    if (waits != trigger && waits != Trigger::Any && waits != Trigger::Follow) return;
    // The answer starts once the request has crossed the wire to the module.
    Release(std::max(clock_.NowNs(), requestEndNs_));
    while (!pending_.empty() && pending_.front().trigger == Trigger::Follow) {
        Release(answerEndNs_);
    }
}

void FuzzDriver::Release(std::int64_t afterNs) {
    const Chunk chunk = std::move(pending_.front());
    pending_.pop_front();
    const std::vector<std::uint8_t> wire = chunk.WireBytes();
    const std::int64_t readyAt = afterNs + chunk.DelayNs();
    device_->Send(wire, readyAt);
    const std::int64_t start = std::max(readyAt, answerEndNs_);
    answerEndNs_ = start + static_cast<std::int64_t>(wire.size()) * device_->ByteTimeNs();
}

}  // namespace nuv::fuzz
