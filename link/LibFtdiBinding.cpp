#include "link/LibFtdiBinding.hpp"

#include <ftdi.h>
#include <libusb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace nuv {
namespace {

static_assert(LibFtdi::kInterfaceA == INTERFACE_A);
static_assert(LibFtdi::kBits7 == BITS_7 && LibFtdi::kBits8 == BITS_8);
static_assert(LibFtdi::kStopBit1 == STOP_BIT_1 && LibFtdi::kStopBit2 == STOP_BIT_2);
static_assert(LibFtdi::kParityNone == NONE && LibFtdi::kParitySpace == SPACE);
static_assert(LibFtdi::kDisableFlowCtrl == SIO_DISABLE_FLOW_CTRL);
static_assert(LibFtdi::kRtsCtsHs == SIO_RTS_CTS_HS && LibFtdi::kDtrDsrHs == SIO_DTR_DSR_HS);

constexpr int kTextSize = 128;
const std::filesystem::path kUsbDevices = "/sys/bus/usb/devices";

ftdi_context* Ftdi(LibFtdi::Context context) {
    return reinterpret_cast<ftdi_context*>(context);
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Whether a live process other than this one holds a UUCP lock file of the tty
// (/run/lock/LCK..ttyUSB0, also /var/lock): serial programs lock their port so, whoever runs them.
bool LockedElsewhere(const std::string& tty) {
    const std::string name = "LCK.." + std::filesystem::path(tty).filename().string();
    for (const char* folder : {"/run/lock/", "/var/lock/"}) {
        std::ifstream lock(std::string(folder) + name);
        long pid = 0;
        if (!(lock >> pid) || pid <= 0 || pid == ::getpid()) continue;
        // A lock left by a process that has ended holds nothing.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return true;
    }
    return false;
}

// Whether a process other than this one has the character device `tty` open: seen through
// its lock file, or through the open files of the processes this user may look into.
bool OpenElsewhere(const std::string& tty) {
    namespace fs = std::filesystem;
    if (LockedElsewhere(tty)) return true;
    struct stat target {};
    if (::stat(tty.c_str(), &target) != 0) return false;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code denied;  // another user's process: not to be seen, passed over
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", denied)) {
            struct stat opened {};
            if (::stat(fd.path().c_str(), &opened) == 0 && S_ISCHR(opened.st_mode) &&
                opened.st_rdev == target.st_rdev) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

LibFtdiBinding::LibFtdiBinding() : listing_(ftdi_new()) {}

LibFtdiBinding::~LibFtdiBinding() {
    ReleaseList();
    if (listing_ != nullptr) ftdi_free(listing_);
}

void LibFtdiBinding::ReleaseList() {
    if (list_ != nullptr) libusb_free_device_list(list_, 1);
    list_ = nullptr;
    devices_.clear();
    sysfsNames_.clear();
}

int LibFtdiBinding::FindAll(std::vector<UsbDevice>& found) {
    found.clear();
    ReleaseList();
    if (listing_ == nullptr) return -3;
    const ssize_t count = libusb_get_device_list(listing_->usb_ctx, &list_);
    if (count < 0) {
        list_ = nullptr;
        return -5;
    }
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list_[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) return -6;
        if (descriptor.idVendor != 0x0403) continue;
        std::uint8_t ports[8];
        const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
        std::string name = std::to_string(libusb_get_bus_number(device)) + "-";
        for (int p = 0; p < depth; ++p) name += (p != 0 ? "." : "") + std::to_string(ports[p]);
        int channels = 1;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(device, 0, &config) == 0) {
            channels = config->bNumInterfaces;
            libusb_free_config_descriptor(config);
        }
        devices_.push_back(device);
        sysfsNames_.push_back(name);
        found.push_back(UsbDevice{"usb:" + name, channels});
    }
    return static_cast<int>(found.size());
}

int LibFtdiBinding::GetStrings(std::size_t device, std::string& description, std::string& serial) {
    if (device >= devices_.size()) return -1;
    char descriptionText[kTextSize] = {};
    char serialText[kTextSize] = {};
    const int code = ftdi_usb_get_strings(listing_, devices_[device], nullptr, 0, descriptionText,
                                          kTextSize, serialText, kTextSize);
    description = descriptionText;
    serial = serialText;
    return code;
}

std::string LibFtdiBinding::InterfaceFolder(std::size_t device, int channel) const {
    if (device >= sysfsNames_.size()) return {};
    const std::filesystem::path folder = kUsbDevices / sysfsNames_[device];
    const std::string configuration = FirstLine(folder / "bConfigurationValue");
    if (configuration.empty()) return {};
    return (kUsbDevices /
            (sysfsNames_[device] + ":" + configuration + "." + std::to_string(channel)))
        .string();
}

LibFtdi::Holder LibFtdiBinding::HolderOf(std::size_t device, int channel) {
    const std::string folder = InterfaceFolder(device, channel);
    if (folder.empty()) return Holder::None;
    std::error_code error;
    const std::filesystem::path driver =
        std::filesystem::read_symlink(std::filesystem::path(folder) / "driver", error);
    if (error) return Holder::None;
    if (driver.filename() == "usbfs") return Holder::UsbProgram;
    const std::string tty = TtyOf(device, channel);
    return !tty.empty() && OpenElsewhere(tty) ? Holder::KernelTtyInUse : Holder::KernelTty;
}

std::string LibFtdiBinding::TtyOf(std::size_t device, int channel) {
    const std::string folder = InterfaceFolder(device, channel);
    if (folder.empty()) return {};
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0) return "/dev/" + name;
    }
    return {};
}

