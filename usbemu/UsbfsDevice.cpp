#include "usbemu/UsbfsDevice.hpp"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nuv::usbemu {
namespace {

constexpr std::uint8_t kBulkIn = 0x81;
constexpr std::uint8_t kBulkOut = 0x02;
constexpr std::size_t kSetupSize = 8;
// The capabilities of a current kernel's usbfs that libusb asks for.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

}  // namespace

// The interface's driver link in sysfs, as the kernel shows who holds it.
void CableState::ShowDriver() {
    const std::string link = sysDir + interfacePath + "/driver";
    ::unlink(link.c_str());
    const char* driver = claimedElsewhere || claimedBy != nullptr ? "usbfs"
                         : kernelDriver                           ? "ftdi_sio"
                                                                  : nullptr;
    if (driver == nullptr || pulled) return;
    const std::string target = std::string("../../../../../../../bus/usb/drivers/") + driver;
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "usbemu: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
    }
}

void CableState::Finish(Urb urb, int status) {
    urb.Fields().status = status;
    urb.Fields().actual_length = static_cast<int>(urb.filled);
    done.push_back(urb);
}

// Moves time on: OUT transfers feed the chip as its buffer empties, the first IN transfer
// takes the packets that fall due.
void CableState::Service() {
    if (pulled) return;
    for (auto it = inFlight.begin(); it != inFlight.end();) {
        const usbdevfs_urb& fields = it->Fields();
        if (fields.type != USBDEVFS_URB_TYPE_BULK || fields.endpoint != kBulkOut) {
            ++it;
            continue;
        }
        it->filled += chip.TakeOut(
            std::span<const std::uint8_t>(it->Bytes() + it->filled, it->Length() - it->filled));
        if (it->filled < it->Length()) break;  // the chip's buffer is full: later ones wait
        Finish(*it, 0);
        it = inFlight.erase(it);
    }
    for (auto it = inFlight.begin(); it != inFlight.end(); ++it) {
        if (it->Fields().type != USBDEVFS_URB_TYPE_BULK || it->Fields().endpoint != kBulkIn) {
            continue;
        }
        // Only the first IN transfer takes packets; the chip sends on the host's IN tokens.
        while (auto packet = chip.NextInPacket()) {
            const std::size_t room = it->Length() - it->filled;
            const std::size_t count = std::min(room, packet->size());
            if (count > 0) std::memcpy(it->Bytes() + it->filled, packet->data(), count);
            it->filled += count;
            if (packet->size() < Ft232rChip::kPacketSize || it->filled >= it->Length()) {
                Finish(*it, count < packet->size() ? -EOVERFLOW : 0);
                inFlight.erase(it);
                break;
            }
        }
        break;
    }
}

int CableState::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    GError* error = nullptr;
    Urb urb;
    urb.client = client;
    urb.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (urb.urb == nullptr) {
        g_clear_error(&error);
        return EFAULT;
    }
    const usbdevfs_urb& fields = urb.Fields();
    if (fields.buffer_length > 0) {
        urb.buffer = umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer),
                                                 static_cast<gsize>(fields.buffer_length), &error);
        if (urb.buffer == nullptr) {
            g_clear_error(&error);
            urb.Release();
            return EFAULT;
        }
    }
    if (fields.type == USBDEVFS_URB_TYPE_CONTROL) {
        if (urb.Length() < kSetupSize) {
            urb.Release();
            return EINVAL;
        }
        const std::uint8_t* b = urb.Bytes();
        SetupPacket setup;
        setup.requestType = b[0];
        setup.request = b[1];
        setup.value = static_cast<std::uint16_t>(b[2] | (b[3] << 8));
        setup.index = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
        setup.length = static_cast<std::uint16_t>(b[6] | (b[7] << 8));
        const std::size_t room = urb.Length() - kSetupSize;
        const auto answer =
            chip.Control(setup, std::span<const std::uint8_t>(
                                    b + kSetupSize, std::min<std::size_t>(room, setup.length)));
        if (!answer) {
            Finish(urb, -EPIPE);  // a stall
        } else {
            const std::size_t count = std::min(room, answer->size());
            if (count > 0) std::memcpy(urb.Bytes() + kSetupSize, answer->data(), count);
            urb.filled = (setup.requestType & 0x80) != 0 ? count : setup.length;
            Finish(urb, 0);
        }
        return 0;
    }
    if (fields.type != USBDEVFS_URB_TYPE_BULK ||
        (fields.endpoint != kBulkIn && fields.endpoint != kBulkOut)) {
        urb.Release();
        return EINVAL;
    }
    inFlight.push_back(urb);
    Service();
    return 0;
}

