// Device discovery: the device list, the choice of the module's device, and the reports.
#include "tests/link/LinkFixture.hpp"

#include "core/MessageTable.hpp"

namespace nuv::test {
namespace {

using ScanTest = LinkTest;

const std::string kUsed = "USED BY THIS PROGRAM";

TEST_F(ScanTest, NoDeviceReportsEightAndEmptiesTheList) {
    for (std::size_t row = 1; row <= 8; ++row) deviceList.SetCell(0, row, "stale");
    EXPECT_EQ(link.ConnectModule(), 8);
    for (std::size_t row = 1; row <= 8; ++row) EXPECT_EQ(Row(row), "||") << row;
    EXPECT_EQ(log.Text(), "Error: 00.08\nCheck cables, and press ''Find Devices'' button..." +
                              std::string(13, ' ') + "\n");
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.CheckHardwareVersion());
}

TEST_F(ScanTest, OpensTheModuleAt9600EightNOne) {
    sim::SimDevice& module = AddModule();
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV13001|" + kUsed);
    EXPECT_EQ(Row(2), "||");
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(module.IsOpen());
    EXPECT_EQ(module.Baud(), 9600U);
    EXPECT_EQ(module.WordLength(), 8);
    EXPECT_EQ(module.StopBits(), 0);
    EXPECT_EQ(module.Parity(), 0);
    EXPECT_EQ(module.FlowControl(), 0);
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(link.CheckHardwareVersion());
}

TEST_F(ScanTest, TheLastMatchingDeviceIsOpened) {
    sim::SimDevice& first = AddModule("ORNEVA NUV", "NUV12001");
    sim::SimDevice& second = AddModule("ORNEVA Terminal", "KWD10002");
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(link.SelectedIndex(), 1);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV12001|free ");
    EXPECT_EQ(Row(2), "ORNEVA Terminal|KWD10002|" + kUsed);
    EXPECT_TRUE(link.CheckHardwareVersion());  // reads the selected row: KWD10
}

TEST_F(ScanTest, ABusyLastDeviceStopsSilentlyWithTheListShown) {
    sim::SimDevice& module = AddModule();
    driver.AddDevice("Other", "X").heldByOtherProgram = true;
    EXPECT_EQ(link.ConnectModule(), 5);
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV13001|free ");
    EXPECT_EQ(Row(2), "?|?|BUSY (uses by other program)");
    EXPECT_EQ(module.OpenCount(), 0U);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(log.Text(), "");
}

TEST_F(ScanTest, ABusyDeviceBeforeTheModuleDoesNotStopIt) {
    driver.AddDevice("Other", "X").heldByOtherProgram = true;
    sim::SimDevice& module = AddModule();
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(Row(1), "?|?|BUSY (uses by other program)");
    EXPECT_EQ(Row(2), "ORNEVA NUV|NUV13001|" + kUsed);
    EXPECT_TRUE(module.IsOpen());
}

TEST_F(ScanTest, OnlyTheExactDescriptionsSelect) {
    AddModule("ORNEVA NUVX");
    AddModule("orneva nuv");
    AddModule("ORNEVA NUV ");
    AddModule("ORNEVA TERMINAL");
    EXPECT_EQ(link.ConnectModule(), 20);
    EXPECT_EQ(Row(1), "ORNEVA NUVX|NUV13001|free ");
    EXPECT_EQ(Row(4), "ORNEVA TERMINAL|NUV13001|free ");
    EXPECT_EQ(log.Text(), "Error: 00.14\n" + MessageTable(20) + "\n");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(driver.Device(i).OpenCount(), 0U);
}

TEST_F(ScanTest, FailuresOfTheDriverListAreReportedWithoutTheList) {
    AddModule();
    driver.CountFault() = sim::Fault{ft::IoError, 0, 1};
    EXPECT_EQ(link.ConnectModule(), 7);
    EXPECT_EQ(Row(1), "||");
    EXPECT_EQ(log.Text(), "Error: 00.07\n" + MessageTable(7) + "\n");

    log.Clear();
    driver.Device(0).InjectFault(sim::Op::Serial, ft::IoError, 1);
    EXPECT_EQ(link.ConnectModule(), 6);
    EXPECT_EQ(Row(1), "||");
    EXPECT_EQ(log.Text(), "Error: 00.06\n" + MessageTable(6) + "\n");
    EXPECT_FALSE(link.IsOpen());

    // The next scan finds it again.
    log.Clear();
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(ScanTest, EveryOpenOrSetupFailureIsThirty) {
    for (sim::Op op :
         {sim::Op::Open, sim::Op::Baud, sim::Op::Characteristics, sim::Op::FlowControl}) {
        sim::SimFtdi localDriver(clock);
        MessageLog localLog;
        StringGrid grid(3, 11);
        DeviceGrid view(grid);
        UsbLink localLink(localDriver, clock, pump, localLog);
        localLink.SetDeviceListView(&view);
        sim::SimDevice& module = localDriver.AddDevice("ORNEVA NUV", "NUV13001");
        module.InjectFault(op, ft::IoError, 1);
        EXPECT_EQ(localLink.ConnectModule(), 30) << static_cast<int>(op);
        // A failed open names the device and the reason on a line of its own.
        const std::string reason =
            op == sim::Op::Open ? "cannot open ORNEVA NUV (NUV13001): the driver failed with "
                                  "status 4\n"
                                : "";
        EXPECT_EQ(localLog.Text(), "Error: 00.1E\n" + MessageTable(30) + "\n" + reason);
        // A failure after the open leaves nothing open: the failed connect closes the link.
        EXPECT_FALSE(module.IsOpen());
        EXPECT_FALSE(localLink.IsOpen());
        EXPECT_EQ(grid.Cell(2, 1), "") << "list not filled for 30";
    }
}

TEST_F(ScanTest, MoreThanEightDevicesListsTheFirstEight) {
    for (int i = 0; i < 10; ++i) {
        AddModule(i == 3 ? "ORNEVA NUV" : "FT232R USB UART", "A" + std::to_string(i));
    }
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(link.DeviceCount(), 8);
    EXPECT_EQ(Row(4), "ORNEVA NUV|A3|" + kUsed);
    EXPECT_EQ(Row(8), "FT232R USB UART|A7|free ");
    EXPECT_EQ(Row(9), "||");
    EXPECT_EQ(Row(10), "||");
}

TEST_F(ScanTest, AModulePastTheEighthDeviceIsNotSelected) {
    for (int i = 0; i < 9; ++i) AddModule(i == 8 ? "ORNEVA NUV" : "Other", "B");
    EXPECT_EQ(link.ConnectModule(), 20);
    EXPECT_EQ(driver.Device(8).OpenCount(), 0U);
    EXPECT_EQ(Row(9), "||");
}

TEST_F(ScanTest, TextsAreCutToTheirFields) {
    const std::string longDescription(80, 'D');
    AddModule(longDescription, "NUV13ABCDEFGH");
    EXPECT_EQ(link.ConnectModule(), 20);
    EXPECT_EQ(deviceList.Cell(0, 1), std::string(63, 'D'));
    EXPECT_EQ(deviceList.Cell(1, 1), "NUV13ABC");
}

TEST_F(ScanTest, TheSelectedIndexSurvivesAScanWithoutModule) {
    AddModule("Other", "X");
    sim::SimDevice& module = AddModule("ORNEVA NUV", "NUV13001");
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(link.SelectedIndex(), 1);
    module.description = "Unplugged";
    EXPECT_EQ(link.ConnectModule(), 20);
    EXPECT_EQ(link.SelectedIndex(), 1);
    EXPECT_FALSE(module.IsOpen());
}

TEST_F(ScanTest, RescanningClosesAndReopensAndCloseIsIdempotent) {
    sim::SimDevice& module = AddModule();
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_EQ(module.OpenCount(), 2U);
    EXPECT_TRUE(module.IsOpen());

    link.CloseLink();
    const std::size_t calls = driver.CallCount();
    link.CloseLink();
    link.CloseLink();
    EXPECT_EQ(driver.CallCount(), calls);  // nothing left to close: the driver is not asked
    EXPECT_FALSE(module.IsOpen());
}

TEST_F(ScanTest, CheckHardwareVersionReadsTheSelectedRow) {
    AddModule("ORNEVA NUV", "NUV12001");
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_FALSE(link.CheckHardwareVersion());
    driver.Device(0).serial = "NUV13001";
    EXPECT_EQ(link.ConnectModule(), 0);
    EXPECT_TRUE(link.CheckHardwareVersion());
    driver.Device(0).heldByOtherProgram = true;  // shows "?"
    EXPECT_EQ(link.ConnectModule(), 5);
    EXPECT_FALSE(link.CheckHardwareVersion());
}

}  // namespace
}  // namespace nuv::test
