#pragma once

// The module's side of an exchange on a virtual clock: a request written to the simulated
// cable and the answer taken as it completes, with nothing of the tool in between. The
// benchmarks set the tool's times beside these.

#include <algorithm>
#include <cstdint>
#include <span>

#include "link/Clock.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::bench {

// Writes `request` and takes what comes until `answer` bytes are there or `limitNs` has
// passed, looking every 10 microseconds of the virtual clock. Returns the bytes received.
inline std::size_t ExchangeOnVirtualClock(sim::SimFtdi& driver, FtHandle handle,
                                          VirtualClock& clock,
                                          std::span<const std::uint8_t> request, std::size_t answer,
                                          std::int64_t limitNs) {
    const std::int64_t start = clock.NowNs();
    std::uint32_t written = 0;
    driver.Write(handle, request.data(), static_cast<std::uint32_t>(request.size()), written);
    std::size_t received = 0;
    while (received < answer && clock.NowNs() - start < limitNs) {
        clock.AdvanceNs(10'000);
        std::uint32_t queued = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        driver.GetStatus(handle, queued, tx, events);
        std::uint8_t buffer[512];
        std::uint32_t got = 0;
        if (queued > 0) driver.Read(handle, buffer, std::min<std::uint32_t>(queued, 512), got);
        received += got;
    }
    return received;
}

}  // namespace nuv::bench
