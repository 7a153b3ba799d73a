// The bytes of a reading, a memory dump and a firmware update cross the emulated chip's bulk
// endpoints through libusb and libftdi1 whole, with the chip's status bytes taken off.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware/CarriedFirmware.hpp"
#include "link/LibFtdiBinding.hpp"
#include "protocol/BootLoaderProtocol.hpp"
#include "tests/usb/UsbFixture.hpp"

namespace nuv::test {
namespace {

using DataTest = EmulatedCableTest;

TEST_F(DataTest, AReadingAt9600BringsAllRegistersExactly) {
    Start();
    ASSERT_TRUE(tool->link.IsOpen()) << tool->log.Text();
    const std::int64_t start = clock.NowNs();
    // The longest time the window went without its events during the reading.
    std::int64_t last = start;
    std::int64_t longestGap = 0;
    pump.onEvents = [&] {
        longestGap = std::max(longestGap, clock.NowNs() - last);
        last = clock.NowNs();
    };
    Click(tool->panel.btn3);  // "Read Temperatures"
    const std::int64_t took = clock.NowNs() - start;
    pump.onEvents = nullptr;
    ASSERT_TRUE(tool->measure.lastReading.has_value()) << tool->log.Text();

    // The module answered once; every register the tool holds is the one the module sent at
    // the time it answered.
    const auto [registers, answeredAt] = Module([](sim::ModuleSimulator& m) {
        return std::make_pair(m.RegisterCount(), m.RequestTimesNs().back());
    });
    ASSERT_EQ(registers, 101U);
    const TemperatureReading& reading = *tool->measure.lastReading;
    ASSERT_EQ(reading.sensors.size(), 100U);
    for (std::size_t r = 0; r < 100; ++r) {
        EXPECT_EQ(reading.sensors[r],
                  Module([&](sim::ModuleSimulator& m) { return m.Register(r, answeredAt); }))
            << r;
    }
    EXPECT_EQ(reading.module,
              Module([&](sim::ModuleSimulator& m) { return m.Register(100, answeredAt); }));
    // 8 request bytes and 5 + 2 * 101 answer bytes of 10 bits at 9600 baud: 223.96 ms on the
    // wire. The time through the emulation is reported, not judged: it says nothing of a chip.
    const double wireMs = (8 + 5 + 2 * 101) * 10 * 1000.0 / 9600;
    RecordProperty("reading_ms", std::to_string(took / 1e6));
    RecordProperty("reading_over_wire_time", std::to_string(took / 1e6 / wireMs));
    RecordProperty("longest_wait_without_events_ms", std::to_string(longestGap / 1e6));
    std::printf(
        "reading: %.1f ms, %.3f times its wire time; the window waited up to %.1f ms for "
        "its events\n",
        took / 1e6, took / 1e6 / wireMs, longestGap / 1e6);
}

TEST_F(DataTest, OneFetchAsksTheChipOnceWhileAnAnswerTrickles) {
    // libftdi1's read goes on asking the chip while every answer carries bytes; at 9600 baud
    // a long answer would hold one call until the buffer is full. The binding asks once a call.
    LibFtdiBinding ftdi;
    std::vector<LibFtdi::UsbDevice> found;
    ASSERT_EQ(ftdi.FindAll(found), 1);
    const LibFtdi::Context context = ftdi.New();
    ASSERT_NE(context, 0U);
    ASSERT_EQ(ftdi.OpenDev(context, 0), 0);
    ASSERT_EQ(ftdi.SetLatencyTimer(context, 1), 0);
    ASSERT_EQ(ftdi.SetBaudrate(context, 9600), 0);
    std::vector<std::uint8_t> answer(300);
    for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(i);
    const std::int64_t sentNs = clock.NowNs();
    cable.WithChip([&](usbemu::Ft232rChip& chip) {
        chip.Wire().Send(answer, sentNs);  // 312 ms on the wire
        return 0;
    });
    clock.SleepMs(30);
    auto asked = [&] { return cable.RequestCount() - cable.EmptyReapCount(); };
    const std::size_t before = asked();
    std::vector<std::uint8_t> got(512);
    const int first = ftdi.ReadData(context, got.data(), 512);
    EXPECT_LE(asked() - before, 2U);  // one transfer: its submission and its reaping
    ASSERT_GT(first, 0);
    // No more than had crossed the wire (1,041,666 ns a byte at 9600 baud) when the call
    // returned: what one transfer found, not a wait for the whole answer.
    const std::int64_t crossed = (clock.NowNs() - sentNs) / 1'041'666 + 1;
    EXPECT_LE(first, crossed);
    // The rest comes with the calls that follow, whole and in order.
    std::size_t total = static_cast<std::size_t>(first);
    const std::int64_t end = clock.NowNs() + 1000 * kMs;
    while (total < answer.size() && clock.NowNs() < end) {
        const int more = ftdi.ReadData(context, got.data() + total, 512 - static_cast<int>(total));
        ASSERT_GE(more, 0);
        total += static_cast<std::size_t>(more);
    }
    got.resize(total);
    EXPECT_EQ(got, answer);
    ftdi.Close(context);
    ftdi.Free(context);
}

TEST_F(DataTest, AMemoryDumpIsTheModulesMemory) {
    if (kLongRunsSkipped) GTEST_SKIP() << "a long real-time run: left to the plain build";
    Start();
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("nuv-usb-memory-" + std::to_string(::getpid()) + ".dat");
    dialogs.savePath = file.string();
    Click(tool->panel.Button38);  // "PROGRAM MODE"
    ASSERT_TRUE(Module([](sim::ModuleSimulator& m) { return m.programMode; })) << tool->log.Text();
    Click(tool->panel.Button42);  // "Read EEPROM"
    const auto memory = Module([](sim::ModuleSimulator& m) { return m.Memory(); });
    EXPECT_EQ(tool->config.memoryImage.valid, 4096U) << tool->log.Text();
    EXPECT_EQ(tool->config.memoryImage.bytes, memory);
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> saved{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(saved.size(), 4096U);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), memory.begin(), [](char a, std::uint8_t b) {
        return static_cast<std::uint8_t>(a) == b;
    }));
    std::filesystem::remove(file);
}

