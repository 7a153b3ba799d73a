// The serial-port driver end to end over a pseudo-terminal: the link opens the pty by its path,
// and what either side writes reaches the other exactly.
#include <gtest/gtest.h>

#include <QSerialPort>
#include <chrono>
#include <fstream>

#include "app/MessageLog.hpp"
#include "app/MessageTable.hpp"
#include "app/StringGrid.hpp"
#include "link/QtEventPump.hpp"
#include "link/SerialPortFtdi.hpp"
#include "link/UsbLink.hpp"
#include "sim/Pty.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

using namespace std::chrono_literals;

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!pty.Ok()) GTEST_SKIP() << pty.Error();
    }

    sim::PtyPair pty;
    SystemClock clock;
    QtEventPump pump;
    MessageLog log;
    StringGrid deviceList{3, 11};
};

TEST_F(SerialPortTest, TheLinkOpensAPtyByPathAndBytesCrossBothWays) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", "NUV13001"}},
                          /*listSystemPorts=*/false);
    UsbLink link(driver, clock, pump, log, deviceList);
    ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    EXPECT_EQ(deviceList.Cell(0, 1), "ORNEVA NUV");
    EXPECT_EQ(deviceList.Cell(1, 1), "NUV13001");
    EXPECT_EQ(deviceList.Cell(2, 1), "USED BY THIS PROGRAM");
    EXPECT_TRUE(link.CheckHardwareVersion());

    const auto request = Hex("01 03 00 00 00 01 84 0A 00 FF 0D 0A 11 13");
    ASSERT_EQ(link.WriteBytes(request), 0);
    EXPECT_EQ(pty.Read(request.size(), 2s), request);

    const auto reply = Hex("02 03 14 FF 00 0A 0D 11 13 7F 80");
    pty.Write(reply);
    ASSERT_EQ(link.ReadTimed(static_cast<std::uint32_t>(reply.size()), 2000), 0);
    const auto rx = link.RxBuffer();
    EXPECT_EQ(std::vector<std::uint8_t>(rx.begin(), rx.begin() + 11), reply);

    EXPECT_EQ(link.SendShortFrame(Hex("01 02 03")), 0);
    EXPECT_EQ(pty.Read(6, 2s), Hex("03 01 02 03 06 00"));

    EXPECT_EQ(link.DrainReceive(), 17);
    EXPECT_EQ(link.SetLinkBaud(115200), 0);
}

TEST_F(SerialPortTest, LineControlsOnAPtyFailAsEleven) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}}, false);
    UsbLink link(driver, clock, pump, log, deviceList);
    ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    // A pseudo-terminal has no modem lines: the driver refuses, and the link says so.
    EXPECT_EQ(link.RaiseRts(), 11);
    EXPECT_EQ(link.DropRts(), 11);
    EXPECT_EQ(link.RaiseDtr(), 11);
    EXPECT_EQ(link.DropDtr(), 11);
    // A pty has no USB serial number: the RS485 switch stays off.
    EXPECT_EQ(deviceList.Cell(1, 1), "");
    EXPECT_FALSE(link.CheckHardwareVersion());
}

TEST_F(SerialPortTest, ATimedReadOnASilentPtyTimesOut) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}}, false);
    UsbLink link(driver, clock, pump, log, deviceList);
    ASSERT_EQ(link.ConnectModule(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.ReadTimed(4, 100), 21);
    // The limit counts whole milliseconds of the tick counter: a little less may pass.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 99ms);

    pty.Write(Hex("01 02"));
    EXPECT_EQ(link.ReadTimed(4, 100), 28);
    EXPECT_EQ(link.ReceivedCount(), 2U);
}

TEST_F(SerialPortTest, APathThatIsNoPortFailsAsThirtyWithItsReason) {
    // Another program holds the pty.
    QSerialPort holder;
    holder.setPortName(QString::fromStdString(pty.SlavePath()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    const std::string file = ::testing::TempDir() + "nuv-regular-file";
    std::ofstream(file) << "x";
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/nonexistent-nuv-port", "No such file or directory"},
        {file, "it is a regular file, not a serial port"},
        {"/tmp", "it is a directory, not a serial port"},
        {"/dev/null", "it is not a serial port (Inappropriate ioctl for device)"},
        {pty.SlavePath(),
         "it is held by another program, or this user may not open it "
         "(Permission error while locking the device)"},
    };
    for (const auto& [path, reason] : cases) {
        MessageLog caseLog;
        SerialPortFtdi driver({ExplicitPort{path, "ORNEVA NUV", ""}}, false);
        UsbLink link(driver, clock, pump, caseLog, deviceList);
        EXPECT_EQ(link.ConnectModule(), 30) << path;
        EXPECT_EQ(caseLog.Text(), "Error: 00.1E\n" + MessageTable(30) + "\ncannot open " + path +
                                      ": " + reason + "\n");
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST(UsbIdentity, APtyIsNoUsbDevice) {
    sim::PtyPair pty;
    if (!pty.Ok()) GTEST_SKIP() << pty.Error();
    const UsbIdentity identity = ReadUsbIdentity(pty.SlavePath());
    EXPECT_FALSE(identity.isUsb);
    EXPECT_EQ(identity.product, "");
}

}  // namespace
}  // namespace nuv::test
