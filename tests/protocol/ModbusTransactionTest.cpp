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

TEST_F(ModbusTransactionTest, AnAlteredCrcIsOneAndTheReplyIsLogged) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("01 03 02 00 2A 39 9C"));
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 2500, 7), 1);
    EXPECT_EQ(log.Text(), "01 03 00 00 00 01 84 0A \n01 03 02 00 2A 39 9C \n\nRecieveCRC_Error: 01");
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
    EXPECT_FALSE(modbus.InTransaction());
}

}  // namespace
}  // namespace nuv::test
