#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nuv {

// The libftdi1 calls that the libftdi1 driver makes, one method a call, with libftdi1's own
// arguments and return values (0 or a count for success, a negative code for a failure), plus
// the two looks at the system that libftdi1 does not offer: who holds a device, and its kernel
// tty. The real binding (LibFtdiBinding) passes each call to libftdi1; tests put a fake here.
class LibFtdi {
  public:
    virtual ~LibFtdi() = default;

    // libftdi1's values (enum ftdi_interface, ftdi_bits_type, ftdi_stopbits_type,
    // ftdi_parity_type and the flow-control masks), checked against ftdi.h by the binding.
    static constexpr int kInterfaceA = 1;
    static constexpr int kBits7 = 7;
    static constexpr int kBits8 = 8;
    static constexpr int kStopBit1 = 0;
    static constexpr int kStopBit2 = 2;
    static constexpr int kParityNone = 0;
    static constexpr int kParitySpace = 4;
    static constexpr int kDisableFlowCtrl = 0x0000;
    static constexpr int kRtsCtsHs = 0x0100;
    static constexpr int kDtrDsrHs = 0x0200;
    // ftdi_read_data and ftdi_write_data: the context has no open device.
    static constexpr int kDeviceUnavailable = -666;

    // One USB device of the FTDI vendor (0x0403), as the last FindAll saw it.
    struct UsbDevice {
        std::string location;  // "usb:BUS-PORTS", e.g. "usb:1-1.4": the socket it is in
        int channels = 1;      // serial interfaces: 1, 2 (FT2232) or 4 (FT4232)
    };
    // The FTDI devices on the USB, every product id: their number, or as ftdi_usb_find_all
    // -3 (out of memory), -5 (the device list failed), -6 (a device descriptor failed).
    virtual int FindAll(std::vector<UsbDevice>& found) = 0;
    // ftdi_usb_get_strings on device `device` of the last FindAll: 0, or -1 (wrong arguments),
    // -4 (unable to open the device: no access to its node), -8 (description failed),
    // -9 (serial number failed), -11 (device descriptor failed).
    virtual int GetStrings(std::size_t device, std::string& description, std::string& serial) = 0;

    // Who holds a serial channel (0 for A) of a device of the last FindAll.
    enum class Holder {
        None,            // no driver: free
        KernelTty,       // the kernel's serial driver, its tty closed
        KernelTtyInUse,  // the kernel's serial driver, its tty open in another program
        UsbProgram,      // claimed through the USB device node (libftdi1, libusb): by some program
    };
    virtual Holder HolderOf(std::size_t device, int channel) = 0;
    // The kernel tty of a channel ("/dev/ttyUSB0"); empty when the kernel's driver is not bound.
    virtual std::string TtyOf(std::size_t device, int channel) = 0;

    // An ftdi_context; 0 names none.
    using Context = std::uintptr_t;
    // ftdi_new, set to give the device back to the kernel's serial driver when it is closed; 0
    // when there is no memory.
    virtual Context New() = 0;
    virtual void Free(Context context) = 0;                        // ftdi_free
    virtual int SetInterface(Context context, int interface) = 0;  // ftdi_set_interface
    // ftdi_usb_open_dev on device `device` of the last FindAll: 0, or -3 (unable to configure),
    // -4 (unable to open), -5 (unable to claim), -6 (reset failed), -7 (set baud rate failed),
    // -8 (context invalid), -9/-10/-12 (descriptors), -11 (detaching the kernel driver failed).
    virtual int OpenDev(Context context, std::size_t device) = 0;
    virtual int Close(Context context) = 0;                              // ftdi_usb_close
    virtual int SetLatencyTimer(Context context, unsigned char ms) = 0;  // ftdi_set_latency_timer
    virtual int SetBaudrate(Context context, int baud) = 0;              // ftdi_set_baudrate
    virtual int SetLineProperty(Context context, int bits, int stopBits,
                                int parity) = 0;                    // ftdi_set_line_property
    virtual int SetFlowCtrl(Context context, int flowControl) = 0;  // ftdi_setflowctrl
    virtual int SetFlowCtrlXonXoff(Context context, unsigned char xon,
                                   unsigned char xoff) = 0;  // ftdi_setflowctrl_xonxoff
    virtual int SetDtr(Context context, int state) = 0;      // ftdi_setdtr
    virtual int SetRts(Context context, int state) = 0;      // ftdi_setrts
    // ftdi_read_data: the bytes that came within about one latency period (0 for none), or a
    // negative code (kDeviceUnavailable, or libusb's).
    virtual int ReadData(Context context, unsigned char* buffer, int size) = 0;
    // ftdi_write_data: the bytes taken, or a negative code.
    virtual int WriteData(Context context, const unsigned char* data, int size) = 0;
};

}  // namespace nuv
