// The serial-port driver end to end over a pseudo-terminal: the link opens the pty by its path,
// and what either side writes reaches the other exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QSerialPort>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "core/MessageLog.hpp"
#include "core/MessageTable.hpp"
#include "link/CableDriver.hpp"
#include "link/PortKeeper.hpp"
#include "link/QtEventPump.hpp"
#include "link/SerialPortFtdi.hpp"
#include "link/UsbLink.hpp"
#include "model/DeviceGrid.hpp"
#include "model/StringGrid.hpp"
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
    // A link on `driver` whose device list shows in `deviceList`.
    std::unique_ptr<UsbLink> LinkOn(FtdiApi& driver) {
        auto link = std::make_unique<UsbLink>(driver, clock, pump, log);
        link->SetDeviceListView(&grid);
        return link;
    }
    // Whether the pty's settings hang up on the last close, seen through a descriptor of its own.
    bool Hupcl(int fd) const {
        termios settings{};
        EXPECT_EQ(::tcgetattr(fd, &settings), 0);
        return (settings.c_cflag & HUPCL) != 0;
    }

    sim::PtyPair pty;
    SystemClock clock;
    QtEventPump pump;
    MessageLog log;
    StringGrid deviceList{3, 11};
    DeviceGrid grid{deviceList};
};

TEST_F(SerialPortTest, TheLinkOpensAPtyByPathAndBytesCrossBothWays) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", "NUV13001"}});
    auto link = LinkOn(driver);
    ASSERT_EQ(link->ConnectModule(), 0) << log.Text();
    EXPECT_EQ(deviceList.Cell(0, 1), "ORNEVA NUV");
    EXPECT_EQ(deviceList.Cell(1, 1), "NUV13001");
    EXPECT_EQ(deviceList.Cell(2, 1), "USED BY THIS PROGRAM");
    EXPECT_TRUE(link->CheckHardwareVersion());

    const auto request = Hex("01 03 00 00 00 01 84 0A 00 FF 0D 0A 11 13");
    ASSERT_EQ(link->WriteBytes(request), 0);
    EXPECT_EQ(pty.Read(request.size(), 2s), request);

    const auto reply = Hex("02 03 14 FF 00 0A 0D 11 13 7F 80");
    pty.Write(reply);
    ASSERT_EQ(link->ReadTimed(static_cast<std::uint32_t>(reply.size()), 2000), 0);
    const auto rx = link->RxBuffer();
    EXPECT_EQ(std::vector<std::uint8_t>(rx.begin(), rx.begin() + 11), reply);

    EXPECT_EQ(link->SendShortFrame(Hex("01 02 03")), 0);
    EXPECT_EQ(pty.Read(6, 2s), Hex("03 01 02 03 06 00"));

    EXPECT_EQ(link->DrainReceive(), 17);
    EXPECT_EQ(link->SetLinkBaud(115200), 0);
}

TEST_F(SerialPortTest, ItListsOnlyThePortsItIsGivenFallbacksFirst) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", "NUV13001"}});
    std::uint32_t count = 0;
    ASSERT_EQ(driver.ListDeviceCount(count), ft::Ok);
    EXPECT_EQ(count, 1U);  // no system port joins the list
    driver.SetFallbackPorts({ExplicitPort{"/dev/ttyUSB7", "ORNEVA Terminal", "KWD10001"}});
    ASSERT_EQ(driver.ListDeviceCount(count), ft::Ok);
    ASSERT_EQ(count, 2U);
    char text[ft::ListBufferSize] = {};
    ASSERT_EQ(driver.ListDescription(0, text), ft::Ok);
    EXPECT_STREQ(text, "ORNEVA Terminal");
    ASSERT_EQ(driver.ListSerialNumber(1, text), ft::Ok);
    EXPECT_STREQ(text, "NUV13001");
    EXPECT_EQ(driver.Identify(0).location, "tty:/dev/ttyUSB7");
    EXPECT_TRUE(driver.Identify(1).openRaisesLines);
}

