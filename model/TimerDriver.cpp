#include "model/TimerDriver.hpp"

namespace nuv {

TimerDriver::TimerDriver(const Clock& clock, std::vector<Timer*> timers,
                         std::function<void(Timer&)> fire)
    : clock_(clock), fire_(std::move(fire)) {
    entries_.reserve(timers.size());
    for (Timer* timer : timers) entries_.push_back(Entry{timer, 0});
    for (Entry& entry : entries_) {
        Reschedule(entry);
        entry.timer->onChanged = [this, &entry] { Reschedule(entry); };
    }
}

TimerDriver::~TimerDriver() {
    for (Entry& entry : entries_) entry.timer->onChanged = nullptr;
}

void TimerDriver::Reschedule(Entry& entry) {
    entry.dueNs = clock_.NowNs() + static_cast<std::int64_t>(entry.timer->Interval()) * 1'000'000;
}

int TimerDriver::Poll() {
    int fired = 0;
    for (Entry& entry : entries_) {
        if (!entry.timer->Running() || clock_.NowNs() < entry.dueNs) continue;
        Reschedule(entry);  // the next tick counts from the start of this one
        ++fired;
        fire_(*entry.timer);
    }
    return fired;
}

std::optional<std::int64_t> TimerDriver::NextDueNs() const {
    std::optional<std::int64_t> next;
    for (const Entry& entry : entries_) {
        if (entry.timer->Running() && (!next || entry.dueNs < *next)) next = entry.dueNs;
    }
    return next;
}

}  // namespace nuv
