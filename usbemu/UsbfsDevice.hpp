#pragma once

#include <glib.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "link/Clock.hpp"
#include "usbemu/Ft232rChip.hpp"

namespace nuv::usbemu {

// One transfer request (URB) of the client: its usbdevfs_urb and its buffer, as umockdev
// copied them, finished later by setting status and actual_length and filling the buffer.
struct Urb {
    UMockdevIoctlClient* client = nullptr;  // the open file it came through
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;
    std::size_t filled = 0;

    usbdevfs_urb& Fields() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
    std::size_t Length() const {
        return static_cast<std::size_t>(buffer == nullptr ? 0 : buffer->data_len);
    }
    std::uint8_t* Bytes() const { return buffer == nullptr ? nullptr : buffer->data; }
    void Release() {
        if (buffer != nullptr) g_object_unref(buffer);
        if (urb != nullptr) g_object_unref(urb);
        buffer = nullptr;
        urb = nullptr;
    }
};

// The state of one emulated cable and its answers to the usbfs requests of its device file, as
// umockdev hands them to the handler on its own thread. Every member is guarded by `mutex`.
struct CableState {
    CableState(ChipIdentity identity, Clock& clock) : chip(std::move(identity), clock) {}

    std::mutex mutex;
    Ft232rChip chip;
    UMockdevTestbed* testbed = nullptr;  // not owned
    std::string sysfsName;
    std::string devicePath;     // /devices/.../1-1
    std::string interfacePath;  // /devices/.../1-1/1-1:1.0
    std::string devNode;
    std::string sysDir;  // the testbed's sys folder
    UMockdevIoctlBase* handler = nullptr;
    GSource* ticker = nullptr;
    bool closing = false;
    bool pulled = false;
    bool claimedElsewhere = false;
    UMockdevIoctlClient* claimedBy = nullptr;  // the open file that claimed the interface
    bool kernelDriver = true;                  // ftdi_sio bound to the interface
    std::deque<Urb> inFlight;
    std::deque<Urb> done;
    std::size_t requests = 0;
    std::size_t emptyReaps = 0;

    // The interface's driver link in sysfs, as the kernel shows who holds it.
    void ShowDriver();
    // Ends a URB with `status` and queues it for its client to reap.
    void Finish(Urb urb, int status);

    // Moves time on: OUT transfers feed the chip as its buffer empties, the first IN transfer
    // takes the packets that fall due.
    void Service();
    // The requests, each answering 0 or an errno: SUBMITURB (a control transfer is answered at
    // once, a bulk one waits for the chip), REAPURB(NDELAY) (the client's next finished URB),
    // DISCARDURB (a URB under way ends with -ENOENT).
    int Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    int Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    int Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    // The synchronous USBDEVFS_CONTROL: the bytes moved, or -1 with `err`.
    long Control(UMockdevIoctlData* arg, int& err);
    // Any request of the device file: its result, and `err` for a failure.
    long Handle(UMockdevIoctlClient* client, gulong request, UMockdevIoctlData* arg, int& err);
    // A client closed its file: its transfers go, and so does its claim, as the kernel does.
    void Vanished(UMockdevIoctlClient* client);
    // Drops every URB (at the end of the testbed).
    void Release();
};

// Serves the cable's device file: connects its umockdev handler's signals to the state, and
// starts the timer that moves time on between requests at the first request.
void ServeDeviceFile(const std::shared_ptr<CableState>& state);

}  // namespace nuv::usbemu
