#pragma once

#include <chrono>
#include <cstdint>

#include "link/FtdiApi.hpp"

namespace nuv::sim {

// The far end of a simulated cable on the master side of a pseudo-terminal: what the program on
// the slave end writes goes onto the wire towards the module, and what the module sends goes
// back to the program once it has crossed the wire.
//
// A program on a pty writes at the speed of the machine, not of the line. The wire takes bytes
// ahead of what it has carried only as far as it can carry them in kWireBufferMs at its baud
// rate (at least kMinWireBuffer bytes, more than any single message of the tool), as a serial
// chip's and its driver's buffers do; what a flood brings beyond that is dropped, so the flood
// delays later requests by no more than that time, and memory stays flat however long it goes
// on.
class PtyBridge {
  public:
    static constexpr std::uint32_t kWireBufferMs = 300;
    static constexpr std::uint32_t kMinWireBuffer = 288;

    PtyBridge(int masterFd, FtdiApi& driver, FtHandle handle);

    // The line's rate, which sizes the wire's buffer (9600 baud until told otherwise).
    void SetBaud(std::uint32_t baud);
    std::uint32_t WireBuffer() const { return wireBuffer_; }

    // One pass: waits up to `wait` for bytes from the program, puts them on the wire as far as
    // it has room, and hands the module's bytes that have arrived to the program.
    void Step(std::chrono::microseconds wait);

    // Bytes of the program dropped because the wire was full.
    std::uint64_t Dropped() const { return dropped_; }
    // Whether a program has the slave end open (the last pass saw no hang-up).
    bool Attached() const { return attached_; }

  private:
    int master_;
    FtdiApi& driver_;
    FtHandle handle_;
    std::uint64_t dropped_ = 0;
    std::uint32_t wireBuffer_ = kMinWireBuffer;
    bool attached_ = false;
};

}  // namespace nuv::sim
