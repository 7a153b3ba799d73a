#include "sim/Pty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace nuv::sim {

PtyPair::PtyPair() {
    for (const char* multiplexer : {"/dev/pts/ptmx", "/dev/ptmx"}) {
        master_ = ::open(multiplexer, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0) break;
    }
    if (master_ < 0) {
        error_ = std::string("cannot open a pty multiplexer: ") + std::strerror(errno);
        return;
    }
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        error_ = std::string("cannot prepare the pty: ") + std::strerror(errno);
        ::close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    if (master_ >= 0) ::close(master_);
}

std::uint32_t PtyPair::SlaveBaud() const {
    termios settings{};
    if (master_ < 0 || ::tcgetattr(master_, &settings) != 0) return 0;
    struct Rate {
        speed_t code;
        std::uint32_t baud;
    };
    static constexpr Rate kRates[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    const speed_t code = ::cfgetospeed(&settings);
    for (const Rate& rate : kRates) {
        if (rate.code == code) return rate.baud;
    }
    return 0;
}

void PtyPair::Write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t count, std::chrono::milliseconds limit) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

}  // namespace nuv::sim