// REAPURB(NDELAY): hands the client its next finished URB.
int CableState::Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    const auto mine = std::find_if(done.begin(), done.end(),
                                   [client](const Urb& urb) { return urb.client == client; });
    if (mine == done.end()) {
        ++emptyReaps;
        return pulled ? ENODEV : EAGAIN;
    }
    GError* error = nullptr;
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
    if (slot == nullptr) {
        g_clear_error(&error);
        return EFAULT;
    }
    Urb urb = *mine;
    done.erase(mine);
    umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
    g_object_unref(slot);
    // umockdev writes the URB and its buffer back when the request completes; the client's
    // copies are the ones that count from then on.
    urb.Release();
    return 0;
}

int CableState::Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = arg->client_addr;
    if (arg->data_len >= static_cast<gint>(sizeof(gulong)))
        std::memcpy(&address, arg->data, sizeof address);
    for (auto it = inFlight.begin(); it != inFlight.end(); ++it) {
        if (it->client == client && it->urb->client_addr == address) {
            Finish(*it, -ENOENT);
            inFlight.erase(it);
            return 0;
        }
    }
    return EINVAL;  // done already: the client reaps it
}

// The synchronous USBDEVFS_CONTROL.
long CableState::Control(UMockdevIoctlData* arg, int& err) {
    GError* error = nullptr;
    UMockdevIoctlData* transfer =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), &error);
    if (transfer == nullptr) {
        g_clear_error(&error);
        err = EFAULT;
        return -1;
    }
    const auto& t = *reinterpret_cast<usbdevfs_ctrltransfer*>(transfer->data);
    SetupPacket setup{t.bRequestType, t.bRequest, t.wValue, t.wIndex, t.wLength};
    UMockdevIoctlData* data = nullptr;
    if (t.wLength > 0) {
        data = umockdev_ioctl_data_resolve(transfer, offsetof(usbdevfs_ctrltransfer, data),
                                           t.wLength, &error);
        g_clear_error(&error);
    }
    const auto answer =
        chip.Control(setup, data == nullptr ? std::span<const std::uint8_t>()
                                            : std::span<const std::uint8_t>(data->data, t.wLength));
    long result = -1;
    if (!answer) {
        err = EPIPE;
    } else {
        const std::size_t count = std::min<std::size_t>(answer->size(), t.wLength);
        if (data != nullptr && count > 0) std::memcpy(data->data, answer->data(), count);
        result = (setup.requestType & 0x80) != 0 ? static_cast<long>(count) : t.wLength;
    }
    if (data != nullptr) g_object_unref(data);
    g_object_unref(transfer);
    return result;
}

long CableState::Handle(UMockdevIoctlClient* client, gulong request, UMockdevIoctlData* arg,
                        int& err) {
    ++requests;
    Service();
    const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
    if (pulled && !reap) {
        err = ENODEV;
        return -1;
    }
    GError* error = nullptr;
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, 4, &error);
            if (caps == nullptr) break;
            std::memcpy(caps->data, &kCapabilities, 4);
            g_object_unref(caps);
            return 0;
        }
        case USBDEVFS_SUBMITURB:
            err = Submit(client, arg);
            return err == 0 ? 0 : -1;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            err = Reap(client, arg);
            return err == 0 ? 0 : -1;
        case USBDEVFS_DISCARDURB:
            err = Discard(client, arg);
            return err == 0 ? 0 : -1;
        case USBDEVFS_CONTROL:
            return Control(arg, err);
        case USBDEVFS_GETDRIVER: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), &error);
            if (d == nullptr) break;
            auto& query = *reinterpret_cast<usbdevfs_getdriver*>(d->data);
            long result = 0;
            const char* name = query.interface != 0                       ? nullptr
                               : claimedElsewhere || claimedBy != nullptr ? "usbfs"
                               : kernelDriver                             ? "ftdi_sio"
                                                                          : nullptr;
            if (name == nullptr) {
                err = ENODATA;
                result = -1;
            } else {
                std::snprintf(query.driver, sizeof query.driver, "%s", name);
            }
            g_object_unref(d);
            return result;
        }
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), &error);
            if (d == nullptr) break;
            const auto& command = *reinterpret_cast<usbdevfs_ioctl*>(d->data);
            long result = 0;
            if (command.ifno != 0) {
                err = EINVAL;
                result = -1;
            } else if (command.ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
                if (!kernelDriver || claimedElsewhere || claimedBy != nullptr) {
                    err = ENODATA;
                    result = -1;
                } else {
                    kernelDriver = false;
                    ShowDriver();
                }
            } else if (command.ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
                if (!claimedElsewhere && claimedBy == nullptr) {
                    kernelDriver = true;
                    ShowDriver();
                }
            } else {
                err = ENOTTY;
                result = -1;
            }
            g_object_unref(d);
            return result;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, 4, &error);
            if (d == nullptr) break;
            unsigned int number = 0;
            std::memcpy(&number, d->data, 4);
            g_object_unref(d);
            if (number != 0) {
                err = EINVAL;
                return -1;
            }
            if (claimedElsewhere || (claimedBy != nullptr && claimedBy != client) ||
                (kernelDriver && claimedBy == nullptr)) {
                err = EBUSY;
                return -1;
            }
            claimedBy = client;
            ShowDriver();
            return 0;
        }
        case USBDEVFS_DISCONNECT_CLAIM: {
            // What libusb uses on a current kernel to detach the serial driver and claim in
            // one step: the driver goes unless it is the one named (EXCEPT_DRIVER "usbfs").
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_disconnect_claim), &error);
            if (d == nullptr) break;
            const auto& claim = *reinterpret_cast<usbdevfs_disconnect_claim*>(d->data);
            const bool named = std::strncmp(claim.driver, "ftdi_sio", sizeof claim.driver) == 0;
            const bool detach =
                kernelDriver &&
                ((claim.flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) != 0       ? named
                 : (claim.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) != 0 ? !named
                                                                                : true);
            const unsigned int number = claim.interface;
            g_object_unref(d);
            if (number != 0) {
                err = EINVAL;
                return -1;
            }
            if (claimedElsewhere || (claimedBy != nullptr && claimedBy != client)) {
                err = EBUSY;
                return -1;
            }
            if (detach) kernelDriver = false;
            if (kernelDriver) {
                err = EBUSY;
                return -1;
            }
            claimedBy = client;
            ShowDriver();
            return 0;
        }
        case USBDEVFS_RELEASEINTERFACE:
            if (claimedBy != client) {
                err = EINVAL;
                return -1;
            }
            claimedBy = nullptr;
            ShowDriver();
            return 0;
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
        case USBDEVFS_RESET:
            return 0;
        default:
            err = ENOTTY;
            return -1;
    }
    g_clear_error(&error);
    err = EFAULT;
    return -1;
}