TEST_F(SerialPortTest, HupclIsClearedAtTheOpenAndStaysClearedThroughTheClose) {
    // A descriptor of the test's own keeps the pty's settings alive between the driver's opens.
    const int own = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(own, 0);
    termios settings{};
    ASSERT_EQ(::tcgetattr(own, &settings), 0);
    settings.c_cflag |= HUPCL;  // as a kernel tty starts
    ASSERT_EQ(::tcsetattr(own, TCSANOW, &settings), 0);

    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    auto link = LinkOn(driver);
    ASSERT_EQ(link->ConnectModule(), 0) << log.Text();
    EXPECT_FALSE(Hupcl(own));  // the baud rate and framing set after the open kept it cleared
    link->CloseLink();
    EXPECT_FALSE(Hupcl(own));  // Qt puts back what it found at the open; the driver does not
    ::close(own);
}

TEST_F(SerialPortTest, TheKeeperKeepsThePortOpenAcrossConnects) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    PortKeeper keeper(driver);
    auto link = LinkOn(keeper);
    ASSERT_EQ(link->ConnectModule(), 0) << log.Text();
    // Bytes the module sent before the next command's connect are still there after it: a
    // closed and reopened tty would have thrown them away with its buffers.
    pty.Write(Hex("A5 5A"));
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(link->ConnectModule(), 0) << log.Text();
    EXPECT_EQ(link->ReadTimed(2, 500), 0);
    EXPECT_EQ(link->RxBuffer()[0], 0xA5);
    EXPECT_FALSE(keeper.HasParked());
}

TEST_F(SerialPortTest, AWaitForBytesEndsWhenTheyArrive) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    auto link = LinkOn(driver);
    ASSERT_EQ(link->ConnectModule(), 0);
    std::thread peer([this] {
        std::this_thread::sleep_for(30ms);
        pty.Write(Hex("42"));
    });
    const auto start = std::chrono::steady_clock::now();
    link->WaitForData(2000);
    const auto waited = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_GE(waited, 25ms);
    EXPECT_LT(waited, 1000ms);
    EXPECT_EQ(link->DrainReceive(), 0);
    EXPECT_EQ(link->RxBuffer()[0], 0x42);

    // With bytes waiting it does not wait at all, and a silent line ends it at the limit.
    pty.Write(Hex("43"));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(link->ReadTimed(1, 500), 0);
    const auto quiet = std::chrono::steady_clock::now();
    link->WaitForData(50);
    EXPECT_GE(std::chrono::steady_clock::now() - quiet, 45ms);
}

TEST_F(SerialPortTest, LineControlsOnAPtyFailAsEleven) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    auto link = LinkOn(driver);
    ASSERT_EQ(link->ConnectModule(), 0) << log.Text();
    // A pseudo-terminal has no modem lines: the driver refuses, and the link says so.
    EXPECT_EQ(link->RaiseRts(), 11);
    EXPECT_EQ(link->DropRts(), 11);
    EXPECT_EQ(link->RaiseDtr(), 11);
    EXPECT_EQ(link->DropDtr(), 11);
    // A pty has no USB serial number: the RS485 switch stays off.
    EXPECT_EQ(deviceList.Cell(1, 1), "");
    EXPECT_FALSE(link->CheckHardwareVersion());
}

