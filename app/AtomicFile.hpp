#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nuv {

// Writes `bytes` to `path` whole or not at all: into a new file in the same folder, flushed to
// the disk, then renamed over the path (a file already there keeps its permissions). Returns
// none on success, else the reason in words ("Permission denied", "No space left on device");
// an earlier file of that name is then left as it was and nothing else remains behind.
std::optional<std::string> WriteFileAtomically(const std::string& path,
                                               std::span<const std::uint8_t> bytes);

// Writes all of `bytes` to the descriptor, going on after interrupted and partial writes. 0 when
// all went out, else the system's error; a write that takes nothing gives `nothingWritten`.
int WriteWhole(int fd, std::span<const std::uint8_t> bytes, int nothingWritten);

}  // namespace nuv
