#include "sim/BootLoaderSimulator.hpp"

#include <algorithm>
#include <iterator>

#include "firmware/CarriedFirmware.hpp"

namespace nuv::sim {

namespace bl = bootloader;

BootLoaderSimulator::BootLoaderSimulator()
    : identification(CarriedBootLoaderIdentification()),
      flash_(kFlashSize, 0xFF),
      taken_(kFlashSize / bl::kPageSize) {}

void BootLoaderSimulator::Schedule(std::int64_t atNs, std::uint8_t byte, bool withPrevious) {
    // Kept in time order; bytes of the same time keep the order they were given in.
    const auto later =
        std::upper_bound(pending_.begin(), pending_.end(), atNs,
                         [](std::int64_t t, const Pending& entry) { return t < entry.atNs; });
    if (withPrevious && later != pending_.begin() && std::prev(later)->atNs == atNs) {
        std::prev(later)->bytes.push_back(byte);
        std::prev(later)->batch = true;
        return;
    }
    pending_.insert(later, Pending{atNs, {byte}, false});
}

void BootLoaderSimulator::Reset(SimDevice& device, std::int64_t atNs) {
    ++sessions_;
    pending_.clear();
    frame_.clear();
    requests_ = 0;
    failed_ = false;
    std::fill(taken_.begin(), taken_.end(), std::nullopt);
    pagesWritten_.clear();
    verdict_.reset();

    const std::int64_t promptAt = atNs + startUpNs;
    const auto& noise = faults.noiseBeforePrompt;
    const std::int64_t noiseAt =
        promptAt - static_cast<std::int64_t>(noise.size()) * device.ByteTimeNs();
    for (std::uint8_t byte : noise) Schedule(std::max(atNs, noiseAt), byte);
    Schedule(promptAt, bl::kPrompt);
    state_ = State::Prompted;
    promptAtNs_ = promptAt;
    deadlineNs_ = promptAt + startWaitNs;
}

void BootLoaderSimulator::Receive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) {
    // A byte sent at another rate reaches a UART at 115200 as garbage: nothing to act on.
    if (device.Baud() != bl::kBaud) return;
    if (state_ == State::Prompted) {
        if (atNs < promptAtNs_ || byte != bl::kStart) return;  // still starting, or not '<'
        const std::int64_t at = atNs + turnaroundNs;
        const int count =
            faults.identificationBytes < 0
                ? static_cast<int>(identification.size())
                : std::min(faults.identificationBytes, static_cast<int>(identification.size()));
        for (int i = 0; i < count; ++i) {
            std::uint8_t sent = identification[static_cast<std::size_t>(i)];
            if (i == faults.wrongIdentificationByte) sent ^= 0x01U;
            Schedule(at, sent, quickRequests);
        }
        state_ = State::Transfer;
        requests_ = 0;
        // It prepares the first page before asking for it, unless it is a quick one.
        if (quickRequests) {
            Request(at, true);
        } else {
            Request(at + count * device.ByteTimeNs() + flashPageNs);
        }
        return;
    }
    if (state_ != State::Transfer) return;
    deadlineNs_ = atNs + idleLimitNs;
    frame_.push_back(byte);
    if (frame_.size() == 2 && frame_[0] == bl::kEndMarkerByte && frame_[1] == bl::kEndMarkerByte) {
        Finish(atNs);
    } else if (frame_.size() == 2 + bl::kPageSize + 1) {
        PageComplete(atNs);
    }
}

void BootLoaderSimulator::Request(std::int64_t atNs, bool withPrevious) {
    deadlineNs_ = atNs + idleLimitNs;
    const auto index = static_cast<int>(requests_++);
    if (index == faults.missingRequest) return;
    if (index == faults.replacedRequest) {
        Schedule(atNs, faults.replacement, withPrevious);
        if (quickRequests) {
            Request(atNs, true);
        } else {
            Request(atNs + flashPageNs);
        }
        return;
    }
    Schedule(atNs, bl::kRequest, withPrevious);
}

void BootLoaderSimulator::PageComplete(std::int64_t atNs) {
    const auto page = static_cast<std::size_t>(frame_[0] << 8U | frame_[1]);
    const auto sent =
        std::span<const std::uint8_t, bl::kPageSize>(frame_.data() + 2, bl::kPageSize);
    const PageBytes plain = UnscramblePage(sent, identification);
    const bool good = PageCheckByte(plain) == frame_.back() && page < taken_.size();
    frame_.clear();
    if (!good) {
        // A page it cannot take fails the verification at the end.
        failed_ = true;
        Request(atNs + turnaroundNs);
        return;
    }
    std::copy(plain.begin(), plain.end(),
              flash_.begin() + static_cast<std::ptrdiff_t>(page * bl::kPageSize));
    if (static_cast<int>(page) == faults.corruptPage) flash_[page * bl::kPageSize + 16] ^= 0x04U;
    taken_[page] = plain;
    pagesWritten_.push_back(page);
    Request(atNs + flashPageNs);
}

void BootLoaderSimulator::Finish(std::int64_t atNs) {
    frame_.clear();
    bool verified = !failed_;
    for (std::size_t page = 0; page < taken_.size() && verified; ++page) {
        if (!taken_[page]) continue;
        verified = std::equal(taken_[page]->begin(), taken_[page]->end(),
                              flash_.begin() + static_cast<std::ptrdiff_t>(page * bl::kPageSize));
    }
    const std::uint8_t verdict = verified ? bl::kVerified : bl::kVerifyFailed;
    verdict_ = verdict;
    if (!faults.verdictSilent) {
        Schedule(atNs + turnaroundNs, faults.verdict != 0 ? faults.verdict : verdict);
    }
    Leave();  // the firmware starts; the verdict still goes out
    if (verified && onVerified) onVerified(flash_);
}

void BootLoaderSimulator::Leave() {
    state_ = State::Idle;
    frame_.clear();
}

void BootLoaderSimulator::Advance(SimDevice& device, std::int64_t nowNs) {
    while (!pending_.empty() && pending_.front().atNs <= nowNs) {
        const Pending entry = std::move(pending_.front());
        pending_.pop_front();
        if (entry.batch) {
            device.SendBurst(entry.bytes, entry.atNs);
        } else {
            device.Send(entry.bytes, entry.atNs);
        }
    }
    // The prompt or the transfer waited in vain: the firmware starts.
    if (state_ != State::Idle && nowNs > deadlineNs_) Leave();
}

void BootLoaderSimulator::OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) {
    Advance(device, atNs);
    if (Active()) Receive(device, byte, atNs);
}

void BootLoaderSimulator::OnLines(SimDevice& device, std::int64_t atNs) {
    if (device.Dtr() && !dtr_) Reset(device, atNs);
    dtr_ = device.Dtr();
}

void BootLoaderSimulator::OnTime(SimDevice& device, std::int64_t nowNs) {
    Advance(device, nowNs);
}

std::optional<std::int64_t> BootLoaderSimulator::NextEventNs() const {
    if (!pending_.empty()) return pending_.front().atNs;
    if (state_ != State::Idle) return deadlineNs_ + 1;
    return std::nullopt;
}

}  // namespace nuv::sim
