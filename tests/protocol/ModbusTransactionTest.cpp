// One Modbus RTU exchange: the frame on the wire, the echo in the log, the wait and its results.
#include "protocol/ModbusTransaction.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class ModbusTransactionTest : public LinkTest {
  protected:
    std::string FirstLine() const {
        const std::string text = log.Text();
        return text.substr(0, text.find('\n'));
    }
    ModbusClient modbus{link};
};

TEST_F(ModbusTransactionTest, TheRequestGoesOutWithItsCrcAndIsEchoed) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("01 03 02 00"), 2 * kMs);
    peer.ReplyAfter(8, Hex("2A 39 9B"), 30 * kMs);  // the second piece comes later
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 0);
    EXPECT_EQ(driver.Device(0).Written(), Hex("01 03 00 00 00 01 84 0A"));
    EXPECT_EQ(FirstLine(), "01 03 00 00 00 01 84 0A ");
    EXPECT_EQ(log.Runs().front().colour, (Rgb{230, 137, 132}));
    EXPECT_EQ(Received(8), Hex("01 03 02 00 2A 39 9B 00"));
    EXPECT_EQ(link.LastReadCount(), 7U);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n");  // a good reply is not echoed
}

TEST_F(ModbusTransactionTest, TheCheckStringGoesOutWith374B) {
    ConnectScripted();
    const std::string digits = "123456789";
    modbus.Transaction(std::vector<std::uint8_t>(digits.begin(), digits.end()), 50, 5);
    EXPECT_EQ(driver.Device(0).Written(), Hex("31 32 33 34 35 36 37 38 39 37 4B"));
}

TEST_F(ModbusTransactionTest, SilenceEndsAfterTheLimitWithSeventeen) {
    ConnectScripted();
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 17);
    const std::int64_t elapsed = clock.NowMs() - start;
    EXPECT_GE(elapsed, 2500 + 9);  // the pause after the write, then the whole limit
    EXPECT_LE(elapsed, 2500 + 9 + 5);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n\nRecieveError: 11\n");
    EXPECT_EQ(log.Runs().back().colour, (Rgb{242, 27, 21}));
    EXPECT_EQ(link.LastReadCount(), 0U);
    EXPECT_GE(pump.calls, 490U);  // the window was served about every 5 ms
}

TEST_F(ModbusTransactionTest, WithoutAWindowSilenceCostsAFewWakesAndTheSameTime) {
    NullEventPump windowless;
    UsbLink quiet{driver, clock, windowless, log};
    ModbusClient client{quiet};
    auto peer = std::make_shared<sim::ScriptedPeer>();
    AddModule().AttachPeer(peer);
    ASSERT_EQ(quiet.ConnectModule(), 0);
    std::size_t calls = driver.CallCount();
    std::int64_t start = clock.NowMs();
    EXPECT_EQ(client.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 17);
    EXPECT_EQ(clock.NowMs() - start, 2500 + 9);
    EXPECT_LE(driver.CallCount() - calls, 40U);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n\nRecieveError: 11\n");

    // An answer that begins late is still taken as it ends.
    const std::int64_t startNs = clock.NowNs();
    peer->ReplyAfter(16, Hex("01 03 02 00 2A 39 9B"), 1000 * kMs);
    EXPECT_EQ(client.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 0);
    EXPECT_NEAR(clock.NowNs() - startNs, 1000 * kMs + 15 * driver.Device(0).ByteTimeNs(), 1000);
}

TEST_F(ModbusTransactionTest, AnAlteredCrcIsOneAndTheReplyIsLogged) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("01 03 02 00 2A 39 9C"));
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 1);
    EXPECT_EQ(log.Text(),
              "01 03 00 00 00 01 84 0A \n01 03 02 00 2A 39 9C \n\nRecieveCRC_Error: 01");
    ASSERT_EQ(log.Runs().size(), 3U);
    EXPECT_EQ(log.Runs()[1].colour, (Rgb{165, 228, 167}));
    EXPECT_EQ(link.LastReadCount(), 7U);
}