TEST_F(DataTest, AFirmwareUpdateAt115200StartedByTheDtrPulseIsVerified) {
    Module([](sim::ModuleSimulator& m) { return m.firmwareBuild = 0x47; });
    Start();
    const std::size_t before = cable.Log().size();
    Click(tool->panel.btn1);  // "Update Firmware"
    EXPECT_NE(tool->log.Text().find("Writing Firmware... OK"), std::string::npos)
        << tool->log.Text();

    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.bootLoader.Verdict(); }),
              bootloader::kVerified);
    const std::vector<std::uint8_t>& image = CarriedFirmwareImage().bytes;
    const std::vector<std::uint8_t> flash =
        Module([](sim::ModuleSimulator& m) { return m.bootLoader.Flash(); });
    ASSERT_GE(flash.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.firmwareBuild; }), 0x48);
    // The boot loader was started by the chip's DTR pulse, and only by it; RTS was never
    // raised (a program-mode entry after the update may drop it, as its button does).
    EXPECT_EQ(ModemControlOf(0x0100), (std::vector<std::uint16_t>{0x0101, 0x0100}));
    for (const std::uint16_t value : ModemControlOf(0x0200)) EXPECT_EQ(value, 0x0200);
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.dtrPulses; }), 1U);
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.rtsChanges; }), 0U);
    // 115200 is 3 MHz / 26 (0x001A; 115385 baud), and the link went back to 9600 after.
    const std::vector<std::string> sent = VendorRequests(cable.Log(), before);
    const auto fast = std::find(sent.begin(), sent.end(), "40 03 001A 0000");
    ASSERT_NE(fast, sent.end());
    EXPECT_NE(std::find(fast, sent.end(), "40 03 4138 0000"), sent.end());
    EXPECT_EQ(cable.WithChip([](usbemu::Ft232rChip& chip) { return chip.BaudRate(); }), 9600U);
}

}  // namespace
}  // namespace nuv::test
