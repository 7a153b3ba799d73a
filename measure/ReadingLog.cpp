#include "measure/ReadingLog.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/AtomicFile.hpp"
#include "measure/ReadingRow.hpp"

namespace nuv {
namespace {

class SystemAppendFile final : public AppendFile {
  public:
    explicit SystemAppendFile(int fd) : fd_(fd) {}
    ~SystemAppendFile() override { ::close(fd_); }
    SystemAppendFile(const SystemAppendFile&) = delete;
    SystemAppendFile& operator=(const SystemAppendFile&) = delete;

    int Append(std::string_view piece) override {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
        if (const int error = WriteWhole(fd_, bytes, ENOSPC); error != 0) return CutBack(error);
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
    off_t size_ = 0;
};

}  // namespace

std::unique_ptr<AppendFile> CreateAppendFile(const std::string& path, std::string& reason) {
    if (path.empty()) {
        reason = "no file name was given";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<SystemAppendFile>(fd);
}

void ReadingLog::Start(std::unique_ptr<AppendFile> file, std::string path) {
    file_ = std::move(file);
    path_ = std::move(path);
    headerSensors_ = 0;
    rows_ = 0;
}

void ReadingLog::Stop() {
    file_.reset();
}

std::optional<std::string> ReadingLog::Write(const std::string& stamp, LinkResult code,
                                             const std::optional<TemperatureReading>& reading,
                                             int sensorsPerChannel) {
    if (!file_) return "the log is not open";
    // The header and the first row go as one piece, so that a file never holds a header alone
    // when its first row failed.
    std::string piece;
    if (headerSensors_ != sensorsPerChannel) piece = ReadingCsvHeader(sensorsPerChannel);
    piece += ReadingCsvRow(stamp, code, reading, sensorsPerChannel);
    if (const int error = file_->Append(piece); error != 0) {
        Stop();
        return std::string(std::strerror(error));
    }
    headerSensors_ = sensorsPerChannel;
    ++rows_;
    return std::nullopt;
}

}  // namespace nuv
