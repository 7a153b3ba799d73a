#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/LinkResult.hpp"
#include "measure/TemperatureReading.hpp"

namespace nuv {

// A file that grows by whole pieces: a piece is on the disk entirely once Append returns, or the
// file ends where it ended before the call (a full disk, a file size limit).
class AppendFile {
  public:
    virtual ~AppendFile() = default;
    // 0, or the system's error number of the failure.
    virtual int Append(std::string_view piece) = 0;
};

// A new, empty file at `path` (an earlier file of that name is emptied), written through the
// system: each piece goes to the file in as many writes as it takes and is flushed to the disk
// before Append returns; a piece that fails part-way is cut off again. None, with the reason in
// words, when the file cannot be created.
std::unique_ptr<AppendFile> CreateAppendFile(const std::string& path, std::string& reason);

// The log of readings, one row each in the columns of ReadingCsvRow. Rows are written one by one
// and flushed whole: a crash or a full disk loses at most the row being written. The first
// failure stops the log, and it says why.
class ReadingLog {
  public:
    void Start(std::unique_ptr<AppendFile> file, std::string path);
    void Stop();
    bool Active() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }
    std::size_t Rows() const { return rows_; }

    // Writes the row of one reading, preceded by the header when it is the first row or the
    // number of sensors per channel changed. None when written; else the reason, and the log
    // has stopped.
    std::optional<std::string> Write(const std::string& stamp, LinkResult code,
                                     const std::optional<TemperatureReading>& reading,
                                     int sensorsPerChannel);

  private:
    std::unique_ptr<AppendFile> file_;
    std::string path_;
    int headerSensors_ = 0;
    std::size_t rows_ = 0;
};

}  // namespace nuv
