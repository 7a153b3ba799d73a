#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "usbemu/Ft232rChip.hpp"

namespace nuv::usbemu {

struct CableState;

// One emulated FTDI cable on the emulated USB: an FT232R in sysfs, its device file served by
// the chip, and the ways a real cable is met besides a plain one: held by another program (its
// interface claimed through usbfs, so a claim answers EBUSY) and pulled (every request answers
// ENODEV, transfers under way end as on a disconnect, and it leaves sysfs).
class Cable {
  public:
    explicit Cable(std::shared_ptr<CableState> state) : state_(std::move(state)) {}

    // Runs `use` with the chip while the emulation stands still (its requests wait).
    template <class Use>
    auto WithChip(Use&& use) {
        std::lock_guard lock(Mutex());
        return use(Chip());
    }
    // The control requests the chip received, in order, with their times.
    std::vector<ControlRecord> Log();
    // Another program claims the interface (true) or lets it go (false).
    void SetClaimedElsewhere(bool claimed);
    bool Pulled() const;
    // "1-1": the sysfs name; "/dev/bus/usb/001/002": the device file.
    const std::string& SysfsName() const;
    const std::string& DevNode() const;
    // Whether the kernel's serial driver is bound to the interface now.
    bool KernelDriverBound();
    // usbfs requests served so far (of every kind), and those on a request that only waits:
    // REAPURBNDELAY with nothing to reap.
    std::size_t RequestCount();
    std::size_t EmptyReapCount();

  private:
    friend class EmulatedUsb;
    std::mutex& Mutex();
    Ft232rChip& Chip();
    std::shared_ptr<CableState> state_;
};

// A umockdev testbed with emulated FTDI cables in it. libusb (and so libftdi1) sees the cables
// as real ones as long as the process runs with umockdev's preload library (umockdev-wrapper)
// and the testbed exists before libusb starts. Not copyable; one at a time in a process.
class EmulatedUsb {
  public:
    // Whether umockdev's preload library is loaded into this process.
    static bool Preloaded();

    explicit EmulatedUsb(Clock& clock);
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // A new cable at the next port of bus 1 ("1-1", "1-2", ...), its kernel serial driver bound.
    Cable& Plug(ChipIdentity identity = {});
    // Pulls a cable out: it answers ENODEV from now on and leaves sysfs.
    void Pull(Cable& cable);
    std::vector<std::unique_ptr<Cable>>& Cables() { return cables_; }
    // The testbed's folder (the fake / of sysfs and /dev).
    std::string RootDir() const;

  private:
    struct Testbed;
    Clock& clock_;
    std::unique_ptr<Testbed> testbed_;
    std::vector<std::unique_ptr<Cable>> cables_;
    int nextPort_ = 1;
};

}  // namespace nuv::usbemu