TEST_F(ModbusTransactionTest, AShortReplyIsLoggedWithTheCodeOfTheLastDrain) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 83 02 30 F1"));  // an exception answer to a longer request
    EXPECT_EQ(modbus.Transaction(Hex("02 03 00 00 00 65"), 2500, 207), 17);
    EXPECT_EQ(log.Text(), "02 03 00 00 00 65 85 D2 \n02 83 02 30 F1 \n\nRecieveError: 11");
    EXPECT_EQ(link.LastReadCount(), 5U);
    const auto collected = modbus.Collected();
    EXPECT_EQ(std::vector<std::uint8_t>(collected.begin(), collected.end()), Hex("02 83 02 30 F1"));
}

TEST_F(ModbusTransactionTest, ALongerReplyInOnePieceIsCheckedWhole) {
    sim::ScriptedPeer& peer = ConnectScripted();
    ASSERT_EQ(link.SetLinkBaud(115200), 0);  // all nine bytes arrive within one 5 ms poll
    // Nine bytes where seven were expected; their CRC fits the nine.
    peer.ReplyAfter(8, Hex("01 03 04 00 2A 00 2B 9B E4"));
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 02"), 2500, 7), 0);
    EXPECT_EQ(link.LastReadCount(), 9U);
    EXPECT_EQ(Received(9), Hex("01 03 04 00 2A 00 2B 9B E4"));
}

TEST_F(ModbusTransactionTest, AFailedWriteIsNineteen) {
    ConnectScripted();
    driver.Device(0).InjectFault(sim::Op::Write, ft::IoError, 1);
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 19);
    EXPECT_EQ(clock.NowMs() - start, 9);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n\nTransmitError: 13\n");
}

TEST_F(ModbusTransactionTest, ADriverFailureOnTheLastDrainIsItsCode) {
    ConnectScripted();
    driver.Device(0).InjectFault(sim::Op::Status, ft::IoError);
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), 16);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n\nRecieveError: 10\n");
}

TEST_F(ModbusTransactionTest, ASecondExchangeCannotStartDuringTheWait) {
    ConnectScripted();
    bool refused = false;
    pump.onEvents = [&] {
        if (pump.calls != 3) return;
        try {
            modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7);
        } catch (const std::logic_error&) {
            refused = true;
        }
    };
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), 17);
    EXPECT_TRUE(refused);
    EXPECT_EQ(driver.Device(0).Written().size(), 8U);
    EXPECT_FALSE(link.ExchangeRunning());
}

// Replies whose CRC is right but that answer another request: each is refused as a reply that
// fails its check (code 1, the reply dumped, "RecieveCRC_Error: 01"), and LastCheck says why.
struct ForeignReply {
    const char* name;
    const char* reply;
    ReplyFault fault;
    std::uint8_t got;
    std::uint8_t wanted;
};

class ForeignReplyTest : public ModbusTransactionTest,
                         public ::testing::WithParamInterface<ForeignReply> {};

TEST_P(ForeignReplyTest, IsRefusedAsAFailedCheck) {
    const ForeignReply& c = GetParam();
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex(c.reply));
    EXPECT_EQ(modbus.Transaction(Hex("06 03 00 00 00 01"), 2500, 7, ReplyExpectation::WithCount(2)),
              1);
    EXPECT_EQ(modbus.LastCheck().fault, c.fault);
    EXPECT_EQ(modbus.LastCheck().got, c.got);
    EXPECT_EQ(modbus.LastCheck().wanted, c.wanted);
    EXPECT_EQ(log.Text(),
              std::string("06 03 00 00 00 01 85 BD \n") + c.reply + " \n\nRecieveCRC_Error: 01");
}

INSTANTIATE_TEST_SUITE_P(
    Heads, ForeignReplyTest,
    ::testing::Values(
        ForeignReply{"AnotherAddress", "05 03 02 00 19 88 4E", ReplyFault::OtherAddress, 5, 6},
        ForeignReply{"ExceptionWithEnoughBytes", "06 83 02 00 00 24 44", ReplyFault::Exception, 2,
                     0},
        ForeignReply{"AnotherFunction", "06 06 02 00 19 CC 82", ReplyFault::OtherFunction, 6, 3},
        ForeignReply{"WrongByteCount", "06 03 01 00 19 3C 4E", ReplyFault::WrongByteCount, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModbusTransactionTest, TheEntryFrameReplyIsTakenWhateverItsHead) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("06 03 00 00 01 6D 84"));  // another head, only its CRC counts
    EXPECT_EQ(modbus.Transaction(Hex("5A 41 46 52 45 4C"), 2500, 7, ReplyExpectation::AnyHead()),
              0);
    EXPECT_TRUE(modbus.LastCheck().Ok());
}

