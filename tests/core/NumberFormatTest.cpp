#include <gtest/gtest.h>

#include "core/NumberFormat.hpp"
#include "model/TimerDriver.hpp"

namespace nuv {
namespace {

TEST(FormatNumber, FixedDecimalsWithGrouping) {
    const NumberFormat english;
    EXPECT_EQ(FormatNumber(25.0625, 2, english), "25.06");
    EXPECT_EQ(FormatNumber(-252.0, 2, english), "-252.00");
    EXPECT_EQ(FormatNumber(2047.9375, 2, english), "2,047.94");
    EXPECT_EQ(FormatNumber(3839.9375, 2, english), "3,839.94");
    EXPECT_EQ(FormatNumber(0.0, 2, english), "0.00");
    EXPECT_EQ(FormatNumber(-0.001, 2, english), "0.00");  // no "-0.00"
    EXPECT_EQ(FormatNumber(0.125, 2, english), "0.13");   // half away from zero
    EXPECT_EQ(FormatNumber(-0.125, 2, english), "-0.13");
    EXPECT_EQ(FormatNumber(9.999, 2, english), "10.00");
    EXPECT_EQ(FormatNumber(999999.9, 2, english), "999,999.90");
    EXPECT_EQ(FormatNumber(1234567.0, 2, english), "1,234,567.00");
    EXPECT_EQ(FormatNumber(12345678.0, 2, english), "12,345,680.00");  // seven digits kept
    EXPECT_EQ(FormatNumber(0.25, 3, english), "0.250");
    EXPECT_EQ(FormatNumber(0.0625, 2, english), "0.06");

    const NumberFormat german{",", "."};
    EXPECT_EQ(FormatNumber(2047.9375, 2, german), "2.047,94");
    const NumberFormat french{",", "\u202F"};
    EXPECT_EQ(FormatNumber(-1234.5, 1, french), "-1\u202F234,5");
}

TEST(TimerDriver, TicksFromTheMomentOfTheLastChange) {
    VirtualClock clock;
    Timer timer("T", 1000);
    int ticks = 0;
    TimerDriver driver(clock, {&timer}, [&](Timer&) { ++ticks; });
    EXPECT_EQ(driver.NextDueNs(), std::nullopt);
    clock.AdvanceMs(300);
    timer.SetEnabled(true);
    EXPECT_EQ(driver.NextDueNs(), 1300 * 1'000'000LL);
    clock.AdvanceMs(999);
    EXPECT_EQ(driver.Poll(), 0);
    clock.AdvanceMs(1);
    EXPECT_EQ(driver.Poll(), 1);
    EXPECT_EQ(driver.Poll(), 0);
    clock.AdvanceMs(500);
    timer.SetInterval(200);  // restarts the count
    clock.AdvanceMs(199);
    EXPECT_EQ(driver.Poll(), 0);
    clock.AdvanceMs(1);
    EXPECT_EQ(driver.Poll(), 1);
    timer.SetInterval(0);  // a 0 ms timer never fires
    clock.AdvanceMs(5000);
    EXPECT_EQ(driver.Poll(), 0);
    EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace nuv
