// Cyclic measurement: the timer, the logger lines and the counters.
#include "measure/Cyclic.hpp"
#include "model/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

using CyclicTest = ModuleTest;

const std::string kStartLine = "***************** 12:0:0 *****************";

// A cyclic reading of an address given by the caller (the command line): the address list is
// not read, and a module that is not there is counted and logged as the timer's reading would be.
TEST_F(CyclicTest, ACyclicReadingOfAGivenAddress) {
    panel.ComboBox2.SetIndex(0);  // address 1, where no module answers
    EXPECT_EQ(CyclicReading(tool, 2), result::Ok);
    EXPECT_TRUE(tool.measure.lastReading.has_value());
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 1");
    EXPECT_EQ(CyclicReading(tool, 7), result::NoData);
    EXPECT_EQ(tool.measure.counters.noData, 1);
    EXPECT_EQ(LoggerLines().back(), "12:0:0    Data Timeout Couner: 1");
    EXPECT_EQ(tool.measure.cyclicTrend.FrameCount(), 2U);
}

TEST_F(CyclicTest, AModuleThatAlwaysAnswersLeavesOnlyTheStartLine) {
    tool.Click(panel.btn5);
    EXPECT_TRUE(panel.Timer1.Enabled());
    EXPECT_EQ(panel.Timer1.Interval(), 100U);
    EXPECT_TRUE(panel.btn6.Enabled());
    EXPECT_FALSE(panel.btn3.Enabled());
    EXPECT_FALSE(panel.btn5.Enabled());

    RunFor(150);  // the first tick comes at once
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 1");
    EXPECT_EQ(panel.Timer1.Interval(), 4000U);
    RunFor(4000);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 2");
    RunFor(8000);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 4");
    EXPECT_EQ(LoggerLines(), std::vector<std::string>{kStartLine});
    EXPECT_EQ(module.Requests().size(), 4U);
}

TEST_F(CyclicTest, EveryFailureKindWritesItsLine) {
    tool.Click(panel.btn5);
    module.SensorAt(0, 0).fixedRaw = 0xF060;
    RunFor(150);  // 12:00:00.1, result 250
    module.SensorAt(0, 0).fixedRaw.reset();
    module.faults.corruptCrc = 1;
    RunFor(4000);  // 12:00:04, result 1
    module.faults.silent = 1;
    RunFor(4000);  // 12:00:08, result 17
    driver.Unplug(0);
    RunFor(4000);  // 12:00:12 (2.5 s later the reading ended), result 8
    EXPECT_EQ(LoggerLines(),
              (std::vector<std::string>{
                  kStartLine, "12:0:0    Bledy Presence 1W (brak sondy/zwarcie do +5V): 1",
                  "12:0:4 Other Errors: 1 0001", "12:0:8    Data Timeout Couner: 1",
                  "12:0:12   USB Errors: 1"}));
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 4");
    EXPECT_TRUE(panel.Timer1.Enabled());  // failures never stop the run
}

TEST_F(CyclicTest, APresenceErrorOnEveryReadingCountsUp) {
    module.SensorAt(2, 3).fixedRaw = 0xF060;
    module.SensorAt(4, 3).fixedRaw = 0xF060;
    tool.Click(panel.btn5);
    RunFor(150 + 4000);
    const auto lines = LoggerLines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[1], "12:0:0    Bledy Presence 1W (brak sondy/zwarcie do +5V): 2");
    EXPECT_EQ(lines[2], "12:0:4    Bledy Presence 1W (brak sondy/zwarcie do +5V): 4");
}

TEST_F(CyclicTest, ResetAndClearDuringARun) {
    module.faults.silent = -1;
    tool.Click(panel.btn5);
    RunFor(150 + 2600);
    EXPECT_EQ(panel.Label23.Caption(), "   Data Timeout Couner: 1");
    tool.Click(panel.Button41);
    EXPECT_EQ(panel.Label18.Caption(), "Cykle Pomiarowe: 0");
    EXPECT_EQ(panel.Label23.Caption(), "   Data Timeout Couner: 1");  // labels keep their text
    tool.Click(panel.Button6);
    EXPECT_TRUE(tool.logger.Empty());
    RunFor(4000);
    EXPECT_EQ(LoggerLines(), std::vector<std::string>{"12:0:4    Data Timeout Couner: 1"});
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 1");
}

TEST_F(CyclicTest, StopAndStartAgain) {
    tool.Click(panel.btn5);
    RunFor(150);
    tool.Click(panel.btn6);
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_FALSE(panel.btn6.Enabled());
    EXPECT_TRUE(panel.btn5.Enabled());
    EXPECT_TRUE(panel.btn3.Enabled());
    RunFor(10000);
    EXPECT_EQ(module.Requests().size(), 1U);
    tool.Click(panel.btn5);
    EXPECT_EQ(LoggerLines(), (std::vector<std::string>{
                                 kStartLine, "***************** 12:0:10 *****************"}));
}

