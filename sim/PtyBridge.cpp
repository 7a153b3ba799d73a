#include "sim/PtyBridge.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace nuv::sim {

PtyBridge::PtyBridge(int masterFd, FtdiApi& driver, FtHandle handle)
    : master_(masterFd), driver_(driver), handle_(handle) {}

void PtyBridge::SetBaud(std::uint32_t baud) {
    // Ten bits a byte.
    const std::uint64_t bytes = static_cast<std::uint64_t>(baud) / 10 * kWireBufferMs / 1000;
    wireBuffer_ = static_cast<std::uint32_t>(std::max<std::uint64_t>(bytes, kMinWireBuffer));
}

void PtyBridge::Step(std::chrono::microseconds wait) {
    std::array<std::uint8_t, 4096> buffer{};
    pollfd fd{master_, POLLIN, 0};
    const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000),
                           static_cast<long>(wait.count() % 1'000'000 * 1000)};
    const int ready = ::ppoll(&fd, 1, &timeout, nullptr);
    attached_ = !(ready > 0 && (fd.revents & POLLHUP) != 0);
    if (ready > 0 && (fd.revents & POLLIN) != 0) {
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n > 0) {
            std::uint32_t onWire = 0;
            std::uint32_t rx = 0;
            std::uint32_t events = 0;
            driver_.GetStatus(handle_, rx, onWire, events);
            const std::uint32_t room = wireBuffer_ - std::min(onWire, wireBuffer_);
            const auto taken = std::min(static_cast<std::uint32_t>(n), room);
            std::uint32_t written = 0;
            if (taken > 0) driver_.Write(handle_, buffer.data(), taken, written);
            dropped_ += static_cast<std::uint64_t>(n) - taken;
        }
    }
    std::uint32_t queued = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    if (driver_.GetStatus(handle_, queued, tx, events) == ft::Ok && queued > 0) {
        std::uint32_t got = 0;
        driver_.Read(handle_, buffer.data(), std::min<std::uint32_t>(queued, buffer.size()), got);
        std::size_t done = 0;
        // With nobody on the slave end the bytes are lost, as on a cable that nobody reads.
        while (done < got) {
            const ssize_t n = ::write(master_, buffer.data() + done, got - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
}

}  // namespace nuv::sim
