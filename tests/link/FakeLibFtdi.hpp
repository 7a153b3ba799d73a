#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "link/Clock.hpp"
#include "link/LibFtdi.hpp"

namespace nuv::test {

// libftdi1 as a script: devices with their texts and holders, return codes to fail any call
// with, a record of every call, and bytes that the chip receives at given times. A fetch with
// nothing received lasts one latency period (1 ms) on the virtual clock, or until bytes come.
class FakeLibFtdi final : public LibFtdi {
  public:
    struct Device {
        std::string location;
        std::string description;
        std::string serial;
        int channels = 1;
        int stringsCode = 0;
        Holder holder = Holder::None;  // of every channel, while this program has it closed
        std::string tty;
    };

    explicit FakeLibFtdi(VirtualClock& clock) : clock_(clock) {}

    std::vector<Device> devices;
    int findCode = 0;  // below 0: FindAll fails with it
    // Calls by name ("OpenDev", "SetBaudrate", ...) that return this code instead of 0.
    std::map<std::string, int> failing;
    // Every call with its arguments, in order ("SetBaudrate 9600").
    std::vector<std::string> calls;
    // The most a write takes at once (0: all; below 0: nothing).
    int writeTakes = 0;
    std::vector<std::uint8_t> written;

    // Bytes that reach the chip's receive buffer at `atNs`.
    void Arrive(std::int64_t atNs, std::vector<std::uint8_t> bytes) {
        for (std::uint8_t byte : bytes) arriving_.push_back({atNs, byte});
    }
    std::size_t OpenContexts() const {
        return static_cast<std::size_t>(std::count_if(contexts_.begin(), contexts_.end(),
                                                      [](const auto& c) { return c.second.open; }));
    }
    std::size_t LiveContexts() const { return contexts_.size(); }
    std::size_t CallsOf(const std::string& name) const {
        return static_cast<std::size_t>(std::count_if(
            calls.begin(), calls.end(), [&](const auto& c) { return c.rfind(name, 0) == 0; }));
    }

    int FindAll(std::vector<UsbDevice>& found) override {
        Log("FindAll");
        found.clear();
        if (findCode < 0) return findCode;
        for (const Device& device : devices) found.push_back({device.location, device.channels});
        return static_cast<int>(found.size());
    }
    int GetStrings(std::size_t device, std::string& description, std::string& serial) override {
        Log("GetStrings " + std::to_string(device));
        const Device& d = devices.at(device);
        if (d.stringsCode == -4) return -4;
        description = d.description;
        serial = d.serial;
        return d.stringsCode;
    }
    Holder HolderOf(std::size_t device, int channel) override {
        for (const auto& [id, context] : contexts_) {
            if (context.open && context.device == device && context.interface == channel + 1) {
                return Holder::UsbProgram;  // claimed by this program
            }
        }
        return devices.at(device).holder;
    }
    std::string TtyOf(std::size_t device, int /*channel*/) override {
        return devices.at(device).tty;
    }

    Context New() override {
        Log("New");
        if (failing.count("New") != 0) return 0;
        contexts_[next_] = {};
        return next_++;
    }
    void Free(Context context) override {
        Log("Free");
        contexts_.erase(context);
    }
    int SetInterface(Context context, int interface) override {
        contexts_.at(context).interface = interface;
        return Code("SetInterface " + std::to_string(interface));
    }
    int OpenDev(Context context, std::size_t device) override {
        const int code = Code("OpenDev " + std::to_string(device));
        if (code == 0) {
            contexts_.at(context).open = true;
            contexts_.at(context).device = device;
        }
        return code;
    }
    int Close(Context context) override {
        contexts_.at(context).open = false;
        return Code("Close");
    }
    int SetLatencyTimer(Context, unsigned char ms) override {
        return Code("SetLatencyTimer " + std::to_string(ms));
    }
    int SetBaudrate(Context, int baud) override {
        return Code("SetBaudrate " + std::to_string(baud));
    }
    int SetLineProperty(Context, int bits, int stopBits, int parity) override {
        return Code("SetLineProperty " + std::to_string(bits) + " " + std::to_string(stopBits) +
                    " " + std::to_string(parity));
    }
    int SetFlowCtrl(Context, int flowControl) override {
        return Code("SetFlowCtrl " + std::to_string(flowControl));
    }
    int SetFlowCtrlXonXoff(Context, unsigned char xon, unsigned char xoff) override {
        return Code("SetFlowCtrlXonXoff " + std::to_string(xon) + " " + std::to_string(xoff));
    }
    int SetDtr(Context, int state) override { return Code("SetDtr " + std::to_string(state)); }
    int SetRts(Context, int state) override { return Code("SetRts " + std::to_string(state)); }

    int ReadData(Context, unsigned char* buffer, int size) override {
        if (const int code = Code("ReadData"); code != 0) return code;
        const std::int64_t now = clock_.NowNs();
        if (Due(now) == 0) {
            // The chip answers after its latency period, or as soon as bytes come.
            std::int64_t until = now + 1'000'000;
            if (!arriving_.empty()) until = std::min(until, arriving_.front().atNs);
            clock_.AdvanceNs(until - now);
        }
        int count = 0;
        while (count < size && Due(clock_.NowNs()) > 0) {
            buffer[count++] = arriving_.front().value;
            arriving_.pop_front();
        }
        return count;
    }
    int WriteData(Context, const unsigned char* data, int size) override {
        if (const int code = Code("WriteData " + std::to_string(size)); code != 0) return code;
        const int taken = writeTakes < 0 ? 0 : writeTakes > 0 ? std::min(size, writeTakes) : size;
        written.insert(written.end(), data, data + taken);
        return taken;
    }

  private:
    struct FakeContext {
        bool open = false;
        std::size_t device = 0;
        int interface = 0;
    };
    struct Timed {
        std::int64_t atNs;
        std::uint8_t value;
    };

    void Log(const std::string& call) { calls.push_back(call); }
    int Code(const std::string& call) {
        Log(call);
        const auto found = failing.find(call.substr(0, call.find(' ')));
        return found == failing.end() ? 0 : found->second;
    }
    std::size_t Due(std::int64_t now) const {
        return static_cast<std::size_t>(std::count_if(
            arriving_.begin(), arriving_.end(), [now](const Timed& t) { return t.atNs <= now; }));
    }

    VirtualClock& clock_;
    std::map<Context, FakeContext> contexts_;
    Context next_ = 1;
    std::deque<Timed> arriving_;
};

}  // namespace nuv::test
