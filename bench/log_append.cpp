// Cost of appending to the message log as it grows: a day-long run must not slow it down.
// Prints the time per append for successive blocks of appends; the figures should stay flat.
#include <chrono>
#include <cstdio>

#include "core/MessageLog.hpp"

int main() {
    using Clock = std::chrono::steady_clock;
    nuv::MessageLog log;
    constexpr int kBlocks = 10;
    constexpr int kPerBlock = 200'000;
    std::printf("%-12s %-14s %s\n", "appends", "log bytes", "ns per append");
    for (int block = 0; block < kBlocks; ++block) {
        const auto start = Clock::now();
        for (int i = 0; i < kPerBlock; ++i) {
            log.SetColour(i % 3 == 0 ? nuv::colour::ErrorRed : nuv::colour::LogDefault);
            log.AppendLine("12:00:00  Error 17 - no reply, counters 1/0/0");
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start);
        std::printf("%-12d %-14zu %.1f\n", (block + 1) * kPerBlock, log.Size(),
                    static_cast<double>(ns.count()) / kPerBlock);
    }
    return 0;
}
