// The port keeper and the combined driver on simulated devices: ports kept across scans,
// lines set back after a real open, lists joined.
#include "link/CombinedDriver.hpp"
#include "link/PortKeeper.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class PortKeeperTest : public ::testing::Test {
  protected:
    explicit PortKeeperTest(sim::LineModel lines = sim::LineModel::Tty) : driver(clock, lines) {}

    sim::SimDevice& Add(const std::string& description, const std::string& serial) {
        sim::SimDevice& device = driver.AddDevice(description, serial);
        device.AttachPeer(peer);
        return device;
    }

    VirtualClock clock;
    ScriptedPump pump;
    sim::SimFtdi driver;
    PortKeeper keeper{driver};
    MessageLog log;
    UsbLink link{keeper, clock, pump, log};
    std::shared_ptr<sim::ScriptedPeer> peer = std::make_shared<sim::ScriptedPeer>();
};

TEST_F(PortKeeperTest, TheSameDeviceKeepsItsPortAndItsLinesAcrossConnects) {
    sim::SimDevice& module = Add("ORNEVA NUV", "NUV13001");
    ASSERT_EQ(link.ConnectModule(), 0);
    // The kernel raised both lines at the open; they are set back to the link's state.
    ASSERT_EQ(peer->LineChanges().size(), 3U);
    EXPECT_TRUE(peer->LineChanges()[0].rts && peer->LineChanges()[0].dtr);
    EXPECT_FALSE(module.Rts());
    EXPECT_FALSE(module.Dtr());

    ASSERT_EQ(link.RaiseRts(), 0);  // the pass-through on
    for (int i = 0; i < 3; ++i) ASSERT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(module.OpenCount(), 1U);
    EXPECT_EQ(module.CloseCount(), 0U);
    EXPECT_EQ(peer->LineChanges().size(), 4U);  // only the link's own change
    EXPECT_TRUE(module.Rts());
    EXPECT_EQ(link.Devices()[0].state, "USED BY THIS PROGRAM");

    // The handle of before the scan names nothing any more.
    const FtHandle old = link.Handle();
    ASSERT_EQ(link.ConnectModule(), 0);
    std::uint32_t written = 0;
    const std::uint8_t byte = 1;
    EXPECT_EQ(keeper.Write(old, &byte, 1, written), ft::InvalidHandle);
}

TEST_F(PortKeeperTest, AnotherDeviceARemovedOneOrAFailedPortIsReallyClosed) {
    sim::SimDevice& first = Add("ORNEVA NUV", "NUV13001");
    ASSERT_EQ(link.ConnectModule(), 0);
    ASSERT_EQ(link.RaiseRts(), 0);
    first.description = "Other";
    sim::SimDevice& second = Add("ORNEVA NUV", "NUV13002");
    ASSERT_EQ(link.ConnectModule(), 0);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    // After a real open the lines are set to what the link gave last: the pass-through on.
    EXPECT_TRUE(second.Rts());
    EXPECT_FALSE(second.Dtr());

    // A scan that no longer finds the parked device closes it.
    link.CloseLink();
    EXPECT_TRUE(second.IsOpen());
    driver.Unplug(1);
    EXPECT_EQ(link.ConnectModule(), 20);
    EXPECT_FALSE(keeper.HasParked());

    // A port whose transfer failed is not kept: the next connect opens it afresh.
    first.description = "ORNEVA NUV";
    ASSERT_EQ(link.ConnectModule(), 0);
    const std::size_t opens = first.OpenCount();
    first.InjectFault(sim::Op::Write, ft::IoError, 1);
    EXPECT_EQ(link.WriteBytes(Hex("01")), 19);
    ASSERT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(first.OpenCount(), opens + 1);
}

TEST_F(PortKeeperTest, TheKeeperClosesWhatItParkedAtTheEnd) {
    sim::SimDevice& module = Add("ORNEVA NUV", "NUV13001");
    {
        PortKeeper local(driver);
        UsbLink localLink(local, clock, pump, log);
        ASSERT_EQ(localLink.ConnectModule(), 0);
        localLink.CloseLink();
        EXPECT_TRUE(module.IsOpen());
    }
    EXPECT_FALSE(module.IsOpen());
    EXPECT_TRUE(module.hupcl == false);  // the tty driver cleared it: the close dropped nothing
    EXPECT_FALSE(module.Rts());
}

TEST(CombinedDriver, ListsItsDriversInOrderAndRoutesEachHandle) {
    VirtualClock clock;
    sim::SimFtdi usb(clock);
    sim::SimFtdi tty(clock, sim::LineModel::Tty);
    usb.AddDevice("FT232R USB UART", "A1");
    sim::SimDevice& module = tty.AddDevice("ORNEVA NUV", "NUV13001");
    CombinedDriver combined({&usb, &tty});
    ScriptedPump pump;
    MessageLog log;
    UsbLink link(combined, clock, pump, log);
    ASSERT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(link.DeviceCount(), 2);
    EXPECT_EQ(link.Devices()[0].description, "FT232R USB UART");
    EXPECT_EQ(link.SelectedIndex(), 1);
    EXPECT_TRUE(module.IsOpen());
    EXPECT_TRUE(combined.Identify(1).openRaisesLines);
    EXPECT_FALSE(combined.Identify(0).openRaisesLines);
    ASSERT_EQ(link.SetLinkBaud(115200), 0);
    EXPECT_EQ(module.Baud(), 115200U);
    link.CloseLink();
    EXPECT_FALSE(module.IsOpen());
    EXPECT_EQ(link.SetLinkBaud(9600), 12);

    // A driver whose list fails fails the whole list.
    tty.CountFault() = sim::Fault{ft::IoError, 0, 1};
    EXPECT_EQ(link.ConnectModule(), 7);
    std::uint32_t count = 0;
    EXPECT_EQ(combined.ListDeviceCount(count), ft::Ok);
    char text[ft::ListBufferSize];
    EXPECT_EQ(combined.ListDescription(2, text), ft::DeviceNotFound);
}

}  // namespace
}  // namespace nuv::test