// A reply that answers something else, whole and with its CRC right, ends the wait as soon as
// it is there: as a wait that ran out, with the same code, log lines and colours (the bytes in
// green, "RecieveError: 11" in red), and LastCheck says what it was.
class ShortAnswerTest : public ModbusTransactionTest {
  protected:
    // Asks address 2 for 101 registers (a 207-byte answer) and returns the time the wait took
    // from the request's write.
    std::int64_t Ask() {
        const std::int64_t start = clock.NowNs();
        code = modbus.Transaction(Hex("02 03 00 00 00 65"), 2500, 207,
                                  ReplyExpectation::WithCount(202));
        return clock.NowNs() - start;
    }
    // The request's 8 bytes and `answer` bytes on the wire, and a little for the tool.
    std::int64_t WireTime(int answer) {
        return (8 + answer) * driver.Device(0).ByteTimeNs() + 2 * kMs;
    }
    void ExpectLoggedAsATimeOut(const std::string& answer) {
        EXPECT_EQ(code, 17);
        EXPECT_EQ(log.Text(), "02 03 00 00 00 65 85 D2 \n" + answer + " \n\nRecieveError: 11");
        ASSERT_EQ(log.Runs().size(), 3U);
        EXPECT_EQ(log.Runs()[0].colour, (Rgb{230, 137, 132}));
        EXPECT_EQ(log.Runs()[1].colour, (Rgb{165, 228, 167}));
        EXPECT_EQ(log.Runs()[2].colour, (Rgb{242, 27, 21}));
        EXPECT_EQ(link.LastReadCount(), Hex(answer).size());
    }
    std::uint8_t code = 0;
};

TEST_F(ShortAnswerTest, AnExceptionAnswerIsNamedAtItsFifthByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 83 02 30 F1"));
    EXPECT_LE(Ask(), WireTime(5));
    ExpectLoggedAsATimeOut("02 83 02 30 F1");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::Exception);
    EXPECT_EQ(DescribeReplyFault(modbus.LastCheck()),
              "the module refused the request with exception 02 (illegal data address)");
}

TEST_F(ShortAnswerTest, AnExceptionAnswerInTwoPiecesIsNamedAtItsFifthByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 83"));
    peer.ReplyAfter(8, Hex("02 30 F1"), 40 * kMs);
    EXPECT_LE(Ask(), WireTime(3) + 40 * kMs);
    ExpectLoggedAsATimeOut("02 83 02 30 F1");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::Exception);
}

TEST_F(ShortAnswerTest, AnotherModulesShorterAnswerEndsTheWaitAtItsLastByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("05 03 02 00 19 88 4E"));
    EXPECT_LE(Ask(), WireTime(7));
    ExpectLoggedAsATimeOut("05 03 02 00 19 88 4E");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::OtherAddress);
    EXPECT_EQ(modbus.LastCheck().got, 5);
}

TEST_F(ShortAnswerTest, AnotherModulesExceptionIsAnotherModulesAnswer) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("07 83 01 60 F1"));
    EXPECT_LE(Ask(), WireTime(5));
    ExpectLoggedAsATimeOut("07 83 01 60 F1");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::OtherAddress);
    EXPECT_EQ(modbus.LastCheck().got, 7);
}

TEST_F(ShortAnswerTest, ARegisterReadOfAnotherSizeEndsTheWaitAtItsLastByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 03 04 00 19 00 1A 99 3F"));
    EXPECT_LE(Ask(), WireTime(9));
    ExpectLoggedAsATimeOut("02 03 04 00 19 00 1A 99 3F");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::WrongByteCount);
    EXPECT_EQ(modbus.LastCheck().got, 4);
}

TEST_F(ShortAnswerTest, AnAnswerToAnotherFunctionEndsTheWaitOnceItsCrcFits) {
    // Function 6 does not say how long its answer is: the wait ends at the first look after
    // its last byte at which the bytes make a frame.
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 06 02 00 19 3D 42"));
    EXPECT_LE(Ask(), WireTime(7) + UsbLink::kLongestPauseMs * kMs);
    ExpectLoggedAsATimeOut("02 06 02 00 19 3D 42");
    EXPECT_EQ(modbus.LastCheck().fault, ReplyFault::OtherFunction);
}

