// One exchange at a time on the link, whatever its kind: the window stays live while an exchange
// waits, and an exchange started from there is refused before a byte of it goes out.
#include <stdexcept>

#include "protocol/ModbusTransaction.hpp"
#include "protocol/ProgramBlock.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class ExchangeGuardTest : public LinkTest {
  protected:
    // Runs `nested` once, from the window's events in the middle of the next wait; its refusal's
    // text lands in `refusal`.
    void DuringTheWait(std::function<void()> nested) {
        pump.onEvents = [this, nested] {
            if (pump.calls != 2) return;
            try {
                nested();
            } catch (const std::logic_error& error) {
                refusal = error.what();
            }
        };
    }

    ModbusClient modbus{link};
    ProgramClient program{link};
    std::string refusal;
};

TEST_F(ExchangeGuardTest, AModbusExchangeIsRefusedDuringAProgramModeOne) {
    ConnectScripted();
    DuringTheWait([this] { modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7); });
    EXPECT_EQ(program.Exchange(MakeProgramBlock(0x30, 0x00), 100, 128), result::FirstByteTimeout);
    EXPECT_EQ(refusal,
              "a Modbus exchange cannot start while a program-mode exchange runs on the link");
    EXPECT_EQ(driver.Device(0).Written().size(), 128U);  // the block alone
    EXPECT_FALSE(link.ExchangeRunning());

    // Once the block's exchange has ended, the next one goes out.
    pump.onEvents = nullptr;
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), result::NoData);
    EXPECT_EQ(driver.Device(0).Written().size(), 128U + 8U);
}

TEST_F(ExchangeGuardTest, AProgramModeExchangeIsRefusedDuringAModbusOne) {
    ConnectScripted();
    DuringTheWait([this] { program.Exchange(MakeProgramBlock(0xAA, 0x55), 100, 128); });
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), result::NoData);
    EXPECT_EQ(refusal,
              "a program-mode exchange cannot start while a Modbus exchange runs on the link");
    EXPECT_EQ(driver.Device(0).Written(), Hex("01 03 00 00 00 01 84 0A"));
    EXPECT_FALSE(link.ExchangeRunning());

    pump.onEvents = nullptr;
    EXPECT_EQ(program.Exchange(MakeProgramBlock(0xAA, 0x55), 100, 128), result::FirstByteTimeout);
    EXPECT_EQ(driver.Device(0).Written().size(), 8U + 128U);
}

// An exchange that fails or is stopped gives the link back all the same.
TEST_F(ExchangeGuardTest, AnExchangeThatEndsEarlyGivesTheLinkBack) {
    ConnectScripted();
    link.stopRequested = [] { return true; };
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), result::Stopped);
    EXPECT_EQ(program.Exchange(MakeProgramBlock(0x30, 0x00), 100, 128), result::Stopped);
    EXPECT_FALSE(link.ExchangeRunning());
    link.stopRequested = nullptr;
    driver.Device(0).InjectFault(sim::Op::Write, ft::IoError);
    EXPECT_EQ(modbus.Transaction(Hex("01 03 00 00 00 01"), 100, 7), result::WriteFailed);
    EXPECT_FALSE(link.ExchangeRunning());
}

}  // namespace
}  // namespace nuv::test
