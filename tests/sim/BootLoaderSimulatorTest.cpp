// The simulated boot loader on the wire: prompt after a reset, its bounded wait, the page
// transfer with its flash time, and the hand-over to the module's firmware.
#include "sim/BootLoaderSimulator.hpp"
#include "sim/ModuleSimulator.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class BootLoaderSimulatorTest : public LinkTest {
  protected:
    BootLoaderSimulatorTest() {
        AddModule().AttachPeer(loaderOwner);
        EXPECT_EQ(link.ConnectModule(), 0);
        EXPECT_EQ(link.SetLinkBaud(115200), 0);
        loader.identification = kKey;
    }
    void Reset() {
        ASSERT_EQ(link.RaiseDtr(), 0);
        ASSERT_EQ(link.DropDtr(), 0);
    }
    // Reads `count` bytes and when the first came.
    std::vector<std::uint8_t> Read(std::uint32_t count, std::int64_t& atMs) {
        const LinkResult result = link.ReadTimed(count, 1000);
        atMs = clock.NowMs();
        EXPECT_EQ(result, 0);
        return Received(link.ReceivedCount());
    }
    void SendPage(std::uint16_t page, const PageBytes& plain, std::uint8_t check) {
        const auto number = PageNumberBytes(page);
        ASSERT_EQ(link.WriteBytes(number), 0);
        ASSERT_EQ(link.WriteBytes(ScramblePage(plain, kKey)), 0);
        ASSERT_EQ(link.WriteBytes(std::vector<std::uint8_t>{check}), 0);
    }
    static constexpr BootLoaderKey kKey{1, 2, 3, 4, 5, 6, 7, 8};
    std::shared_ptr<sim::BootLoaderSimulator> loaderOwner =
        std::make_shared<sim::BootLoaderSimulator>();
    sim::BootLoaderSimulator& loader = *loaderOwner;
};

TEST_F(BootLoaderSimulatorTest, APromptedTransferWritesAndVerifiesThePages) {
    const std::int64_t reset = clock.NowMs();
    Reset();
    std::int64_t at = 0;
    EXPECT_EQ(Read(1, at), Hex("3E"));
    EXPECT_GE(at - reset, 65);  // its start-up time
    EXPECT_LE(at - reset, 67);

    ASSERT_EQ(link.WriteBytes(Hex("3C")), 0);
    EXPECT_EQ(Read(8, at), Hex("01 02 03 04 05 06 07 08"));
    const std::int64_t identified = at;
    EXPECT_EQ(Read(1, at), Hex("21"));
    EXPECT_GE(at - identified, 9);  // it prepares the first page

    PageBytes plain{};
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i);
    const std::int64_t sent = clock.NowMs();
    SendPage(2, plain, 0x80);
    EXPECT_EQ(Read(1, at), Hex("21"));
    // 259 bytes at 115200 take 22.5 ms, the flash 9 ms.
    EXPECT_GE(at - sent, 31);
    EXPECT_LE(at - sent, 34);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), loader.Flash().begin() + 2 * 256));
    EXPECT_EQ(loader.PagesWritten(), std::vector<std::size_t>{2});

    ASSERT_EQ(link.WriteBytes(Hex("FF FF")), 0);
    EXPECT_EQ(Read(1, at), Hex("56"));
    EXPECT_FALSE(loader.Active());
    EXPECT_EQ(loader.Verdict(), 0x56);
}

TEST_F(BootLoaderSimulatorTest, APageWithAWrongCheckByteFailsTheVerification) {
    Reset();
    std::int64_t at = 0;
    Read(1, at);
    ASSERT_EQ(link.WriteBytes(Hex("3C")), 0);
    Read(8, at);
    Read(1, at);
    PageBytes plain{};
    plain.fill(0x11);
    SendPage(0, plain, 0x01);           // the sum is 0x00
    EXPECT_EQ(Read(1, at), Hex("21"));  // it asks for the next page all the same
    EXPECT_TRUE(loader.PagesWritten().empty());
    ASSERT_EQ(link.WriteBytes(Hex("FF FF")), 0);
    EXPECT_EQ(Read(1, at), Hex("23"));
}

