#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "link/Clock.hpp"
#include "model/Control.hpp"

namespace nuv {

// Makes window timers tick on a clock: a timer falls due one interval after it was switched on
// or re-intervalled, and again one interval after each tick began. A tick that falls due while
// another runs is handed to `fire` all the same; the tool decides what to do with it.
class TimerDriver {
  public:
    TimerDriver(const Clock& clock, std::vector<Timer*> timers, std::function<void(Timer&)> fire);
    ~TimerDriver();
    TimerDriver(const TimerDriver&) = delete;
    TimerDriver& operator=(const TimerDriver&) = delete;

    // Fires every timer that is due now; returns how many fired.
    int Poll();
    // When the next timer falls due, if any runs.
    std::optional<std::int64_t> NextDueNs() const;

  private:
    struct Entry {
        Timer* timer;
        std::int64_t dueNs;
    };
    void Reschedule(Entry& entry);

    const Clock& clock_;
    std::vector<Entry> entries_;
    std::function<void(Timer&)> fire_;
};

}  // namespace nuv