// A client closed its file: its transfers go, and so does its claim, as the kernel does.
void CableState::Vanished(UMockdevIoctlClient* client) {
    for (auto* queue : {&inFlight, &done}) {
        for (auto it = queue->begin(); it != queue->end();) {
            if (it->client != client) {
                ++it;
                continue;
            }
            it->Release();
            it = queue->erase(it);
        }
    }
    if (claimedBy == client) {
        claimedBy = nullptr;
        ShowDriver();
    }
}

void CableState::Release() {
    for (Urb& urb : inFlight) urb.Release();
    for (Urb& urb : done) urb.Release();
    inFlight.clear();
    done.clear();
}

namespace {

gboolean OnTick(gpointer data) {
    auto& state = **static_cast<std::shared_ptr<CableState>*>(data);
    std::lock_guard lock(state.mutex);
    if (state.closing) return G_SOURCE_REMOVE;
    state.Service();
    return G_SOURCE_CONTINUE;
}

void DropShared(gpointer data) {
    delete static_cast<std::shared_ptr<CableState>*>(data);
}

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& shared = *static_cast<std::shared_ptr<CableState>*>(data);
    CableState& state = *shared;
    int err = 0;
    long result = 0;
    {
        std::lock_guard lock(state.mutex);
        if (state.ticker == nullptr && !state.closing) {
            // A clock on the handler's own thread moves time on between the client's requests:
            // packets fall due at the latency period, the UART empties the OUT buffer.
            state.ticker = g_timeout_source_new(1);
            g_source_set_callback(state.ticker, OnTick, new std::shared_ptr<CableState>(shared),
                                  DropShared);
            g_source_attach(state.ticker, g_main_context_get_thread_default());
        }
        const gulong request = umockdev_ioctl_client_get_request(client);
        result = state.Handle(client, request, umockdev_ioctl_client_get_arg(client), err);
        // NUV_USBEMU_TRACE=1: every usbfs request but the empty reaps, for finding out what
        // libusb asks of the device.
        static const bool trace = std::getenv("NUV_USBEMU_TRACE") != nullptr;
        if (trace && !(request == USBDEVFS_REAPURBNDELAY && err == EAGAIN)) {
            std::fprintf(stderr, "usbemu %s: ioctl 'U' %lu -> %ld %s\n", state.devNode.c_str(),
                         static_cast<unsigned long>(_IOC_NR(request)), result,
                         err != 0 ? std::strerror(err) : "");
        }
    }
    umockdev_ioctl_client_complete(client, result, err);
    return TRUE;
}

void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    CableState& state = **static_cast<std::shared_ptr<CableState>*>(data);
    std::lock_guard lock(state.mutex);
    state.Vanished(client);
}

}  // namespace

void ServeDeviceFile(const std::shared_ptr<CableState>& state) {
    g_signal_connect_data(
        state->handler, "client-vanished", G_CALLBACK(OnVanished),
        new std::shared_ptr<CableState>(state), [](gpointer data, GClosure*) { DropShared(data); },
        GConnectFlags{});
    g_signal_connect_data(
        state->handler, "handle-ioctl", G_CALLBACK(OnIoctl), new std::shared_ptr<CableState>(state),
        [](gpointer data, GClosure*) { DropShared(data); }, GConnectFlags{});
}

}  // namespace nuv::usbemu
