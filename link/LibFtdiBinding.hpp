#pragma once

#include <string>
#include <vector>

#include "link/LibFtdi.hpp"

struct ftdi_context;
struct libusb_device;

namespace nuv {

// The LibFtdi calls passed to libftdi1 (and libusb, its USB layer), and the looks at the system
// through sysfs and /proc. Linux only; nothing here decides anything.
class LibFtdiBinding final : public LibFtdi {
  public:
    LibFtdiBinding();
    ~LibFtdiBinding() override;
    LibFtdiBinding(const LibFtdiBinding&) = delete;
    LibFtdiBinding& operator=(const LibFtdiBinding&) = delete;

    // False when libftdi1 could not start (no USB support at all): nothing will be found.
    bool Ok() const { return listing_ != nullptr; }

    int FindAll(std::vector<UsbDevice>& found) override;
    int GetStrings(std::size_t device, std::string& description, std::string& serial) override;
    Holder HolderOf(std::size_t device, int channel) override;
    std::string TtyOf(std::size_t device, int channel) override;
    Context New() override;
    void Free(Context context) override;
    int SetInterface(Context context, int interface) override;
    int OpenDev(Context context, std::size_t device) override;
    int Close(Context context) override;
    int SetLatencyTimer(Context context, unsigned char ms) override;
    int SetBaudrate(Context context, int baud) override;
    int SetLineProperty(Context context, int bits, int stopBits, int parity) override;
    int SetFlowCtrl(Context context, int flowControl) override;
    int SetFlowCtrlXonXoff(Context context, unsigned char xon, unsigned char xoff) override;
    int SetDtr(Context context, int state) override;
    int SetRts(Context context, int state) override;
    int ReadData(Context context, unsigned char* buffer, int size) override;
    int WriteData(Context context, const unsigned char* data, int size) override;

  private:
    void ReleaseList();
    // The sysfs folder of a channel's USB interface; empty when the device is not configured.
    std::string InterfaceFolder(std::size_t device, int channel) const;

    ftdi_context* listing_ = nullptr;
    libusb_device** list_ = nullptr;
    std::vector<libusb_device*> devices_;
    std::vector<std::string> sysfsNames_;  // "1-1.4"
};

}  // namespace nuv