TEST_F(SerialPortTest, ATimedReadOnASilentPtyTimesOut) {
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    auto link = LinkOn(driver);
    ASSERT_EQ(link->ConnectModule(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link->ReadTimed(4, 100), 21);
    // The limit counts whole milliseconds of the tick counter: a little less may pass.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 99ms);

    pty.Write(Hex("01 02"));
    EXPECT_EQ(link->ReadTimed(4, 100), 28);
    EXPECT_EQ(link->ReceivedCount(), 2U);
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
        SerialPortFtdi driver({ExplicitPort{path, "ORNEVA NUV", ""}});
        UsbLink link(driver, clock, pump, caseLog);
        EXPECT_EQ(link.ConnectModule(), 30) << path;
        EXPECT_EQ(caseLog.Text(), "Error: 00.1E\n" + MessageTable(30) + "\ncannot open " + path +
                                      ": " + reason + "\n");
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST_F(SerialPortTest, OnePortUnderTwoNamesIsHeldByTheFirstOpener) {
    // The same pty by its path and through a link, as /dev/ttyUSB0 and /dev/serial/by-id/...
    // name one cable. Root opens any tty however exclusive; the lock on the device holds all
    // the same.
    const std::string link = ::testing::TempDir() + "nuv-port-link-" + std::to_string(::getpid());
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty.SlavePath(), link);
    SerialPortFtdi first({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    PortKeeper keeper(first);
    auto holder = LinkOn(keeper);
    ASSERT_EQ(holder->ConnectModule(), 0) << log.Text();

    MessageLog secondLog;
    SerialPortFtdi second({ExplicitPort{link, "ORNEVA NUV", ""}});
    UsbLink other(second, clock, pump, secondLog);
    EXPECT_EQ(other.ConnectModule(), 30);
    EXPECT_EQ(secondLog.Text(), "Error: 00.1E\n" + MessageTable(30) + "\ncannot open " + link +
                                    ": it is held by another program (it has locked the "
                                    "device)\n");
    EXPECT_FALSE(other.IsOpen());

    // The holder goes on undisturbed, also across its own connects (the port kept open) ...
    ASSERT_EQ(holder->ConnectModule(), 0) << log.Text();
    const auto request = Hex("01 03 00 00 00 01 84 0A");
    ASSERT_EQ(holder->WriteBytes(request), 0);
    EXPECT_EQ(pty.Read(request.size(), 2s), request);
    // ... and a real close and open again.
    holder->CloseLink();
    keeper.ReleaseParked();
    ASSERT_EQ(holder->ConnectModule(), 0) << log.Text();

    // Once the holder has let go, the other name opens.
    holder->CloseLink();
    keeper.ReleaseParked();
    secondLog.Clear();
    EXPECT_EQ(other.ConnectModule(), 0) << secondLog.Text();
    ASSERT_EQ(other.WriteBytes(request), 0);
    EXPECT_EQ(pty.Read(request.size(), 2s), request);
    // Now the first is the one refused.
    MessageLog firstLog;
    SerialPortFtdi third({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}});
    UsbLink late(third, clock, pump, firstLog);
    EXPECT_EQ(late.ConnectModule(), 30);
    EXPECT_NE(firstLog.Text().find("it is held by another program"), std::string::npos);
    other.CloseLink();
    std::filesystem::remove(link);
}

TEST(CableDriver, ACableOutOfUsbReachNamesItsTtyAndTheRemedy) {
    EXPECT_EQ(UnreachableNotice({"usb:1-4", "/dev/ttyUSB0"}, "ORNEVA NUV"),
              "No access to the USB device of the FTDI cable \"ORNEVA NUV\" (/dev/ttyUSB0): "
              "using its tty instead, whose first open resets the module. To fix: install the "
              "nuvtool package (its udev rules give the seated user the cable), then plug the "
              "cable in again.");
    EXPECT_EQ(UnreachableNotice({"usb:1-4", ""}, ""),
              "No access to the FTDI cable at usb:1-4: it cannot be used. To fix: install the "
              "nuvtool package (its udev rules give the seated user the cable), then plug the "
              "cable in again.");
}

TEST(CableDriver, WithOnlyANamedPortItListsThatPortAlone) {
    sim::PtyPair pty;
    if (!pty.Ok()) GTEST_SKIP() << pty.Error();
    SystemClock clock;
    CableDriver cables(clock, {ExplicitPort{pty.SlavePath(), "ORNEVA NUV", ""}}, false);
    QtEventPump pump;
    MessageLog log;
    UsbLink link(cables.Api(), clock, pump, log);
    ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    EXPECT_EQ(link.DeviceCount(), 1);
    ASSERT_EQ(link.ConnectModule(), 0);
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