TEST_F(CyclicTest, ATickDueDuringAReadingDoesNotStartASecondOne) {
    module.faults.silent = -1;    // every reading waits the full 2.5 s
    panel.ComboBox4.SetIndex(0);  // 1 s
    // The window's event loop runs during the wait, and with it the timers.
    pump.onEvents = [this] { timers.Poll(); };
    tool.Click(panel.btn5);
    RunFor(150 + 6000);
    // Each reading holds the link 2.5 s; ticks in that time are dropped, not queued.
    const std::size_t requests = device.Written().size() / 8;
    EXPECT_GE(requests, 2U);
    EXPECT_LE(requests, 3U);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: " + std::to_string(requests));
    EXPECT_EQ(device.Written().size() % 8, 0U);  // never two requests mixed on the wire
}

TEST_F(CyclicTest, OnlyCommandsThatLeaveTheLinkAloneRunDuringAReading) {
    module.faults.silent = -1;
    bool crcShown = false;
    pump.onEvents = [&] {
        if (!tool.CommandRunning() || pump.calls != 10) return;
        tool.Click(panel.btn2);  // a checksum self-test: no link
        crcShown = tool.log.Text() == "CRC: 46";
        tool.Click(panel.btn9);  // the test frame would go onto the link: dropped
    };
    tool.Click(panel.btn5);
    RunFor(150 + 2600);
    EXPECT_TRUE(crcShown);
    EXPECT_EQ(device.Written(), Hex("02 03 00 00 00 65 85 D2"));
}

TEST_F(CyclicTest, AUsbErrorAfterResetCountersCountsFromOne) {
    tool.Click(panel.btn5);
    driver.Unplug(0);
    RunFor(150);
    RunFor(4000);
    EXPECT_EQ(panel.Label22.Caption(), "  USB Errors: 2");
    tool.Click(panel.Button41);
    RunFor(4000);
    EXPECT_EQ(LoggerLines().back(), "12:0:8   USB Errors: 1");
}

TEST_F(CyclicTest, StopDuringAReadingIsHonoured) {
    module.faults.silent = -1;
    bool clicked = false;
    pump.onEvents = [&] {
        if (!clicked && tool.CommandRunning()) {
            clicked = true;
            tool.Click(panel.btn6);
        }
    };
    tool.Click(panel.btn5);
    RunFor(150 + 2600);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(panel.Timer1.Enabled());
    RunFor(10000);
    EXPECT_EQ(device.Written().size(), 8U);
}

TEST_F(CyclicTest, AChangedIntervalTakesOverAfterOneAndAHalfSeconds) {
    tool.Click(panel.btn5);
    RunFor(150);
    panel.ComboBox4.SetIndex(9);  // 10 s
    tool.Change(panel.ComboBox4);
    EXPECT_EQ(panel.Timer1.Interval(), 1500U);
    RunFor(1500);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 2");
    EXPECT_EQ(panel.Timer1.Interval(), 10000U);
}

TEST_F(CyclicTest, TypedTextBeforeStartKeepsTheLastChosenInterval) {
    panel.ComboBox4.SetIndex(9);  // 10 s
    tool.Change(panel.ComboBox4);
    panel.ComboBox4.SetIndex(-1);
    panel.ComboBox4.SetText("fast");
    tool.Change(panel.ComboBox4);
    tool.Click(panel.btn5);
    RunFor(150);
    EXPECT_EQ(panel.Timer1.Interval(), 10000U);
}

TEST_F(CyclicTest, TypedIntervalTextNeverStopsTheTicks) {
    tool.Click(panel.btn5);
    RunFor(150);
    panel.ComboBox4.SetIndex(-1);
    panel.ComboBox4.SetText("abc");  // not an interval: the last one in use (4 s) stays
    tool.Change(panel.ComboBox4);
    RunFor(1500);
    EXPECT_EQ(panel.Timer1.Interval(), 4000U);
    RunFor(4000);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 3");

    panel.ComboBox4.SetText(" 7");  // a typed number within 1..255 is taken
    tool.Change(panel.ComboBox4);
    RunFor(1500);
    EXPECT_EQ(panel.Timer1.Interval(), 7000U);
}

TEST_F(CyclicTest, ZerujLicznikiResetsSomeCountersAndAllStatusTexts) {
    module.faults.silent = 1;
    tool.Click(panel.btn3);
    module.SensorAt(0, 0).fixedRaw = 0xF040;
    tool.Click(panel.btn3);
    tool.measure.counters.usbError = 5;
    tool.measure.counters.measure = 9;
    tool.Click(panel.btn4);
    EXPECT_EQ(tool.measure.counters.noData, 1);        // kept
    EXPECT_EQ(tool.measure.counters.oneWireShort, 1);  // kept
    EXPECT_EQ(tool.measure.counters.usbError, 0);
    EXPECT_EQ(tool.measure.counters.measure, 0);
    for (Control* label : {&panel.Label17, &panel.Label18, &panel.Label19, &panel.Label20,
                           &panel.Label21, &panel.Label22, &panel.Label23}) {
        EXPECT_EQ(label->Caption(), "...") << label->Name();
    }
}

}  // namespace
}  // namespace nuv::test
