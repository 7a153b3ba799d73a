#pragma once

#include <cstdint>

#include "link/FtdiApi.hpp"

namespace nuv::sim {

// The far end of a simulated cable on the master side of a pseudo-terminal: what the program on
// the slave end writes goes onto the wire towards the module, and what the module sends goes
// back to the program once it has crossed the wire.
//
// A program on a pty writes at the speed of the machine, not of the line. The wire takes at most
// kWireBuffer bytes ahead of what it has carried, as a USB serial chip's transmit buffer does;
// what a flood brings beyond that is dropped, so the flood delays later requests by no more than
// the time the wire needs to carry that buffer, and memory stays flat however long it goes on.
class PtyBridge {
  public:
    static constexpr std::uint32_t kWireBuffer = 256;

    PtyBridge(int masterFd, FtdiApi& driver, FtHandle handle);

    // One pass: waits up to `waitMs` for bytes from the program, puts them on the wire as far as
    // it has room, and hands the module's bytes that have arrived to the program.
    void Step(int waitMs);

    // Bytes of the program dropped because the wire was full.
    std::uint64_t Dropped() const { return dropped_; }
    // Whether a program has the slave end open (the last pass saw no hang-up).
    bool Attached() const { return attached_; }

  private:
    int master_;
    FtdiApi& driver_;
    FtHandle handle_;
    std::uint64_t dropped_ = 0;
    bool attached_ = false;
};

}  // namespace nuv::sim
