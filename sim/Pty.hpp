#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace nuv::sim {

// A pseudo-terminal pair: one program holds the master end, another opens the slave end by
// its path. Opens /dev/pts/ptmx first (the /dev/ptmx of some containers belongs to another
// devpts instance) and falls back to /dev/ptmx.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }
    int MasterFd() const { return master_; }

    // The baud rate that the program on the slave end has set: the master end reads the
    // slave's settings. 0 when it cannot be read or is no standard rate.
    std::uint32_t SlaveBaud() const;

    void Write(const std::vector<std::uint8_t>& bytes);
    // Reads until `count` bytes came or the time ran out.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit);

  private:
    int master_ = -1;
    std::string slavePath_;
    std::string error_;
};

}  // namespace nuv::sim
