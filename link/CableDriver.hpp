#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/CombinedDriver.hpp"
#include "link/LibFtdiBinding.hpp"
#include "link/LibFtdiDriver.hpp"
#include "link/PortKeeper.hpp"
#include "link/SerialPortFtdi.hpp"

namespace nuv {

// The drivers of real hardware as the tool uses them: FTDI cables through libftdi1, then ttys
// (cables that libftdi1 cannot reach, and ports named on the command line), all behind the port
// keeper.
class CableDriver {
  public:
    // `findUsbCables`: list the FTDI cables on the USB; without it only `explicitPorts`.
    CableDriver(Clock& clock, std::vector<ExplicitPort> explicitPorts, bool findUsbCables);

    FtdiApi& Api() { return keeper_; }
    // Told once for each cable that libftdi1 cannot reach: what that means and the remedy.
    std::function<void(const std::string&)> notice;

  private:
    void OnUnreachable(const std::vector<UnreachableCable>& cables);

    LibFtdiBinding binding_;
    LibFtdiDriver usb_;
    SerialPortFtdi tty_;
    CombinedDriver combined_;
    PortKeeper keeper_;
    std::set<std::string> noticed_;
};

// The line for a cable that libftdi1 cannot reach, reached through `tty` (empty: not at all).
std::string UnreachableNotice(const UnreachableCable& cable, const std::string& product);

}  // namespace nuv
