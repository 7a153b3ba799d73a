// The libftdi1 driver on a fake libftdi1: every call, its arguments, and what each failure
// becomes, up to the link's result codes.
#include "link/LibFtdiDriver.hpp"

#include "core/MessageTable.hpp"
#include "link/PortKeeper.hpp"
#include "tests/link/FakeLibFtdi.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

using Holder = LibFtdi::Holder;

class LibFtdiDriverTest : public ::testing::Test {
  protected:
    LibFtdiDriverTest() {
        link.SetDeviceListView(&grid);
        driver.onUnreachable = [this](const std::vector<UnreachableCable>& cables) {
            unreachable = cables;
            ++unreachableCalls;
        };
    }
    void AddModule(const std::string& description = "ORNEVA NUV",
                   const std::string& serial = "NUV13001") {
        FakeLibFtdi::Device device;
        device.location = "usb:1-" + std::to_string(ftdi.devices.size() + 1);
        device.description = description;
        device.serial = serial;
        ftdi.devices.push_back(device);
    }
    std::string Row(std::size_t row) const {
        return deviceList.Cell(0, row) + "|" + deviceList.Cell(1, row) + "|" +
               deviceList.Cell(2, row);
    }
    // The calls made since `from`.
    std::vector<std::string> CallsSince(std::size_t from) const {
        return {ftdi.calls.begin() + static_cast<std::ptrdiff_t>(from), ftdi.calls.end()};
    }
    std::vector<std::uint8_t> Received() const {
        const auto rx = link.RxBuffer();
        return {rx.begin(), rx.begin() + link.ReceivedCount()};
    }
    void Connected() {
        AddModule();
        ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    }

    VirtualClock clock;
    ScriptedPump pump;
    FakeLibFtdi ftdi{clock};
    LibFtdiDriver driver{ftdi, clock};
    MessageLog log;
    StringGrid deviceList{3, 11};
    DeviceGrid grid{deviceList};
    UsbLink link{driver, clock, pump, log};
    std::vector<UnreachableCable> unreachable;
    int unreachableCalls = 0;
};

TEST_F(LibFtdiDriverTest, ListsEveryChannelWithDescriptionAndSerialAndOpensWithoutTouchingLines) {
    AddModule("Dual RS232-HS", "FT5XYZ");  // usb:1-1, two channels
    ftdi.devices[0].channels = 2;
    AddModule();  // usb:1-2
    ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    EXPECT_EQ(Row(1), "Dual RS232-HS A|FT5XYZA|free ");
    EXPECT_EQ(Row(2), "Dual RS232-HS B|FT5XYZB|free ");
    EXPECT_EQ(Row(3), "ORNEVA NUV|NUV13001|USED BY THIS PROGRAM");
    EXPECT_EQ(Row(4), "||");
    EXPECT_EQ(driver.Identify(1).location, "usb:1-1:B");
    EXPECT_EQ(driver.Identify(2).location, "usb:1-2");
    EXPECT_FALSE(driver.Identify(2).openRaisesLines);
    EXPECT_EQ(unreachableCalls, 1);
    EXPECT_TRUE(unreachable.empty());

    // The open, then the line settings of the link; DTR and RTS are never named.
    const std::vector<std::string> expected{"FindAll",
                                            "GetStrings 0",
                                            "GetStrings 1",
                                            "New",
                                            "SetInterface 1",
                                            "OpenDev 1",
                                            "SetLatencyTimer 1",
                                            "SetBaudrate 9600",
                                            "SetLineProperty 8 0 0",
                                            "SetFlowCtrl 0"};
    EXPECT_EQ(ftdi.calls, expected);

    // Closing gives the device back and frees its context; nothing touches the lines.
    const std::size_t before = ftdi.calls.size();
    link.CloseLink();
    EXPECT_EQ(CallsSince(before), (std::vector<std::string>{"Close", "Free"}));
    EXPECT_EQ(ftdi.LiveContexts(), 0U);
}