TEST_F(BootLoaderSimulatorTest, WithoutTheStartByteItHandsOverAndAResetDropsAPendingPrompt) {
    Reset();
    clock.AdvanceMs(30);
    Reset();  // again before the prompt: one prompt only, 65 ms after the second reset
    std::int64_t at = 0;
    EXPECT_EQ(Read(1, at), Hex("3E"));
    EXPECT_EQ(link.ReadTimed(1, 500), 21);
    EXPECT_FALSE(loader.Active());  // 300 ms without '<'
    EXPECT_EQ(loader.Sessions(), 2U);
    ASSERT_EQ(link.WriteBytes(Hex("3C")), 0);  // too late
    EXPECT_EQ(link.ReadTimed(1, 100), 21);
}

TEST_F(BootLoaderSimulatorTest, BytesAtAnotherRateAreNotUnderstood) {
    ASSERT_EQ(link.SetLinkBaud(9600), 0);
    Reset();
    std::int64_t at = 0;
    EXPECT_EQ(Read(1, at), Hex("3E"));
    ASSERT_EQ(link.WriteBytes(Hex("3C")), 0);
    EXPECT_EQ(link.ReadTimed(8, 100), 21);
}

TEST_F(BootLoaderSimulatorTest, AQuickBootLoaderSendsItsRequestsInOneBatchWithTheByteBefore) {
    loader.quickRequests = true;
    loader.faults.replacedRequest = 1;  // '@' in place of the second request
    Reset();
    std::int64_t at = 0;
    EXPECT_EQ(Read(1, at), Hex("3E"));
    ASSERT_EQ(link.WriteBytes(Hex("3C")), 0);
    // The identification and the first request arrive at once.
    link.WaitForData(100);
    ASSERT_EQ(link.DrainReceive(), 0);
    EXPECT_EQ(Received(link.LastReadCount()), Hex("01 02 03 04 05 06 07 08 21"));

    PageBytes plain{};
    SendPage(0, plain, 0x00);
    const std::int64_t sent = clock.NowMs();
    while (link.DrainReceive() == result::NoData && clock.NowMs() - sent < 100) {
        link.WaitForData(1);
    }
    EXPECT_EQ(Received(link.LastReadCount()), Hex("40 21"));  // '@' and the request behind it
    EXPECT_EQ(loader.PagesWritten(), std::vector<std::size_t>{0});
}

// Inside the module: the reset hands the line to the boot loader, which hands it back.
TEST(ModuleBootLoaderTest, AfterTheBootLoaderTheModuleAnswersModbusAgain) {
    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    MessageLog log;
    UsbLink link{driver, clock, pump, log};
    auto module = std::make_shared<sim::ModuleSimulator>();
    driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(module);
    ASSERT_EQ(link.ConnectModule(), 0);
    ASSERT_EQ(link.RaiseDtr(), 0);
    ASSERT_EQ(link.DropDtr(), 0);
    EXPECT_TRUE(module->bootLoader.Active());
    ASSERT_EQ(link.WriteBytes(Hex("02 03 00 00 00 01 84 39")), 0);
    EXPECT_EQ(link.ReadTimed(7, 200), 28);  // only the prompt: the request went to the loader
    EXPECT_EQ(link.RxBuffer()[0], 0x3E);
    clock.AdvanceMs(400);
    link.DrainReceive();  // the time passes on the wire
    EXPECT_FALSE(module->bootLoader.Active());
    ASSERT_EQ(link.WriteBytes(Hex("02 03 00 00 00 01 84 39")), 0);
    EXPECT_EQ(link.ReadTimed(7, 200), 0);
    EXPECT_EQ(link.RxBuffer()[0], 0x02);
}

}  // namespace
}  // namespace nuv::test
