#include "app/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace nuv {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// The permissions a new file would get: read and write for all, less the process's umask.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path,
                                               std::span<const std::uint8_t> bytes) {
    namespace fs = std::filesystem;
    if (path.empty()) return "no file name was given";
    const fs::path target(path);
    if (std::error_code ignored; fs::is_directory(target, ignored)) return "it is a folder";
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return Reason(errno);
    const std::string temporary(name.data());

    auto fail = [&](int error) -> std::optional<std::string> {
        ::close(fd);
        ::unlink(temporary.c_str());
        return Reason(error);
    };
    struct stat existing {};
    const mode_t mode =
        ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : NewFileMode();
    if (::fchmod(fd, mode) != 0) return fail(errno);
    if (const int error = WriteWhole(fd, bytes, EIO); error != 0) return fail(error);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Reason(error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Reason(error);
    }
    return std::nullopt;
}

int WriteWhole(int fd, std::span<const std::uint8_t> bytes, int nothingWritten) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : nothingWritten;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace nuv
