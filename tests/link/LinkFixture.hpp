#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageLog.hpp"
#include "link/UsbLink.hpp"
#include "model/DeviceGrid.hpp"
#include "model/StringGrid.hpp"
#include "sim/ScriptedPeer.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::test {

// Bytes from a hex text such as "01 03 00 00 00 01 84 0A".
inline std::vector<std::uint8_t> Hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            ++pos;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(pos, 2), nullptr, 16)));
        pos += 2;
    }
    return bytes;
}

// A pump that counts its calls and can act in the middle of a wait, as a user's click would.
class ScriptedPump final : public EventPump {
  public:
    void ProcessEvents() override {
        ++calls;
        if (onEvents) onEvents();
    }
    std::size_t calls = 0;
    std::function<void()> onEvents;
};

// A link on the simulated driver and a virtual clock, with the window's device list.
class LinkTest : public ::testing::Test {
  protected:
    static constexpr std::int64_t kMs = 1'000'000;

    LinkTest() { link.SetDeviceListView(&grid); }

    sim::SimDevice& AddModule(const std::string& description = "ORNEVA NUV",
                              const std::string& serial = "NUV13001") {
        return driver.AddDevice(description, serial);
    }
    // A module device answered by a scripted peer, connected.
    sim::ScriptedPeer& ConnectScripted() {
        auto peer = std::make_shared<sim::ScriptedPeer>();
        AddModule().AttachPeer(peer);
        EXPECT_EQ(link.ConnectModule(), result::Ok);
        return *peer;
    }
    std::string Row(std::size_t row) const {
        return deviceList.Cell(0, row) + "|" + deviceList.Cell(1, row) + "|" +
               deviceList.Cell(2, row);
    }
    std::vector<std::uint8_t> Received(std::size_t count) const {
        const auto rx = link.RxBuffer();
        return {rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(count)};
    }

    VirtualClock clock;
    ScriptedPump pump;
    sim::SimFtdi driver{clock};
    MessageLog log;
    StringGrid deviceList{3, 11};
    DeviceGrid grid{deviceList};
    UsbLink link{driver, clock, pump, log};
};

}  // namespace nuv::test
