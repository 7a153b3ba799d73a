#pragma once

#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <string>

namespace nuv::bench {

// CPU time of this process so far, user and system, in seconds.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A steady clock in seconds, for wall times.
inline double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Resident memory of this process in kB, -1 where the system does not tell.
inline long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Whether a module or tool counter of `bits` bits, which wraps to 0 after its highest value,
// shows `events` events: the count modulo 2^bits. (The measure counter of a soak past 65,535
// readings shows the readings beyond the last wrap.)
inline bool WrappedCountMatches(long long events, long long counted, int bits) {
    const long long range = 1LL << bits;
    return events >= 0 && counted >= 0 && counted < range && events % range == counted;
}

}  // namespace nuv::bench
