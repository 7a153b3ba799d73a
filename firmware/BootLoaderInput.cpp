#include "firmware/BootLoaderInput.hpp"

#include <algorithm>

#include "link/UsbLink.hpp"

namespace nuv {

void BootLoaderInput::Keep(std::span<const std::uint8_t> bytes) {
    kept_.insert(kept_.end(), bytes.begin(), bytes.end());
}

void BootLoaderInput::TakeKept(std::size_t count) {
    while (got_.size() < count && !kept_.empty()) {
        got_.push_back(kept_.front());
        kept_.pop_front();
    }
}

void BootLoaderInput::TakeDrained(std::size_t count) {
    const auto batch = link_.RxBuffer().first(link_.LastReadCount());
    const std::size_t taken = std::min(count - got_.size(), batch.size());
    got_.insert(got_.end(), batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(taken));
    Keep(batch.subspan(taken));
}

LinkResult BootLoaderInput::Read(std::size_t count, std::uint16_t limitMs) {
    got_.clear();
    TakeKept(count);
    if (got_.size() >= count) return result::Ok;
    Clock& clock = link_.LinkClock();
    EventPump& pump = link_.Pump();

    // The first byte, unless one was kept: bounded by the time limit. A failed status query
    // counts as nothing queued, so the wait goes on until the limit.
    if (got_.empty()) {
        const std::int64_t start = clock.NowMs();
        while (true) {
            pump.ProcessEvents();
            const std::int64_t elapsed = clock.NowMs() - start;
            if (elapsed >= limitMs) return result::FirstByteTimeout;
            const LinkResult code = link_.DrainReceive();
            if (code == result::ReadFailed) return code;
            if (code == result::Ok && link_.LastReadCount() > 0) {
                TakeDrained(count);
                break;
            }
            if (code == result::StatusFailed) {
                clock.SleepMs(1);  // the driver's word on its queue is worth nothing now
            } else {
                link_.WaitForData(link_.SilencePauseMs(1, (limitMs - elapsed) * 1'000'000));
            }
        }
        if (got_.size() >= count) return result::Ok;
    }

    // The rest: bounded by the polls that brought nothing, about 1 ms each. A read that failed
    // counts as such a poll, so a driver that keeps failing cannot hold the read longer.
    LinkResult outcome = result::Ok;
    std::uint32_t idlePolls = 0;
    while (got_.size() < count) {
        pump.ProcessEvents();
        const LinkResult code = link_.DrainReceive();
        if (code == result::StatusFailed) return code;
        if (code == result::ReadFailed) outcome = code;
        if (code == result::Ok && link_.LastReadCount() > 0) {
            TakeDrained(count);
        } else {
            link_.WaitForData(1);
            ++idlePolls;
        }
        if (idlePolls > limitMs) return result::ReplyTimeout;
    }
    return outcome;
}

}  // namespace nuv
