// Every exchange starts clean: what waits on the link from an earlier exchange or from another
// program is never taken for the answer.
#include "measure/Diagnostics.hpp"
#include "measure/PowerOutputs.hpp"
#include "measure/Temperatures.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

class StaleInputTest : public ModuleTest {
  protected:
    // The port keeps what arrives while nobody has it open, as a tty does.
    StaleInputTest() { device.keepsInputWhileClosed = true; }

    // Another run (or program) sends `request` and goes away `afterMs` later, its answer
    // still arriving or waiting.
    void LeaveBehind(const std::string& request, std::int64_t afterMs) {
        ASSERT_EQ(tool.link.ConnectModule(), 0);
        ASSERT_EQ(tool.link.WriteBytes(Hex(request)), 0);
        clock.AdvanceMs(afterMs);
        tool.link.CloseLink();
    }
};

TEST_F(StaleInputTest, AReadingInterruptedMidAnswerSpoilsNoLaterReading) {
    module.SensorAt(4, 3).fixedRaw = 0x0191;
    // Killed 120 ms in: about half of the 207-byte answer has come, the rest is on its way.
    LeaveBehind("02 03 00 00 00 65 85 D2", 120);
    for (int reading = 0; reading < 3; ++reading) {
        EXPECT_EQ(ReadTemperatures(tool, 2), 0) << "reading " << reading;
        EXPECT_EQ(panel.StringGrid3.Cell(5, 4), "25.06");
    }
}

TEST_F(StaleInputTest, AnotherProgramsPowerAnswerIsNotReadAsResetCounters) {
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    LeaveBehind("02 06 00 00 00 07 C8 3B", 100);  // the whole power answer waits
    ResetCounters counters{};
    EXPECT_EQ(ReadResetCounters(tool, 2, counters), 0);
    EXPECT_EQ(counters, (ResetCounters{7, 0, 1, 0, 2, 4}));
}

TEST_F(StaleInputTest, AReplyFromAnotherAddressIsNoReading) {
    module.address = 5;  // the module on the line answers as 5 whatever it is asked
    moduleOwner->faults.answerAsAnyAddress = true;
    panel.StringGrid3.SetCell(1, 1, "kept");
    EXPECT_EQ(ReadTemperatures(tool, 6), 1);
    EXPECT_EQ(tool.modbus.LastCheck().fault, ReplyFault::OtherAddress);
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "kept");
    EXPECT_FALSE(tool.measure.lastReading.has_value());
}

}  // namespace
}  // namespace nuv::test
