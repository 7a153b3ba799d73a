// The simulated module on the wire: answers, exceptions, the entry frame, faults.
#include "protocol/Crc8.hpp"
#include "sim/ModuleSimulator.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class ModuleSimulatorTest : public LinkTest {
  protected:
    ModuleSimulatorTest() {
        AddModule().AttachPeer(moduleOwner);
        EXPECT_EQ(link.ConnectModule(), 0);
    }
    std::vector<std::uint8_t> Exchange(const std::string& request, std::uint32_t expected) {
        EXPECT_EQ(link.WriteBytes(Hex(request)), 0);
        const LinkResult result = link.ReadTimed(expected, 200);
        lastResult = result;
        return Received(link.ReceivedCount());
    }

    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    LinkResult lastResult = 0;
};

TEST_F(ModuleSimulatorTest, AnswersRegisterReadsAndExceptions) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 78"));
    EXPECT_EQ(Exchange("02 03 00 00 00 66 C5 D3", 5), Hex("02 83 02 30 F1"));  // 102 > 101
    EXPECT_EQ(Exchange("02 2B 00 00 00 01 E4 3F", 5), Hex("02 AB 01 6E F0"));
}

TEST_F(ModuleSimulatorTest, IgnoresOtherAddressesAndDamagedFrames) {
    Exchange("03 03 00 00 00 01 85 E8", 7);
    EXPECT_EQ(lastResult, 21);
    Exchange("02 03 00 00 00 01 84 38", 7);
    EXPECT_EQ(lastResult, 21);
    // The other slave's frame was whole; the damaged one never counted as a request.
    ASSERT_EQ(module.Requests().size(), 1U);
    EXPECT_EQ(module.Requests()[0], Hex("03 03 00 00 00 01"));
}

TEST_F(ModuleSimulatorTest, TheEntryFrameAnswersAddressAndIntervalAndEntersProgramMode) {
    module.intervalSeconds = 9;
    EXPECT_EQ(Exchange("5A 41 46 52 45 4C B7 12", 6), Hex("02 00 00 09 C1 9A"));
    EXPECT_TRUE(module.programMode);
    Exchange("02 03 00 00 00 01 84 39", 7);
    EXPECT_EQ(lastResult, 21);  // program mode takes no Modbus requests
    ASSERT_EQ(link.RaiseDtr(), 0);
    ASSERT_EQ(link.DropDtr(), 0);
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(module.resetCounters[4], 1);  // an external reset
}

TEST_F(ModuleSimulatorTest, FaultsShapeTheAnswer) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    module.faults.corruptCrc = 1;
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 22"));
    module.faults.dropByte = 1;
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 91 3C 78"));
    EXPECT_EQ(lastResult, 28);
    module.faults.noise = 1;
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 10), Hex("FF 00 A5 02 03 02 01 91 3C 78"));
    module.faults.lateNs = 150 * kMs;
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 78"));
    EXPECT_GE(clock.NowMs() - start, 150 + 8 + 7);
}

TEST_F(ModuleSimulatorTest, ARandomFaultRateSpoilsThatShareOfAnswers) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    module.faults.randomRate = 1.0;
    for (int i = 0; i < 12; ++i) {
        EXPECT_NE(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 78")) << i;
        clock.AdvanceMs(50);
        link.DrainReceive();  // what is left of a spoiled answer
    }
    module.faults.randomRate = 0.0;
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 78"));
}

TEST_F(ModuleSimulatorTest, SensorSerialsCarryAValidCrcAndTemperaturesDriftSlowly) {
    for (int c = 0; c < 10; ++c) {
        for (int s = 0; s < 16; ++s) {
            const auto& serial = module.SensorAt(c, s).serial;
            EXPECT_EQ(serial[0], 0x28);
            EXPECT_EQ(OneWireCrc8(serial), 0) << c << "/" << s;
        }
    }
    const std::uint16_t now = module.SensorRaw(1, 1, 0);
    const std::uint16_t later = module.SensorRaw(1, 1, 150'000'000'000);  // 2.5 minutes
    EXPECT_NE(now, later);
    EXPECT_LE(std::abs(now - later), 16);
}

TEST_F(ModuleSimulatorTest, ASilenceOfThreeAndAHalfCharactersEndsAFrame) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    // Two halves of one request with a pause of three characters between them: one frame.
    ASSERT_EQ(link.WriteBytes(Hex("02 03 00 00")), 0);
    clock.AdvanceNs(4 * 1'041'666 + 3 * 1'041'666);
    ASSERT_EQ(link.WriteBytes(Hex("00 01 84 39")), 0);
    EXPECT_EQ(link.ReadTimed(7, 200), 0);
    EXPECT_EQ(Received(7), Hex("02 03 02 01 91 3C 78"));
    // A pause of four characters splits it into two frames that are no requests.
    ASSERT_EQ(link.WriteBytes(Hex("02 03 00 00")), 0);
    clock.AdvanceNs(4 * 1'041'666 + 4 * 1'041'666);
    ASSERT_EQ(link.WriteBytes(Hex("00 01 84 39")), 0);
    EXPECT_EQ(link.ReadTimed(7, 200), 21);
    EXPECT_EQ(module.Requests().size(), 1U);
}

TEST_F(ModuleSimulatorTest, TheAnswerFollowsTheEndOfTheFrame) {
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7).size(), 7U);
    // Eight bytes out, three and a half characters of silence, seven bytes back.
    const std::int64_t wire = (8 + 7) * 1'041'666LL + 1'041'666 * 7 / 2;
    EXPECT_GE(clock.NowNs() - start, wire);
    EXPECT_LE(clock.NowNs() - start, wire + 2 * kMs);
}

TEST_F(ModuleSimulatorTest, AFloodOverflowsTheReceiveBufferWithoutDelayingTheNextAnswer) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    ASSERT_EQ(link.SetLinkBaud(115200), 0);
    // 100 KB of noise without a pause, then a pause and a request.
    std::vector<std::uint8_t> noise(100 * 1024);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 37);
    ASSERT_EQ(link.WriteBytes(noise), 0);
    std::size_t mostBuffered = 0;
    const std::int64_t floodEnd = clock.NowNs() + 102400LL * 86'805;
    while (clock.NowNs() < floodEnd) {
        clock.AdvanceMs(5);
        link.DrainReceive();  // lets the wire move
        mostBuffered = std::max(mostBuffered, module.Buffered());
    }
    EXPECT_LE(mostBuffered, sim::ModuleSimulator::kUartBufferSize);
    clock.AdvanceMs(1);
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(Exchange("02 03 00 00 00 01 84 39", 7), Hex("02 03 02 01 91 3C 78"));
    EXPECT_LE(clock.NowNs() - start, 5 * kMs);  // as soon as without the flood
    EXPECT_EQ(module.OverrunFrames(), 1U);
    ASSERT_EQ(module.Requests().size(), 1U);
}

TEST_F(ModuleSimulatorTest, ItCanAnswerForAnotherAddress) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    module.faults.answerAsAnyAddress = true;
    EXPECT_EQ(Exchange("06 03 00 00 00 01 85 BD", 7), Hex("02 03 02 01 91 3C 78"));
}

}  // namespace
}  // namespace nuv::test
