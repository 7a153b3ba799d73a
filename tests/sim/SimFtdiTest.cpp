// The simulated driver: wire timing, device table, failure injection.
#include <gtest/gtest.h>

#include <memory>

#include "sim/ScriptedPeer.hpp"
#include "sim/SimFtdi.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::sim {
namespace {

using test::Hex;

class SimFtdiTest : public ::testing::Test {
  protected:
    SimFtdiTest() {
        device.AttachPeer(peer);
        EXPECT_EQ(driver.Open(0, handle), ft::Ok);
    }
    std::uint32_t Queued() {
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        std::uint32_t events = 0;
        EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::Ok);
        return rx;
    }

    VirtualClock clock;
    SimFtdi driver{clock};
    SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<ScriptedPeer> peer = std::make_shared<ScriptedPeer>();
    FtHandle handle = 0;
};

TEST_F(SimFtdiTest, BytesTakeTenBitTimesEachAtTheCurrentBaud) {
    EXPECT_EQ(device.ByteTimeNs(), 1'041'666);
    peer->SendAt(0, Hex("01 02 03"));
    clock.AdvanceNs(2 * 1'041'666 - 1);
    EXPECT_EQ(Queued(), 1U);
    clock.AdvanceNs(1);
    EXPECT_EQ(Queued(), 2U);

    ASSERT_EQ(driver.SetBaudRate(handle, 115200), ft::Ok);
    EXPECT_EQ(device.ByteTimeNs(), 86'805);
    ASSERT_EQ(driver.SetDataCharacteristics(handle, ft::Bits7, ft::StopBits2, ft::ParityEven),
              ft::Ok);
    EXPECT_EQ(device.ByteTimeNs(), 11LL * 1'000'000'000 / 115200);
}

TEST_F(SimFtdiTest, BytesWrittenWhileNoPeerListensCountOnTheWireAndReachNobody) {
    SimDevice& lone = driver.AddDevice("ORNEVA NUV", "NUV13002");
    FtHandle loneHandle = 0;
    ASSERT_EQ(driver.Open(1, loneHandle), ft::Ok);
    std::uint32_t written = 0;
    const auto bytes = Hex("01 02 03 04");
    ASSERT_EQ(driver.Write(loneHandle, bytes.data(), 4, written), ft::Ok);
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    clock.AdvanceNs(1'041'666);
    ASSERT_EQ(driver.GetStatus(loneHandle, rx, tx, events), ft::Ok);
    EXPECT_EQ(tx, 3U);  // one byte has crossed, three are still on the wire
    EXPECT_EQ(lone.Written(), bytes);
    // A peer attached now hears the bytes written from now on only.
    auto late = std::make_shared<ScriptedPeer>();
    lone.AttachPeer(late);
    const auto more = Hex("0A 0B");
    ASSERT_EQ(driver.Write(loneHandle, more.data(), 2, written), ft::Ok);
    clock.AdvanceNs(10 * 1'041'666);
    ASSERT_EQ(driver.GetStatus(loneHandle, rx, tx, events), ft::Ok);
    EXPECT_EQ(tx, 0U);
    EXPECT_EQ(late->Received(), more);
}

TEST_F(SimFtdiTest, WrittenBytesQueueOnTheWireBehindEachOther) {
    std::uint32_t written = 0;
    const auto bytes = Hex("0A 0B");
    ASSERT_EQ(driver.Write(handle, bytes.data(), 2, written), ft::Ok);
    ASSERT_EQ(driver.Write(handle, bytes.data(), 2, written), ft::Ok);
    EXPECT_EQ(written, 2U);
    clock.AdvanceNs(3 * 1'041'666);
    Queued();
    EXPECT_EQ(peer->Received(), Hex("0A 0B 0A"));
    clock.AdvanceNs(1'041'666);
    Queued();
    EXPECT_EQ(peer->Received(), Hex("0A 0B 0A 0B"));
}

TEST_F(SimFtdiTest, FaultsPassSkipThenFailTimes) {
    device.InjectFault(Op::Status, ft::IoError, 2, 1);
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
    std::uint32_t events = 0;
    EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::Ok);
    EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::IoError);
    EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::IoError);
    EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::Ok);

    device.InjectFault(Op::Write, ft::OtherError);  // for good
    std::uint32_t written = 0;
    const std::uint8_t byte = 1;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(driver.Write(handle, &byte, 1, written), ft::OtherError);
    EXPECT_TRUE(device.Written().empty());
}

TEST_F(SimFtdiTest, ClosedDevicesLoseWhatIsSentAndRefuseTheHandle) {
    peer->SendAt(0, Hex("01 02"));
    clock.AdvanceMs(5);
    EXPECT_EQ(Queued(), 2U);
    EXPECT_EQ(driver.Close(handle), ft::Ok);
    EXPECT_EQ(driver.Close(handle), ft::InvalidHandle);
    std::uint32_t rx = 9;
    std::uint32_t tx = 9;
    std::uint32_t events = 9;
    EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), ft::InvalidHandle);
    EXPECT_EQ(rx, 0U);

    FtHandle second = 0;
    ASSERT_EQ(driver.Open(0, second), ft::Ok);
    EXPECT_NE(second, handle);
    handle = second;
    EXPECT_EQ(Queued(), 0U);  // a fresh handle starts empty

    FtHandle third = 0;
    EXPECT_EQ(driver.Open(0, third), ft::DeviceNotOpened);  // one opener at a time
    EXPECT_EQ(driver.Open(5, third), ft::DeviceNotFound);
}

TEST_F(SimFtdiTest, ADeviceHeldElsewhereCannotBeDescribedOrOpened) {
    SimDevice& other = driver.AddDevice("Other", "X");
    other.heldByOtherProgram = true;
    char buffer[ft::ListBufferSize] = {};
    EXPECT_NE(driver.ListDescription(1, buffer), ft::Ok);
    EXPECT_NE(driver.ListSerialNumber(1, buffer), ft::Ok);
    FtHandle h = 0;
    EXPECT_NE(driver.Open(1, h), ft::Ok);
    EXPECT_EQ(driver.ListDescription(0, buffer), ft::Ok);
    EXPECT_STREQ(buffer, "ORNEVA NUV");
    EXPECT_EQ(driver.ListDescription(2, buffer), ft::DeviceNotFound);
}

}  // namespace
}  // namespace nuv::sim