TEST_F(LibFtdiDriverTest, ADeviceAnotherProgramHoldsIsBusy) {
    AddModule();
    AddModule("FT232R USB UART", "A9X");
    ftdi.devices[1].holder = Holder::KernelTtyInUse;  // a terminal program has its tty open
    EXPECT_EQ(link.ConnectModule(), 5);
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV13001|free ");
    EXPECT_EQ(Row(2), "?|?|BUSY (uses by other program)");
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(ftdi.CallsOf("OpenDev"), 0U);

    ftdi.devices[1].holder = Holder::UsbProgram;  // claimed through its USB node elsewhere
    EXPECT_EQ(link.ConnectModule(), 5);
    EXPECT_EQ(Row(2), "?|?|BUSY (uses by other program)");

    // The kernel's driver with its tty closed is no holder: opening takes the device over.
    ftdi.devices[1].holder = Holder::KernelTty;
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(Row(2), "FT232R USB UART|A9X|free ");
}

TEST_F(LibFtdiDriverTest, ItsOwnOpenDeviceIsNotBusyAndAHeldTtyIsNeverTakenOver) {
    AddModule();
    PortKeeper keeper(driver);  // keeps the device open, and claimed, across the scan
    UsbLink kept(keeper, clock, pump, log);
    ASSERT_EQ(kept.ConnectModule(), 0);
    ASSERT_EQ(kept.ConnectModule(), 0);
    EXPECT_EQ(kept.Devices()[0].state, "USED BY THIS PROGRAM");
    EXPECT_EQ(ftdi.CallsOf("OpenDev"), 1U);

    // Listed free, but by the open another program has the tty: the driver leaves it alone.
    kept.CloseLink();
    keeper.ReleaseParked();
    EXPECT_EQ(ftdi.LiveContexts(), 0U);
    ftdi.devices[0].holder = Holder::KernelTtyInUse;
    FtHandle handle = 0;
    EXPECT_EQ(driver.Open(0, handle), ft::DeviceNotOpened);
    EXPECT_EQ(ftdi.CallsOf("OpenDev"), 1U);
    EXPECT_EQ(ftdi.LiveContexts(), 0U);
}

TEST_F(LibFtdiDriverTest, OpenFailuresMapToTheDriverStatusAndFreeTheContext) {
    AddModule();
    struct Case {
        std::string call;
        int code;
        FtStatus status;
    };
    const Case cases[] = {
        {"OpenDev", -3, ft::IoError},
        {"OpenDev", -4, ft::DeviceNotOpened},
        {"OpenDev", -5, ft::DeviceNotOpened},
        {"OpenDev", -6, ft::IoError},
        {"OpenDev", -8, ft::InvalidHandle},
        {"OpenDev", -11, ft::DeviceNotOpened},
        {"SetInterface", -1, ft::InvalidParameter},
        {"SetInterface", -3, ft::IoError},
        {"SetLatencyTimer", -2, ft::IoError},
        {"New", 0, ft::InsufficientResources},
    };
    for (const Case& c : cases) {
        ftdi.failing = {{c.call, c.code}};
        std::uint32_t count = 0;
        ASSERT_EQ(driver.ListDeviceCount(count), ft::Ok);
        FtHandle handle = 0;
        EXPECT_EQ(driver.Open(0, handle), c.status) << c.call << " " << c.code;
        EXPECT_EQ(ftdi.LiveContexts(), 0U) << c.call << " " << c.code;
        EXPECT_EQ(ftdi.OpenContexts(), 0U) << c.call << " " << c.code;
    }
    // Through the link every one of them is the open failure 30.
    ftdi.failing = {{"OpenDev", -5}};
    EXPECT_EQ(link.ConnectModule(), 30);
    EXPECT_EQ(log.Text(), "Error: 00.1E\n" + MessageTable(30) + "\n");
    FtHandle handle = 0;
    EXPECT_EQ(driver.Open(7, handle), ft::DeviceNotFound);
}

