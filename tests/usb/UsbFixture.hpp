#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/CableDriver.hpp"
#include "model/TimerDriver.hpp"
#include "model/Tool.hpp"
#include "sim/ModuleSimulator.hpp"
#include "tests/app/RecordingDialogs.hpp"
#include "tests/link/LinkFixture.hpp"
#include "usbemu/EmulatedUsb.hpp"

namespace nuv::test {

// The runs of many seconds of real time (the memory dump, ten cyclic readings) are left to the
// plain build: under the sanitizers they would double the suite's time, and what they move
// through libusb (control requests, bulk transfers, program-mode blocks) the shorter tests move
// too.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLongRunsSkipped = true;
#else
inline constexpr bool kLongRunsSkipped = false;
#endif

// The control requests of a log that move DTR or RTS (SIO_SET_MODEM_CTRL), by their values.
inline std::vector<std::uint16_t> ModemControl(const std::vector<usbemu::ControlRecord>& log) {
    std::vector<std::uint16_t> values;
    for (const usbemu::ControlRecord& record : log) {
        if (record.setup.requestType == 0x40 &&
            record.setup.request == usbemu::sio::kSetModemCtrl) {
            values.push_back(record.setup.value);
        }
    }
    return values;
}

// A request as "type request value index", e.g. "40 03 4138 0000", for comparing with the
// sequences written out in the tests.
inline std::string Describe(const usbemu::SetupPacket& s) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X %04X %04X", s.requestType, s.request, s.value,
                  s.index);
    return text;
}

// The vendor requests of a log from `from` on, described.
inline std::vector<std::string> VendorRequests(const std::vector<usbemu::ControlRecord>& log,
                                               std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < log.size(); ++i) {
        if ((log[i].setup.requestType & 0x60) == 0x40) out.push_back(Describe(log[i].setup));
    }
    return out;
}

// The emulated USB with one FT232R ("ORNEVA NUV", "NUV13001") whose far end is the simulated
// module, and the tool on the drivers of a real cable (libftdi1 through libusb, behind the port
// keeper), on the machine's clock: everything below the tool's driver is the real code.
class EmulatedCableTest : public ::testing::Test {
  protected:
    static constexpr std::int64_t kMs = 1'000'000;

    EmulatedCableTest() {
        if (!usbemu::EmulatedUsb::Preloaded()) {
            ADD_FAILURE() << "runs only under umockdev-wrapper";
        }
        module = cable.WithChip(
            [](usbemu::Ft232rChip& chip) { return &sim::AttachModuleSimulator(chip.Wire()); });
    }
    ~EmulatedCableTest() override {
        // The tool and its libusb go first: nothing may ask the chip once the testbed is gone.
        timers.reset();
        tool.reset();
        cables.reset();
    }

    // Makes the tool on the cables plugged so far; libusb starts here.
    void MakeTool() {
        cables = std::make_unique<CableDriver>(clock, std::vector<ExplicitPort>{}, true);
        tool = std::make_unique<Tool>(cables->Api(), clock, pump, dialogs);
    }
    void Start() {
        MakeTool();
        timers = std::make_unique<TimerDriver>(
            clock, std::vector<Timer*>{&tool->panel.Timer1, &tool->panel.Timer3},
            [this](Timer& t) { tool->Tick(t); });
        tool->FormCreate();
    }
    // Closes the window and ends the tool with its libusb, as the program's end does.
    void Stop() {
        tool->FormClose();
        timers.reset();
        tool.reset();
        cables.reset();
    }
    // Lets `ms` of real time pass with the window's timers firing as they fall due.
    void RunFor(std::int64_t ms) {
        const std::int64_t end = clock.NowNs() + ms * kMs;
        while (true) {
            const auto next = timers->NextDueNs();
            if (!next || *next > end) break;
            clock.SleepNs(*next - clock.NowNs());
            timers->Poll();
        }
        clock.SleepNs(end - clock.NowNs());
    }
    void Click(Control& control) { tool->Click(control); }

    // Runs `read` on the module while the chip stands still.
    template <class Read>
    auto Module(Read&& read) {
        return cable.WithChip([&](usbemu::Ft232rChip&) { return read(*module); });
    }
    std::vector<std::uint16_t> ModemControl() { return test::ModemControl(cable.Log()); }
    // The modem-control requests that name DTR (0x0100 set), or RTS (0x0200 set).
    std::vector<std::uint16_t> ModemControlOf(std::uint16_t line) {
        std::vector<std::uint16_t> values = ModemControl();
        std::erase_if(values, [line](std::uint16_t v) { return (v & line) == 0; });
        return values;
    }

    SystemClock clock;
    usbemu::EmulatedUsb usb{clock};
    usbemu::Cable& cable = usb.Plug();
    sim::ModuleSimulator* module = nullptr;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    std::unique_ptr<CableDriver> cables;
    std::unique_ptr<Tool> tool;
    std::unique_ptr<TimerDriver> timers;
};

}  // namespace nuv::test