LibFtdi::Context LibFtdiBinding::New() {
    ftdi_context* context = ftdi_new();
    if (context == nullptr) return 0;
    // The kernel's serial driver gets the device back when it is closed.
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    return reinterpret_cast<Context>(context);
}

void LibFtdiBinding::Free(Context context) {
    if (context != 0) ftdi_free(Ftdi(context));
}

int LibFtdiBinding::SetInterface(Context context, int interface) {
    return ftdi_set_interface(Ftdi(context), static_cast<ftdi_interface>(interface));
}

int LibFtdiBinding::OpenDev(Context context, std::size_t device) {
    if (device >= devices_.size()) return -4;
    return ftdi_usb_open_dev(Ftdi(context), devices_[device]);
}

int LibFtdiBinding::Close(Context context) {
    return ftdi_usb_close(Ftdi(context));
}

int LibFtdiBinding::SetLatencyTimer(Context context, unsigned char ms) {
    return ftdi_set_latency_timer(Ftdi(context), ms);
}

int LibFtdiBinding::SetBaudrate(Context context, int baud) {
    return ftdi_set_baudrate(Ftdi(context), baud);
}

int LibFtdiBinding::SetLineProperty(Context context, int bits, int stopBits, int parity) {
    return ftdi_set_line_property(Ftdi(context), static_cast<ftdi_bits_type>(bits),
                                  static_cast<ftdi_stopbits_type>(stopBits),
                                  static_cast<ftdi_parity_type>(parity));
}

int LibFtdiBinding::SetFlowCtrl(Context context, int flowControl) {
    return ftdi_setflowctrl(Ftdi(context), flowControl);
}

int LibFtdiBinding::SetFlowCtrlXonXoff(Context context, unsigned char xon, unsigned char xoff) {
    return ftdi_setflowctrl_xonxoff(Ftdi(context), xon, xoff);
}

int LibFtdiBinding::SetDtr(Context context, int state) {
    return ftdi_setdtr(Ftdi(context), state);
}

int LibFtdiBinding::SetRts(Context context, int state) {
    return ftdi_setrts(Ftdi(context), state);
}

int LibFtdiBinding::ReadData(Context context, unsigned char* buffer, int size) {
    ftdi_context* ftdi = Ftdi(context);
    if (ftdi == nullptr || size <= 0) return ftdi_read_data(ftdi, buffer, size);
    // ftdi_read_data asks the chip again as long as every answer carries bytes: while a long
    // answer trickles in at 9600 baud, one call would last until `size` bytes are there (half a
    // second for 512) and the window would wait that long. So the chip is asked once a call:
    // what libftdi1 has kept from its last transfer is taken from there, else one byte is asked
    // for, which takes one transfer, and whatever else that transfer brought is kept by
    // libftdi1 and taken from there too.
    if (ftdi->readbuffer_remaining == 0) {
        const int first = ftdi_read_data(ftdi, buffer, 1);
        if (first <= 0 || size == 1 || ftdi->readbuffer_remaining == 0) return first;
        ++buffer;
        --size;
        const int kept = static_cast<int>(
            std::min<unsigned>(ftdi->readbuffer_remaining, static_cast<unsigned>(size)));
        const int more = ftdi_read_data(ftdi, buffer, kept);
        return more < 0 ? first : first + more;
    }
    const int kept = static_cast<int>(
        std::min<unsigned>(ftdi->readbuffer_remaining, static_cast<unsigned>(size)));
    return ftdi_read_data(ftdi, buffer, kept);
}

int LibFtdiBinding::WriteData(Context context, const unsigned char* data, int size) {
    return ftdi_write_data(Ftdi(context), data, size);
}

}  // namespace nuv
