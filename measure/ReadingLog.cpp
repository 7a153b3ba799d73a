#include "measure/ReadingLog.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/AtomicFile.hpp"
#include "measure/ReadingRow.hpp"

namespace nuv {
namespace {

// How long a row may wait for the program that reads the log (a pipe, a FIFO) to take it: the
// window and the measurement do not stop for longer; the log stops instead and says why.
constexpr int kReaderWaitMs = 2000;

class SystemAppendFile final : public AppendFile {
  public:
    // `size`: where the file ends now, and where a failed piece is cut back to.
    SystemAppendFile(int fd, off_t size) : fd_(fd), size_(size) {}
    ~SystemAppendFile() override { ::close(fd_); }
    SystemAppendFile(const SystemAppendFile&) = delete;
    SystemAppendFile& operator=(const SystemAppendFile&) = delete;

    int Append(std::string_view piece) override {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
        if (const int error = WriteWhole(fd_, bytes, ENOSPC, kReaderWaitMs); error != 0) {
            return CutBack(error);
        }
        // On the disk before the next reading, so that a crash of the machine loses no row
        // that was reported written.
        if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) return CutBack(errno);
        size_ += static_cast<off_t>(piece.size());
        return 0;
    }

  private:
    // A piece that failed part-way leaves no half row behind.
    int CutBack(int error) {
        if (::ftruncate(fd_, size_) == 0) ::lseek(fd_, size_, SEEK_SET);
        return error;
    }

    int fd_;
    off_t size_;
};

// Every header begins so (with or without the address column); a row begins with its time
// stamp, a digit.
constexpr std::string_view kHeaderStart = "time,";
// How much of the file one read takes when the last header is looked for from the end.
constexpr std::size_t kTailPiece = 64 * 1024;

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, bool truncate,
                                           std::string& reason) {
    OutputTarget target;
    if (const auto failure = ResolveOutputPath(path, target)) {
        reason = *failure;
        return nullptr;
    }
    const int fd = OpenForWriting(target, truncate, reason);
    if (fd < 0) return nullptr;
    // A FIFO or a terminal has no end to seek to: it starts at nothing.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    return std::make_unique<SystemAppendFile>(fd, end > 0 ? end : 0);
}

// Where the last line that begins a header starts, or -1 when there is none. Read from the end
// piece by piece, so that a long log is not read whole when its header is near its end; a piece
// carries the first bytes of the piece after it, for a header start that straddles the two.
off_t LastHeaderAt(int fd, off_t size) {
    const std::string marker = "\n" + std::string(kHeaderStart);
    std::string carry;
    std::vector<char> piece(kTailPiece);
    for (off_t end = size; end > 0;) {
        const off_t start = end > static_cast<off_t>(kTailPiece) ? end - kTailPiece : 0;
        const auto length = static_cast<std::size_t>(end - start);
        if (::pread(fd, piece.data(), length, start) != static_cast<ssize_t>(length)) return -1;
        std::string window(piece.data(), length);
        const std::string next = window.substr(0, marker.size());
        window += carry;
        // A header start that begins in the carried bytes was found with the piece after.
        if (const std::size_t at = window.rfind(marker, length - 1); at != std::string::npos) {
            return start + static_cast<off_t>(at) + 1;
        }
        if (start == 0 && window.compare(0, kHeaderStart.size(), kHeaderStart) == 0) return 0;
        carry = next;
        end = start;
    }
    return -1;
}

}  // namespace

std::unique_ptr<AppendFile> CreateAppendFile(const std::string& path, std::string& reason) {
    return OpenAppendFile(path, true, reason);
}

std::unique_ptr<AppendFile> ContinueAppendFile(const std::string& path, std::string& reason) {
    return OpenAppendFile(path, false, reason);
}

std::optional<std::string> CheckLogToContinue(const std::string& path, int sensorsPerChannel,
                                              bool& headerThere, bool withAddress) {
    headerThere = false;
    if (auto failure = CheckOutputPath(path)) return failure;
    OutputTarget target;
    ResolveOutputPath(path, target);
    if (target.kind != OutputTarget::Kind::ReplaceFile) return std::nullopt;
    if (::access(target.file.c_str(), W_OK) != 0) return std::string(std::strerror(errno));
    const int fd = ::open(target.file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::string(std::strerror(errno));
    struct stat file {};
    std::optional<std::string> failure;
    char last = '\n';
    if (::fstat(fd, &file) != 0) {
        failure = std::strerror(errno);
    } else if (file.st_size == 0) {
        // An empty file takes the header first, as a new one does.
    } else if (::pread(fd, &last, 1, file.st_size - 1) != 1 || last != '\n') {
        failure = "its last line is not a whole row: name another file";
    } else if (const off_t at = LastHeaderAt(fd, file.st_size); at < 0) {
        failure = "it is not a log of readings (it has no header line): name another file";
    } else {
        const std::string header = ReadingCsvHeader(sensorsPerChannel, withAddress);
        std::string found(header.size(), '\0');
        const ssize_t n = ::pread(fd, found.data(), found.size(), at);
        if (n != static_cast<ssize_t>(found.size()) || found != header) {
            // Which of the two layouts the file has, where that is what differs.
            const bool foundAddress = found.starts_with("time,address,");
            const std::string layout =
                foundAddress == withAddress ? ""
                : foundAddress ? "; it is a log of several modules (it has an address column)"
                               : "; it is a log of one module (it has no address column)";
            failure = "its columns are not those of this log (" +
                      std::to_string(sensorsPerChannel) + " sensors per channel" +
                      (withAddress ? ", with an address column" : "") + ")" + layout +
                      ": name another file";
        } else {
            headerThere = true;
        }
    }
    ::close(fd);
    return failure;
}

void ReadingLog::Start(std::unique_ptr<AppendFile> file, std::string path, int headerSensors,
                       bool headerWithAddress) {
    file_ = std::move(file);
    path_ = std::move(path);
    headerSensors_ = headerSensors;
    headerWithAddress_ = headerWithAddress;
    rows_ = 0;
}

void ReadingLog::Stop() {
    file_.reset();
}

std::optional<std::string> ReadingLog::Write(const std::string& stamp, LinkResult code,
                                             const std::optional<TemperatureReading>& reading,
                                             int sensorsPerChannel, std::optional<int> address) {
    if (!file_) return "the log is not open";
    // The header and the first row go as one piece, so that a file never holds a header alone
    // when its first row failed.
    std::string piece;
    const bool withAddress = address.has_value();
    if (headerSensors_ != sensorsPerChannel || headerWithAddress_ != withAddress) {
        piece = ReadingCsvHeader(sensorsPerChannel, withAddress);
    }
    piece += ReadingCsvRow(stamp, code, reading, sensorsPerChannel, address);
    if (const int error = file_->Append(piece); error != 0) {
        Stop();
        if (error == EAGAIN) {
            return "the program that reads it took nothing for " +
                   std::to_string(kReaderWaitMs / 1000) + " s";
        }
        return std::string(std::strerror(error));
    }
    headerSensors_ = sensorsPerChannel;
    headerWithAddress_ = withAddress;
    ++rows_;
    return std::nullopt;
}

}  // namespace nuv
