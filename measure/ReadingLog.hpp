#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/LinkResult.hpp"
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

// A new, empty file at `path` (an earlier file of that name is emptied: the window has asked
// before), written through the system: each piece goes to the file in as many writes as it
// takes and is flushed to the disk before Append returns; a piece that fails part-way is cut
// off again. The path is taken as every output path is (core/AtomicFile.hpp): a link is followed
// to its target, a FIFO or a terminal is written straight through, and a FIFO that no program
// reads is said at once rather than waited for. None, with the reason in words, when the file
// cannot be opened.
std::unique_ptr<AppendFile> CreateAppendFile(const std::string& path, std::string& reason);

// The same, but a file already there is kept and the pieces go on after its end.
std::unique_ptr<AppendFile> ContinueAppendFile(const std::string& path, std::string& reason);

// Checks, before anything is written or created, that rows of `sensorsPerChannel` sensors can
// go on after what `path` holds: a path that can take a file, and where a file with contents is
// already there, a log of readings whose last header is the header of these rows and whose last
// row is whole. `headerThere` tells whether the rows go on under that header (false for a new
// or empty file, and for a FIFO or a terminal, which cannot be read back). `withAddress`: rows
// with the address column of a bus of modules. None, else the reason.
std::optional<std::string> CheckLogToContinue(const std::string& path, int sensorsPerChannel,
                                              bool& headerThere, bool withAddress = false);

// The log of readings, one row each in the columns of ReadingCsvRow. Rows are written one by one
// and flushed whole: a crash or a full disk loses at most the row being written. The first
// failure stops the log, and it says why.
class ReadingLog {
  public:
    // `headerSensors`: the layout whose header the file already ends under (0: none), so that
    // a continued log gets no second header; `headerWithAddress`: that header has the address
    // column.
    void Start(std::unique_ptr<AppendFile> file, std::string path, int headerSensors = 0,
               bool headerWithAddress = false);
    void Stop();
    bool Active() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }
    std::size_t Rows() const { return rows_; }

    // Writes the row of one reading, preceded by the header when it is the first row or the
    // columns changed (the number of sensors per channel, the address column). With an
    // address, the row has the address column. None when written; else the reason, and the log
    // has stopped.
    std::optional<std::string> Write(const std::string& stamp, LinkResult code,
                                     const std::optional<TemperatureReading>& reading,
                                     int sensorsPerChannel,
                                     std::optional<int> address = std::nullopt);

  private:
    std::unique_ptr<AppendFile> file_;
    std::string path_;
    int headerSensors_ = 0;
    bool headerWithAddress_ = false;
    std::size_t rows_ = 0;
};

}  // namespace nuv
