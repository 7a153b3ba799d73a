#pragma once

#include <cstdint>

namespace nuv {

// The millisecond tick counter and the sleep that every wait uses. Injected, so that tests run
// on a virtual clock where a 2500 ms time-out costs no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    // Monotonic time in nanoseconds since an arbitrary start.
    virtual std::int64_t NowNs() const = 0;
    virtual void SleepMs(std::uint32_t milliseconds) = 0;

    std::int64_t NowMs() const { return NowNs() / 1'000'000; }
};

// Lets the window handle its pending events during a wait, so it stays responsive.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void ProcessEvents() = 0;
};

// A pump for programs without a window.
class NullEventPump final : public EventPump {
  public:
    void ProcessEvents() override {}
};

// The steady clock of the machine and a real sleep.
class SystemClock final : public Clock {
  public:
    std::int64_t NowNs() const override;
    void SleepMs(std::uint32_t milliseconds) override;
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
    void AdvanceNs(std::int64_t ns) { now_ += ns; }
    void AdvanceMs(std::int64_t ms) { now_ += ms * 1'000'000; }
    std::uint64_t SleepCount() const { return sleeps_; }

  private:
    std::int64_t now_;
    std::uint64_t sleeps_ = 0;
};

}  // namespace nuv