TEST_F(LibFtdiDriverTest, EachOperationsFailureHasItsStatusAndLinkResult) {
    Connected();
    const FtHandle h = link.Handle();
    struct Case {
        std::string call;
        int code;
        FtStatus status;
        std::function<FtStatus()> operation;
    };
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    std::uint32_t written = 0;
    const std::uint8_t byte = 0x55;
    const std::vector<Case> cases{
        {"SetBaudrate", -1, ft::InvalidBaudRate, [&] { return driver.SetBaudRate(h, 9600); }},
        {"SetBaudrate", -2, ft::IoError, [&] { return driver.SetBaudRate(h, 9600); }},
        {"SetBaudrate", -3, ft::DeviceNotOpened, [&] { return driver.SetBaudRate(h, 9600); }},
        {"SetLineProperty", -1, ft::IoError,
         [&] { return driver.SetDataCharacteristics(h, 8, 0, 0); }},
        {"SetFlowCtrl", -1, ft::IoError, [&] { return driver.SetFlowControl(h, 0, 0, 0); }},
        {"SetFlowCtrl", -2, ft::DeviceNotOpened, [&] { return driver.SetFlowControl(h, 0, 0, 0); }},
        {"SetRts", -1, ft::IoError, [&] { return driver.SetRts(h); }},
        {"SetRts", -2, ft::DeviceNotOpened, [&] { return driver.ClrRts(h); }},
        {"SetDtr", -1, ft::IoError, [&] { return driver.SetDtr(h); }},
        {"SetDtr", -2, ft::DeviceNotOpened, [&] { return driver.ClrDtr(h); }},
        {"ReadData", LibFtdi::kDeviceUnavailable, ft::DeviceNotOpened,
         [&] { return driver.GetStatus(h, rx, tx, events); }},
        {"ReadData", -4, ft::IoError, [&] { return driver.GetStatus(h, rx, tx, events); }},
        {"ReadData", -7, ft::IoError, [&] { return driver.WaitForReceive(h, 5); }},
        {"WriteData", -7, ft::IoError, [&] { return driver.Write(h, &byte, 1, written); }},
        {"WriteData", LibFtdi::kDeviceUnavailable, ft::DeviceNotOpened,
         [&] { return driver.Write(h, &byte, 1, written); }},
    };
    for (const Case& c : cases) {
        ftdi.failing = {{c.call, c.code}};
        clock.AdvanceMs(2);  // past a latency period: the status query asks the chip
        EXPECT_EQ(c.operation(), c.status) << c.call << " " << c.code;
    }
    ftdi.failing.clear();

    // Arguments the chip has no setting for are refused without a call.
    const std::size_t before = ftdi.calls.size();
    EXPECT_EQ(driver.SetDataCharacteristics(h, 9, 0, 0), ft::InvalidParameter);
    EXPECT_EQ(driver.SetDataCharacteristics(h, 8, 1, 0), ft::InvalidParameter);
    EXPECT_EQ(driver.SetDataCharacteristics(h, 8, 0, 5), ft::InvalidParameter);
    EXPECT_EQ(driver.SetFlowControl(h, 0x0800, 0, 0), ft::InvalidParameter);
    EXPECT_EQ(driver.SetBaudRate(h, 0), ft::InvalidBaudRate);
    EXPECT_EQ(ftdi.calls.size(), before);
    EXPECT_EQ(driver.SetDataCharacteristics(h, 7, 2, 2), ft::Ok);
    EXPECT_EQ(driver.SetFlowControl(h, ft::FlowRtsCts, 0, 0), ft::Ok);
    EXPECT_EQ(driver.SetFlowControl(h, ft::FlowXonXoff, 0x11, 0x13), ft::Ok);
    EXPECT_EQ(CallsSince(before),
              (std::vector<std::string>{"SetLineProperty 7 2 2", "SetFlowCtrl 256",
                                        "SetFlowCtrlXonXoff 17 19"}));

    // What the link makes of them.
    ftdi.failing = {{"SetBaudrate", -2}};
    EXPECT_EQ(link.SetLinkBaud(115200), 12);
    ftdi.failing = {{"SetRts", -1}};
    EXPECT_EQ(link.RaiseRts(), 11);
    ftdi.failing = {{"SetDtr", -2}};
    EXPECT_EQ(link.DropDtr(), 11);
    ftdi.failing = {{"WriteData", -7}};
    EXPECT_EQ(link.WriteBytes(Hex("01 02")), 19);
    ftdi.failing = {{"ReadData", LibFtdi::kDeviceUnavailable}};
    clock.AdvanceMs(2);
    EXPECT_EQ(link.DrainReceive(), 16);
    ftdi.failing.clear();
    ftdi.failing = {{"Close", -1}};
    EXPECT_EQ(driver.Close(h), ft::IoError);
    EXPECT_EQ(ftdi.LiveContexts(), 0U);  // freed all the same
    EXPECT_EQ(driver.SetBaudRate(h, 9600), ft::InvalidHandle);
}

