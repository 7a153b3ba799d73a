#pragma once

#include <cstdint>

namespace nuv {

// Hour, minute and second of the local time.
struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The millisecond tick counter and the sleep that every wait uses. Injected, so that tests run
// on a virtual clock where a 2500 ms time-out costs no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    // Monotonic time in nanoseconds since an arbitrary start.
    virtual std::int64_t NowNs() const = 0;
    virtual void SleepMs(std::uint32_t milliseconds) = 0;
    // A sleep to the nanosecond, for waits that end when something arrives. A clock without a
    // finer sleep rounds it up to whole milliseconds.
    virtual void SleepNs(std::int64_t nanoseconds) {
        if (nanoseconds > 0)
            SleepMs(static_cast<std::uint32_t>((nanoseconds + 999'999) / 1'000'000));
    }
    virtual TimeOfDay LocalTime() const = 0;
    // Seconds since 1970-01-01 00:00 UTC, for time stamps that carry the date.
    virtual std::int64_t WallSeconds() const = 0;
    // The local time's offset from UTC at a wall time, in seconds (east positive), for time
    // stamps that say which local time they are in.
    virtual int UtcOffsetSeconds(std::int64_t wallSeconds) const = 0;

    std::int64_t NowMs() const { return NowNs() / 1'000'000; }
};

// Lets the window handle its pending events during a wait, so it stays responsive.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void ProcessEvents() = 0;
    // Whether a window is served by it. Waits serve a window every few milliseconds while they
    // wait for an answer to begin and at least every 100 ms while it comes in; a program without
    // one lets them sleep until what they wait for comes, up to 250 ms a pause (so a stop asked
    // for by a signal is seen within that).
    virtual bool ServesWindow() const { return true; }
};

// A pump for programs without a window.
class NullEventPump final : public EventPump {
  public:
    void ProcessEvents() override {}
    bool ServesWindow() const override { return false; }
};

// The steady clock of the machine and a real sleep.
class SystemClock final : public Clock {
  public:
    std::int64_t NowNs() const override;
    void SleepMs(std::uint32_t milliseconds) override;
    void SleepNs(std::int64_t nanoseconds) override;
    TimeOfDay LocalTime() const override;
    std::int64_t WallSeconds() const override;
    int UtcOffsetSeconds(std::int64_t wallSeconds) const override;
};

// A clock that only moves when told to: SleepMs advances it at once, without sleeping.
class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(std::int64_t startNs = 0) : now_(startNs) {}
    std::int64_t NowNs() const override { return now_; }
    void SleepMs(std::uint32_t milliseconds) override {
        now_ += static_cast<std::int64_t>(milliseconds) * 1'000'000;
        ++sleeps_;
    }
    void SleepNs(std::int64_t nanoseconds) override {
        if (nanoseconds > 0) now_ += nanoseconds;
        ++sleeps_;
    }
    // The local time runs with the clock from the time of day set here (midnight at 0 ns).
    TimeOfDay LocalTime() const override {
        const std::int64_t seconds = (now_ - midnightNs_) / 1'000'000'000 % 86400;
        const auto s = static_cast<int>(seconds < 0 ? seconds + 86400 : seconds);
        return {s / 3600, s / 60 % 60, s % 60};
    }
    // Wall time runs with the clock too, from 2026-01-01 00:00 UTC at 0 ns.
    std::int64_t WallSeconds() const override { return 1'767'225'600 + now_ / 1'000'000'000; }
    // The local zone's offset from UTC: none unless set.
    int UtcOffsetSeconds(std::int64_t) const override { return utcOffset_; }
    void SetUtcOffset(int seconds) { utcOffset_ = seconds; }
    void SetTimeOfDay(int hour, int minute, int second) {
        midnightNs_ = now_ - (hour * 3600LL + minute * 60LL + second) * 1'000'000'000;
    }
    void AdvanceNs(std::int64_t ns) { now_ += ns; }
    void AdvanceMs(std::int64_t ms) { now_ += ms * 1'000'000; }
    std::uint64_t SleepCount() const { return sleeps_; }

  private:
    std::int64_t now_;
    std::int64_t midnightNs_ = 0;
    std::uint64_t sleeps_ = 0;
    int utcOffset_ = 0;
};

}  // namespace nuv
