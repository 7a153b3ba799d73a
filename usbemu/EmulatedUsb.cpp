#include "usbemu/EmulatedUsb.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "usbemu/UsbfsDevice.hpp"

namespace nuv::usbemu {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

}  // namespace

std::mutex& Cable::Mutex() {
    return state_->mutex;
}
Ft232rChip& Cable::Chip() {
    return state_->chip;
}
std::vector<ControlRecord> Cable::Log() {
    std::lock_guard lock(state_->mutex);
    return state_->chip.Log();
}
void Cable::SetClaimedElsewhere(bool claimed) {
    std::lock_guard lock(state_->mutex);
    state_->claimedElsewhere = claimed;
    state_->ShowDriver();
}
bool Cable::Pulled() const {
    std::lock_guard lock(state_->mutex);
    return state_->pulled;
}
bool Cable::KernelDriverBound() {
    std::lock_guard lock(state_->mutex);
    return state_->kernelDriver && state_->claimedBy == nullptr && !state_->claimedElsewhere;
}
std::size_t Cable::RequestCount() {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}
std::size_t Cable::EmptyReapCount() {
    std::lock_guard lock(state_->mutex);
    return state_->emptyReaps;
}
const std::string& Cable::SysfsName() const {
    return state_->sysfsName;
}
const std::string& Cable::DevNode() const {
    return state_->devNode;
}

struct EmulatedUsb::Testbed {
    UMockdevTestbed* bed = nullptr;
};

bool EmulatedUsb::Preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

EmulatedUsb::EmulatedUsb(Clock& clock) : clock_(clock), testbed_(std::make_unique<Testbed>()) {
    testbed_->bed = umockdev_testbed_new();
    if (testbed_->bed == nullptr) throw std::runtime_error("umockdev cannot make a testbed");
}

EmulatedUsb::~EmulatedUsb() {
    for (auto& cable : cables_) {
        CableState& state = *cable->state_;
        GSource* ticker = nullptr;
        {
            std::lock_guard lock(state.mutex);
            state.closing = true;
            ticker = state.ticker;
            state.ticker = nullptr;
        }
        if (ticker != nullptr) {
            g_source_destroy(ticker);
            g_source_unref(ticker);
        }
        umockdev_testbed_detach_ioctl(testbed_->bed, state.devNode.c_str(), nullptr);
        {
            std::lock_guard lock(state.mutex);
            state.Release();
        }
        if (state.handler != nullptr) g_object_unref(state.handler);
        state.handler = nullptr;
    }
    cables_.clear();
    // The testbed's folder goes with it.
    g_object_unref(testbed_->bed);
}

std::string EmulatedUsb::RootDir() const {
    gchar* root = umockdev_testbed_get_root_dir(testbed_->bed);
    std::string out = root;
    g_free(root);
    return out;
}

Cable& EmulatedUsb::Plug(ChipIdentity identity) {
    const int port = nextPort_++;
    const int devnum = port + 1;
    auto state = std::make_shared<CableState>(std::move(identity), clock_);
    const ChipIdentity& id = state->chip.Identity();
    state->testbed = testbed_->bed;
    state->sysfsName = "1-" + std::to_string(port);
    state->devicePath = "/devices/pci0000:00/0000:00:14.0/usb1/" + state->sysfsName;
    state->interfacePath = state->devicePath + "/" + state->sysfsName + ":1.0";
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", devnum);
    state->devNode = std::string("/dev/") + node;
    gchar* sys = umockdev_testbed_get_sys_dir(testbed_->bed);
    state->sysDir = sys;
    g_free(sys);

    char ids[64];
    std::snprintf(ids, sizeof ids, "%x/%x/%x", id.vendorId, id.productId, id.bcdDevice);
    char hex[3][8];
    std::snprintf(hex[0], sizeof hex[0], "%04x", id.vendorId);
    std::snprintf(hex[1], sizeof hex[1], "%04x", id.productId);
    std::snprintf(hex[2], sizeof hex[2], "%04x", id.bcdDevice);
    std::vector<std::uint8_t> descriptors = state->chip.DeviceDescriptor();
    const std::vector<std::uint8_t> configuration = state->chip.ConfigurationDescriptor();
    descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
    // Attribute values end in a line feed as the kernel's do (libusb warns otherwise).
    const std::string nl = "\\n";
    std::string text;
    text += "P: " + state->devicePath + "\n";
    text += std::string("N: ") + node + "\n";
    text += "E: DEVNAME=" + state->devNode + "\n";
    text += "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n";
    text += std::string("E: PRODUCT=") + ids + "\n";
    text += "E: BUSNUM=001\n";
    text += "E: DEVNUM=" + std::string(node + 12) + "\n";
    text += "A: busnum=1" + nl + "\n";
    text += "A: devnum=" + std::to_string(devnum) + nl + "\n";
    text += "A: speed=12" + nl + "\n";
    text += "A: bConfigurationValue=1" + nl + "\n";
    text += "A: bNumConfigurations=1" + nl + "\n";
    text += "A: bNumInterfaces= 1" + nl + "\n";
    text += "A: dev=189:" + std::to_string(devnum - 1) + nl + "\n";
    text += std::string("A: idVendor=") + hex[0] + nl + "\n";
    text += std::string("A: idProduct=") + hex[1] + nl + "\n";
    text += std::string("A: bcdDevice=") + hex[2] + nl + "\n";
    text += "A: manufacturer=" + id.manufacturer + nl + "\n";
    text += "A: product=" + id.product + nl + "\n";
    text += "A: serial=" + id.serial + nl + "\n";
    text += "H: descriptors=" + Hex(descriptors) + "\n";
    text += "\n";
    text += "P: " + state->interfacePath + "\n";
    text += "E: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\n";
    text += std::string("E: PRODUCT=") + ids + "\n";
    text += "A: bInterfaceNumber=00" + nl + "\n";
    text += "A: bInterfaceClass=ff" + nl + "\n";
    text += "A: bNumEndpoints=02" + nl + "\n";
    text += "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_->bed, text.c_str(), &error)) {
        const std::string message = error != nullptr ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev cannot add the cable: " + message);
    }
    state->ShowDriver();

    state->handler = umockdev_ioctl_base_new();
    ServeDeviceFile(state);
    if (!umockdev_testbed_attach_ioctl(testbed_->bed, state->devNode.c_str(), state->handler,
                                       &error)) {
        const std::string message = error != nullptr ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev cannot serve " + state->devNode + ": " + message);
    }
    cables_.push_back(std::make_unique<Cable>(state));
    return *cables_.back();
}

void EmulatedUsb::Pull(Cable& cable) {
    CableState& state = *cable.state_;
    {
        std::lock_guard lock(state.mutex);
        if (state.pulled) return;
        state.pulled = true;
        // What was under way ends as at a disconnect; the client may still reap it.
        for (Urb& urb : state.inFlight) state.Finish(urb, -ESHUTDOWN);
        state.inFlight.clear();
    }
    const std::string syspath = "/sys" + state.devicePath;
    umockdev_testbed_uevent(testbed_->bed, (syspath + "/" + state.sysfsName + ":1.0").c_str(),
                            "remove");
    umockdev_testbed_uevent(testbed_->bed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_->bed, syspath.c_str());
}

}  // namespace nuv::usbemu
