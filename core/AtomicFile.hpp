#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nuv {

// Where the bytes written to a path go. Every file the tool writes (the memory dump, the
// service report and the dump beside it, the reading log, the trend picture, and any later
// output such as a PDF) goes through this, so that a path means the same everywhere:
// - a symbolic link (or a chain of them) is followed, and its final target is the file: the
//   link stays a link;
// - a regular file, or nothing yet, is a file written whole into a new file in the target's
//   folder and renamed over the target;
// - a FIFO or a character device (a terminal, /dev/null) is a stream, written straight through:
//   it cannot be replaced, and a FIFO is how another program asks to read the output;
// - a regular file reached through one of the process's descriptor links (/dev/stdout,
//   /dev/fd/N) is the file that the descriptor has open: the bytes are added at its end, as a
//   shell redirection ("> f" or ">> f") expects, rather than replacing a file the shell holds;
// - a folder, a socket, a block device and a link whose target is missing are refused.
struct OutputTarget {
    enum class Kind {
        NewFile,      // nothing there yet
        ReplaceFile,  // a regular file, replaced whole
        Stream,       // written straight through
    };
    Kind kind = Kind::NewFile;
    // The file to create or replace (links followed), or the path of the stream as given.
    std::string file;
    // The folder that receives the new file.
    std::string folder;
    // A regular file behind a descriptor link: the bytes go at its end.
    bool append = false;
};

// Resolves `path` as above. None on success, else the reason in words ("it is a folder", "it is
// a link to a/t.dat, which does not exist", "No such file or directory").
std::optional<std::string> ResolveOutputPath(const std::string& path, OutputTarget& target);

// Checks, before the work whose result goes to `path` starts, that the path can take it: the
// resolution above, then whether a new file may be made in the target's folder. Changes nothing
// on the disk. A FIFO's reader is not looked for here: opening a FIFO to see whether someone
// reads it and closing it again would end the reader's input.
std::optional<std::string> CheckOutputPath(const std::string& path);

// An output made ready before the work whose result it takes (a memory dump, a report, a PDF),
// so that a path that cannot take it is said before the work rather than after it. Prepare
// checks the path (CheckOutputPath) and opens a stream at once, without waiting: a FIFO that no
// program reads fails there, and one that is read stays open, its reader waiting, until the
// bytes come. Write then writes them whole or not at all: a file into a new file in the target's
// folder, flushed to the disk, then renamed over the target (a file already there keeps its
// permissions and, where the system allows, its owner), and the folder flushed too; a stream
// straight through. An output that is never written leaves nothing: no file, and a stream
// closed without a byte.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // None when the path can take the output, else the reason in words.
    std::optional<std::string> Prepare(const std::string& path);
    bool Ready() const { return ready_; }
    bool IsStream() const { return target_.kind == OutputTarget::Kind::Stream; }
    // Writes the bytes (once); none on success, else the reason. An earlier file of that name is
    // then left as it was and nothing else remains behind.
    std::optional<std::string> Write(std::span<const std::uint8_t> bytes);

  private:
    OutputTarget target_;
    int stream_ = -1;
    bool ready_ = false;
};

// Prepares and writes at once (see OutputFile), for a result that is there already.
std::optional<std::string> WriteFileAtomically(const std::string& path,
                                               std::span<const std::uint8_t> bytes);

// Opens the stream or file for writing as the reading log needs it: a regular file is created
// when missing and, with `truncate`, emptied; a stream is opened without waiting for a reader.
// The descriptor is blocking once open. -1 with the reason in words when it cannot be.
int OpenForWriting(const OutputTarget& target, bool truncate, std::string& reason);

// Whether `path` names the very file that the process's standard output writes to (a pipe, a
// terminal, a redirected file), where a command's own report of what it did must not go.
bool IsStandardOutput(const std::string& path);

// Writes all of `bytes` to the descriptor, going on after interrupted and partial writes. 0 when
// all went out, else the system's error; a write that takes nothing gives `nothingWritten`.
// A stream opened by OpenForWriting does not block: while its reader takes nothing the write
// waits, at most `waitLimitMs` in all (-1: as long as it takes) and never past a stop
// (StopWaitingWrites), which fail with EAGAIN and EINTR.
int WriteWhole(int fd, std::span<const std::uint8_t> bytes, int nothingWritten,
               int waitLimitMs = -1);

// Ends every wait of WriteWhole for a reader, now and later: for a stop signal's handler (it
// only sets a flag), so that a stalled reader cannot keep the program from stopping.
void StopWaitingWrites() noexcept;

}  // namespace nuv