TEST_F(LibFtdiDriverTest, ListingFailuresBecomeTheLinksCodes) {
    AddModule();
    ftdi.findCode = -3;
    EXPECT_EQ(link.ConnectModule(), 7);
    std::uint32_t count = 9;
    EXPECT_EQ(driver.ListDeviceCount(count), ft::InsufficientResources);
    EXPECT_EQ(count, 0U);
    ftdi.findCode = -5;
    EXPECT_EQ(driver.ListDeviceCount(count), ft::IoError);
    ftdi.findCode = 0;

    ftdi.devices[0].stringsCode = -9;  // the serial number could not be read
    EXPECT_EQ(link.ConnectModule(), 6);
    ftdi.devices[0].stringsCode = -8;  // nor the description: shown as a device held elsewhere
    EXPECT_EQ(link.ConnectModule(), 5);
    EXPECT_EQ(Row(1), "?|?|BUSY (uses by other program)");
}

TEST_F(LibFtdiDriverTest, ACableItCannotReachIsLeftToItsTtyOrShownUnreachable) {
    AddModule();
    ftdi.devices[0].stringsCode = -4;  // no access to the USB device node
    ftdi.devices[0].tty = "/dev/ttyUSB0";
    AddModule("ORNEVA Terminal", "KWD10001");
    ftdi.devices[1].stringsCode = -4;
    EXPECT_EQ(link.ConnectModule(), 5);
    ASSERT_EQ(unreachable.size(), 2U);
    EXPECT_EQ(unreachable[0].location, "usb:1-1");
    EXPECT_EQ(unreachable[0].tty, "/dev/ttyUSB0");
    EXPECT_EQ(unreachable[1].tty, "");
    // The first is left out for the tty driver to list; the second cannot even be described.
    EXPECT_EQ(link.DeviceCount(), 1);
    EXPECT_EQ(Row(1), "?|?|BUSY (uses by other program)");
}

TEST_F(LibFtdiDriverTest, ReceivedBytesAreFetchedIntoItsQueueAndWaitsEndWhenTheyCome) {
    Connected();
    const std::int64_t start = clock.NowNs();
    ftdi.Arrive(start + 7'300'000, Hex("02 03 02"));
    ftdi.Arrive(start + 9'400'000, Hex("01 91 3C 78"));
    link.WaitForData(100);
    EXPECT_EQ(clock.NowNs(), start + 7'300'000);  // not a moment later
    EXPECT_EQ(link.ReadTimed(7, 500), 0);
    EXPECT_EQ(Received(), Hex("02 03 02 01 91 3C 78"));

    // A status query asks the chip at most once a latency period.
    clock.AdvanceMs(5);
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    const std::size_t fetches = ftdi.CallsOf("ReadData");
    ASSERT_EQ(driver.GetStatus(link.Handle(), rx, tx, events), ft::Ok);
    ASSERT_EQ(driver.GetStatus(link.Handle(), rx, tx, events), ft::Ok);
    EXPECT_EQ(ftdi.CallsOf("ReadData"), fetches + 1);
    EXPECT_EQ(rx, 0U);

    // A silent line ends the wait at its limit.
    const std::int64_t quiet = clock.NowNs();
    link.WaitForData(20);
    EXPECT_GE(clock.NowNs() - quiet, 20'000'000);
    EXPECT_LE(clock.NowNs() - quiet, 21'000'000);
}

TEST_F(LibFtdiDriverTest, WritesGoOutWholeAndLinesAreSetAsAsked) {
    Connected();
    ftdi.writeTakes = 3;  // the chip takes a few bytes at a time
    EXPECT_EQ(link.WriteBytes(Hex("01 03 00 00 00 0A C5 CD")), 0);
    EXPECT_EQ(ftdi.written, Hex("01 03 00 00 00 0A C5 CD"));
    EXPECT_EQ(ftdi.CallsOf("WriteData"), 3U);

    const std::size_t before = ftdi.calls.size();
    EXPECT_EQ(link.RaiseRts(), 0);
    EXPECT_EQ(link.DropRts(), 0);
    EXPECT_EQ(link.RaiseDtr(), 0);
    EXPECT_EQ(link.DropDtr(), 0);
    EXPECT_EQ(CallsSince(before),
              (std::vector<std::string>{"SetRts 1", "SetRts 0", "SetDtr 1", "SetDtr 0"}));

    ftdi.writeTakes = -1;  // a chip that takes nothing makes no progress: a failure
    EXPECT_EQ(link.WriteBytes(Hex("01")), 19);
}

}  // namespace
}  // namespace nuv::test
