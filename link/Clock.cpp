#include "link/Clock.hpp"

#include <chrono>
#include <ctime>
#include <thread>

namespace nuv {

std::int64_t SystemClock::NowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SystemClock::SleepMs(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SystemClock::SleepNs(std::int64_t nanoseconds) {
    if (nanoseconds > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
}

}  // namespace nuv

namespace nuv {

std::int64_t SystemClock::WallSeconds() const {
    return static_cast<std::int64_t>(std::time(nullptr));
}

TimeOfDay SystemClock::LocalTime() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

int SystemClock::UtcOffsetSeconds(std::int64_t wallSeconds) const {
    const auto t = static_cast<std::time_t>(wallSeconds);
    std::tm local{};
    localtime_r(&t, &local);
    return static_cast<int>(local.tm_gmtoff);
}

}  // namespace nuv