TEST_F(ShortAnswerTest, AShortFrameWhoseCrcFailsWaitsForTheLimit) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("02 83 02 30 F2"));
    EXPECT_GE(Ask(), 2500 * kMs);
    ExpectLoggedAsATimeOut("02 83 02 30 F2");
    EXPECT_TRUE(modbus.LastCheck().Ok());
}

TEST_F(ModbusTransactionTest, ALongAnswerIsGatheredInAFewPassesAndEndsWithItsLastByte) {
    // 207 bytes at 9600 baud trickle in for 216 ms: the wait sleeps until they can have come
    // rather than waking for every few of them, and the window is still served often.
    sim::ScriptedPeer& peer = ConnectScripted();
    std::vector<std::uint8_t> answer = Hex("02 03 CA");
    answer.resize(205, 0x00);
    answer.push_back(0x41);
    answer.push_back(0xBC);
    peer.ReplyAfter(8, answer);
    std::int64_t lastPass = clock.NowNs();
    std::int64_t longestGap = 0;
    pump.onEvents = [&] {
        longestGap = std::max(longestGap, clock.NowNs() - lastPass);
        lastPass = clock.NowNs();
    };
    const std::size_t readsBefore = driver.Device(0).ReadCalls();
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(
        modbus.Transaction(Hex("02 03 00 00 00 65"), 2500, 207, ReplyExpectation::WithCount(202)),
        0);
    const std::int64_t byteTime = driver.Device(0).ByteTimeNs();
    EXPECT_LE(clock.NowNs() - start, (8 + 207) * byteTime + kMs);
    EXPECT_LE(driver.Device(0).ReadCalls() - readsBefore, 10U);
    EXPECT_LE(longestGap, (UsbLink::kLongestPauseMs + 1) * kMs);
    EXPECT_EQ(Received(4), Hex("02 03 CA 00"));
}

TEST_F(ModbusTransactionTest, TheTailOfAnEarlierAnswerIsNotTakenForThisOne) {
    sim::ScriptedPeer& peer = ConnectScripted();
    // An answer to an earlier request is still arriving when this exchange begins.
    peer.SendAt(clock.NowNs(), Hex("06 03 04 00 19 00 19 9C FE"));
    clock.AdvanceMs(4);
    peer.ReplyAfter(8, Hex("06 03 02 00 19 CC 4E"));
    EXPECT_EQ(modbus.Transaction(Hex("06 03 00 00 00 01"), 2500, 7, ReplyExpectation::WithCount(2)),
              0);
    EXPECT_EQ(Received(8), Hex("06 03 02 00 19 CC 4E 00"));
}

TEST(ModbusReplyTest, DescriptionsNameWhatCame) {
    EXPECT_EQ(DescribeReplyFault({ReplyFault::OtherAddress, 5, 6}),
              "the answer came from address 5, not 6");
    EXPECT_EQ(DescribeReplyFault({ReplyFault::OtherFunction, 0x06, 0x08}),
              "the answer is to function 06, not 08");
    EXPECT_EQ(DescribeReplyFault({ReplyFault::WrongByteCount, 14, 12}),
              "the answer carries 14 data bytes, not 12");
    EXPECT_EQ(DescribeReplyFault({ReplyFault::Exception, 0x0B, 0}),
              "the module refused the request with exception 0B (gateway target device failed "
              "to respond)");
    EXPECT_EQ(ExceptionName(0x07), "unknown");
    // Too short for a head; a request that asks for bit 7 itself is no exception.
    EXPECT_EQ(CheckReply(Hex("06 03"), Hex("06 03"), {}).fault, ReplyFault::TooShort);
    EXPECT_EQ(CheckReply(Hex("06 83 00"), Hex("06 83 01"), {}).fault, ReplyFault::None);
    // A short frame is an exception only with its CRC right.
    EXPECT_EQ(FindException(Hex("02 03"), Hex("02 83 02 30 F1")).fault, ReplyFault::Exception);
    EXPECT_EQ(FindException(Hex("02 03"), Hex("02 83 02 30 F2")).fault, ReplyFault::None);
}

}  // namespace
}  // namespace nuv::test
