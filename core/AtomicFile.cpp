#include "core/AtomicFile.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace nuv {
namespace {

namespace fs = std::filesystem;

// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;

std::string Reason(int error) {
    return std::strerror(error);
}

// The permissions a new file would get: read and write for all, less the process's umask.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Whether a link lives in the process file system: /proc/self/fd/N and the like name an open
// descriptor's file rather than a path, whatever text they read as ("pipe:[1234]").
bool IsDescriptorLink(const struct stat& link) {
    struct stat proc {};
    return ::lstat("/proc/self", &proc) == 0 && link.st_dev == proc.st_dev;
}

std::string FolderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Writes to an open stream; a regular file that the bytes are added to ends where it ended
// when they do not all fit. Closes the descriptor.
std::optional<std::string> WriteStream(int fd, bool append, std::span<const std::uint8_t> bytes) {
    const off_t start = append ? ::lseek(fd, 0, SEEK_END) : -1;
    int error = WriteWhole(fd, bytes, EIO);
    if (error != 0 && start >= 0) (void)::ftruncate(fd, start);
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    if (error != 0) return Reason(error);
    return std::nullopt;
}

std::optional<std::string> WriteReplacing(const OutputTarget& target,
                                          std::span<const std::uint8_t> bytes) {
    const fs::path file(target.file);
    std::string pattern =
        (fs::path(target.folder) / ("." + file.filename().string() + ".XXXXXX")).string();
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
    const bool replacing = target.kind == OutputTarget::Kind::ReplaceFile &&
                           ::stat(target.file.c_str(), &existing) == 0;
    // The file keeps its owner where the system lets this process give it (root, or a group the
    // user is in); the owner first, as a change of owner clears the set-id bits of the mode.
    if (replacing && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        (void)::fchown(fd, existing.st_uid, existing.st_gid);
    }
    const mode_t mode = replacing ? (existing.st_mode & 07777) : NewFileMode();
    if (::fchmod(fd, mode) != 0) return fail(errno);
    if (const int error = WriteWhole(fd, bytes, EIO); error != 0) return fail(error);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Reason(error);
    }
    if (::rename(temporary.c_str(), target.file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Reason(error);
    }
    // The rename itself reaches the disk with the folder. A folder that cannot be flushed (some
    // file systems refuse) still holds the file: the write has succeeded.
    if (const int folder = ::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ResolveOutputPath(const std::string& path, OutputTarget& target) {
    target = OutputTarget{};
    if (path.empty()) return "no file name was given";
    // Follow the links that the path ends in, to name the target that a dangling chain misses.
    std::string current = path;
    bool followed = false;
    bool descriptorLink = false;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
        if (IsDescriptorLink(link)) {
            descriptorLink = true;
            break;
        }
        std::vector<char> text(PATH_MAX + 1, '\0');
        const ssize_t length = ::readlink(current.c_str(), text.data(), PATH_MAX);
        if (length < 0) return Reason(errno);
        fs::path next(std::string(text.data(), static_cast<std::size_t>(length)));
        if (next.is_relative()) next = fs::path(current).parent_path() / next;
        current = next.string();
        followed = true;
    }

    struct stat found {};
    if (::stat(path.c_str(), &found) != 0) {
        const int error = errno;
        if (error == ENOENT && followed) {
            return "it is a link to " + current + ", which does not exist";
        }
        if (error == ELOOP) return "its links go round in a loop";
        if (error == ENOENT && path.back() == '/') return "it names a folder, not a file";
        if (error != ENOENT) return Reason(error);
        // Nothing there yet: a new file, in a folder that must be there.
        target.kind = OutputTarget::Kind::NewFile;
        target.file = path;
        target.folder = FolderOf(path);
        struct stat folder {};
        if (::stat(target.folder.c_str(), &folder) != 0) return Reason(errno);
        if (!S_ISDIR(folder.st_mode)) return Reason(ENOTDIR);
        return std::nullopt;
    }
    if (S_ISDIR(found.st_mode)) return "it is a folder";
    if (S_ISSOCK(found.st_mode)) return "it is a socket, not a file";
    if (S_ISBLK(found.st_mode)) return "it is a block device (a disk), not a file";
    if (S_ISFIFO(found.st_mode) || S_ISCHR(found.st_mode)) {
        target.kind = OutputTarget::Kind::Stream;
        target.file = path;
        return std::nullopt;
    }
    if (!S_ISREG(found.st_mode)) return "it is not a regular file";
    if (descriptorLink) {
        target.kind = OutputTarget::Kind::Stream;
        target.file = path;
        target.append = true;
        return std::nullopt;
    }
    std::vector<char> real(PATH_MAX + 1, '\0');
    if (::realpath(path.c_str(), real.data()) == nullptr) return Reason(errno);
    target.kind = OutputTarget::Kind::ReplaceFile;
    target.file = real.data();
    target.folder = FolderOf(target.file);
    return std::nullopt;
}

std::optional<std::string> CheckOutputPath(const std::string& path) {
    OutputTarget target;
    if (auto failure = ResolveOutputPath(path, target)) return failure;
    if (target.kind == OutputTarget::Kind::Stream) return std::nullopt;
    if (::access(target.folder.c_str(), W_OK | X_OK) != 0) return Reason(errno);
    return std::nullopt;
}

OutputFile::~OutputFile() {
    if (stream_ >= 0) ::close(stream_);
}

std::optional<std::string> OutputFile::Prepare(const std::string& path) {
    if (stream_ >= 0) ::close(stream_);
    stream_ = -1;
    ready_ = false;
    if (auto failure = CheckOutputPath(path)) return failure;
    ResolveOutputPath(path, target_);
    if (target_.kind == OutputTarget::Kind::Stream) {
        std::string reason;
        stream_ = OpenForWriting(target_, false, reason);
        if (stream_ < 0) return reason;
    }
    ready_ = true;
    return std::nullopt;
}

std::optional<std::string> OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (!ready_) return "the output was not made ready";
    ready_ = false;
    if (target_.kind != OutputTarget::Kind::Stream) return WriteReplacing(target_, bytes);
    const int fd = stream_;
    stream_ = -1;
    return WriteStream(fd, target_.append, bytes);
}

std::optional<std::string> WriteFileAtomically(const std::string& path,
                                               std::span<const std::uint8_t> bytes) {
    OutputFile output;
    if (auto failure = output.Prepare(path)) return failure;
    return output.Write(bytes);
}

int OpenForWriting(const OutputTarget& target, bool truncate, std::string& reason) {
    // Without waiting: a FIFO that nobody reads fails at once (ENXIO) instead of blocking the
    // tool in the open, where neither Ctrl-C nor the window could stop it.
    int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
    if (target.kind != OutputTarget::Kind::Stream) flags |= O_CREAT | (truncate ? O_TRUNC : 0);
    if (target.append) flags |= O_APPEND;
    const int fd = ::open(target.file.c_str(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        struct stat found {};
        if (error == ENXIO && ::stat(target.file.c_str(), &found) == 0 && S_ISFIFO(found.st_mode)) {
            reason = "it is a FIFO that no program reads: start the reading program first";
        } else {
            reason = Reason(error);
        }
        return -1;
    }
    // The descriptor stays without blocking: WriteWhole waits for the reader itself, so that a
    // stop (or the log's limit) can end the wait where a blocked write would not return.
    return fd;
}

bool IsStandardOutput(const std::string& path) {
    struct stat named {};
    struct stat output {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
           named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

namespace {

std::atomic<bool> gWritesStopped{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The slice of a wait for a reader between looks at the stop.
constexpr int kWaitSliceMs = 100;

}  // namespace

void StopWaitingWrites() noexcept {
    gWritesStopped.store(true);
}

int WriteWhole(int fd, std::span<const std::uint8_t> bytes, int nothingWritten, int waitLimitMs) {
    std::size_t done = 0;
    int waitedMs = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            if (gWritesStopped.load()) return EINTR;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The reader takes nothing now: wait for room, in slices, up to the limit or a stop.
            if (gWritesStopped.load()) return EINTR;
            if (waitLimitMs >= 0 && waitedMs >= waitLimitMs) return EAGAIN;
            pollfd room{fd, POLLOUT, 0};
            const int slice =
                waitLimitMs < 0 ? kWaitSliceMs : std::min(kWaitSliceMs, waitLimitMs - waitedMs);
            const int ready = ::poll(&room, 1, slice);
            if (ready < 0 && errno != EINTR) return errno;
            if (ready == 0) waitedMs += slice;
            continue;
        }
        if (n <= 0) return n < 0 ? errno : nothingWritten;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace nuv
