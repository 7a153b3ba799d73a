// DTR resets the module and RTS switches its USB-RS485 pass-through, so only the commands made
// for them may move the lines. The chip's request log tells, request by request, what the real
// libftdi1 and libusb sent on the tool's behalf.
#include "tests/usb/UsbFixture.hpp"

namespace nuv::test {
namespace {

using ControlLinesTest = EmulatedCableTest;

TEST_F(ControlLinesTest, StartUpReadingsListingProgramModeAndCloseNeverMoveALine) {
    if (kLongRunsSkipped) GTEST_SKIP() << "a long real-time run: left to the plain build";
    Start();
    ASSERT_TRUE(tool->link.IsOpen()) << tool->log.Text();
    // The open as libftdi1 and the driver make it: a reset of interface A's buffers, 9600 baud
    // (libftdi1's own default), the latency timer at 1 ms, then the link's 9600 8N1 without flow
    // control. 9600 is 3 MHz / 312.5: divisor 312 (0x138) with the half step (0x4000).
    EXPECT_EQ(VendorRequests(cable.Log()), (std::vector<std::string>{
                                               "40 00 0000 0001",
                                               "40 03 4138 0000",
                                               "40 09 0001 0001",
                                               "40 03 4138 0000",
                                               "40 04 0008 0001",
                                               "40 02 0000 0001",
                                           }));
    EXPECT_EQ(cable.WithChip([](usbemu::Ft232rChip& chip) { return chip.LatencyMs(); }), 1);
    EXPECT_EQ(cable.WithChip([](usbemu::Ft232rChip& chip) { return chip.BaudRate(); }), 9600U);

    MainPanel& panel = tool->panel;
    Click(panel.btn3);  // "Read Temperatures"
    ASSERT_TRUE(tool->measure.lastReading.has_value()) << tool->log.Text();

    panel.ComboBox4.SetIndex(0);  // cyclic, every second
    Click(panel.btn5);
    RunFor(100 + 9 * 1000 + 500);
    Click(panel.btn6);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 10");

    Click(panel.Button3);  // "Find USB Devices"
    EXPECT_EQ(tool->log.Text(), "ORNEVA Device detected...");
    EXPECT_EQ(ModemControl(), std::vector<std::uint16_t>{});

    // Entering program mode without "Activate USB-RS485 function" switches the pass-through
    // off as its button does: one request that drops RTS, already low, so the line stays.
    ASSERT_FALSE(panel.chk5.Checked());
    Click(panel.Button38);  // "PROGRAM MODE"
    EXPECT_TRUE(Module([](sim::ModuleSimulator& m) { return m.programMode; })) << tool->log.Text();
    Click(panel.Button39);  // "NORMAL MODE"
    EXPECT_FALSE(Module([](sim::ModuleSimulator& m) { return m.programMode; }));
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.Requests().size(); }), 12U);

    Stop();
    EXPECT_EQ(ModemControl(), std::vector<std::uint16_t>{0x0200});
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.dtrPulses; }), 0U);
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.rtsChanges; }), 0U);
    // The close gave the interface back to the kernel's serial driver.
    EXPECT_TRUE(cable.KernelDriverBound());
}

TEST_F(ControlLinesTest, ResetViaUsbSendsExactlyTheDtrRaiseAndDrop) {
    Start();
    const std::size_t before = cable.Log().size();
    Click(tool->panel.btn13);  // "RST via USB (FTDI)"
    EXPECT_EQ(tool->log.Text(), "Reset via USB OK");
    // DTR on (0x0101: level and its change bit), DTR off (0x0100); nothing else moved a line.
    EXPECT_EQ(ModemControl(), (std::vector<std::uint16_t>{0x0101, 0x0100}));
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.dtrPulses; }), 1U);
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.rtsChanges; }), 0U);
    // The reset started the boot loader, as on a real cable.
    EXPECT_TRUE(Module([](sim::ModuleSimulator& m) { return m.bootLoader.Active(); }));
    // The command reconnected first: a list and the line settings, then the pulse.
    const std::vector<std::string> sent = VendorRequests(cable.Log(), before);
    ASSERT_GE(sent.size(), 2U);
    EXPECT_EQ(sent[sent.size() - 2], "40 01 0101 0001");
    EXPECT_EQ(sent.back(), "40 01 0100 0001");
}

TEST_F(ControlLinesTest, TheRs485ButtonsSendOneRtsChangeEach) {
    Start();
    MainPanel& panel = tool->panel;
    ASSERT_TRUE(panel.ButtonA.Enabled());  // NUV13: the hardware has the pass-through
    Click(panel.ButtonA);                  // "Turn ON USB <-> RS485"
    EXPECT_EQ(tool->log.Text(), " USB to RS485 mode has been activated...");
    EXPECT_EQ(ModemControl(), (std::vector<std::uint16_t>{0x0202}));
    Click(panel.Button5);  // "Turn OFF USB <-> RS485"
    EXPECT_EQ(tool->log.Text(), " USB to RS485 mode has been turned off...");
    EXPECT_EQ(ModemControl(), (std::vector<std::uint16_t>{0x0202, 0x0200}));
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.rtsChanges; }), 2U);
    EXPECT_EQ(Module([](sim::ModuleSimulator& m) { return m.dtrPulses; }), 0U);
}

}  // namespace
}  // namespace nuv::test
