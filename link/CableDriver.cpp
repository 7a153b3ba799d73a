#include "link/CableDriver.hpp"

namespace nuv {

std::string UnreachableNotice(const UnreachableCable& cable, const std::string& product) {
    const std::string name = product.empty() ? "" : "\"" + product + "\" ";
    const std::string remedy =
        " To fix: install the nuvtool package (its udev rules give the seated user the cable), "
        "then plug the cable in again.";
    if (cable.tty.empty()) {
        return "No access to the FTDI cable " + name + "at " + cable.location +
               ": it cannot be used." + remedy;
    }
    return "No access to the USB device of the FTDI cable " + name + "(" + cable.tty +
           "): using its tty instead, whose first open resets the module." + remedy;
}

CableDriver::CableDriver(Clock& clock, std::vector<ExplicitPort> explicitPorts, bool findUsbCables)
    : usb_(binding_, clock),
      tty_(std::move(explicitPorts)),
      combined_(findUsbCables ? std::vector<FtdiApi*>{&usb_, &tty_} : std::vector<FtdiApi*>{&tty_}),
      keeper_(combined_) {
    usb_.onUnreachable = [this](const std::vector<UnreachableCable>& cables) {
        OnUnreachable(cables);
    };
}

void CableDriver::OnUnreachable(const std::vector<UnreachableCable>& cables) {
    std::vector<ExplicitPort> fallback;
    for (const UnreachableCable& cable : cables) {
        const UsbIdentity identity = cable.tty.empty() ? UsbIdentity{} : ReadUsbIdentity(cable.tty);
        if (!cable.tty.empty()) {
            fallback.push_back(ExplicitPort{cable.tty, identity.product, identity.serial});
        }
        if (noticed_.insert(cable.location).second && notice) {
            notice(UnreachableNotice(cable, identity.product));
        }
    }
    tty_.SetFallbackPorts(std::move(fallback));
}

}  // namespace nuv
