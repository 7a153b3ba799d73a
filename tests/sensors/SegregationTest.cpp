// The segregation procedure (APC) on the simulated module, on the virtual clock.
#include "model/ControlGroups.hpp"
#include "sensors/Segregation.hpp"
#include "tests/sensors/SensorFixture.hpp"

namespace nuv::test {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kAqua{0, 255, 255};
constexpr Rgb kGreen{0, 128, 0};

class SegregationTest : public SensorTest {
  protected:
    ApcPanel& form2 = tool.form2;
    // The program-mode commands are usable.
    bool ProgramGroupOn() const { return panel.Button11.Enabled() && panel.Button10.Enabled(); }
};

TEST_F(SegregationTest, AChannelWithOneSensorNeedsNoSegregation) {
    EnterProgramMode();
    module.sensorCount[0] = 1;
    const std::size_t blocks = module.Blocks().size();
    Click(panel.Button10);  // "APC0"
    EXPECT_EQ(tool.log.Text(),
              "Initiate APC function in Channel 0 ... OK  Found: 1 sensor(s)\n\nThis channel "
              "doesn't require the segregation... \nAPC function has been finished...");
    EXPECT_EQ(module.Blocks().size(), blocks + 2);  // the firmware check and the start
    EXPECT_FALSE(form2.visible);
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_FALSE(panel.Button37.Enabled());
    EXPECT_TRUE(ProgramGroupOn());
}

TEST_F(SegregationTest, NoSensorsEndsAtOnce) {
    EnterProgramMode();
    module.sensorCount[5] = 0;
    Click(panel.Button31);  // "APC5"
    EXPECT_EQ(tool.log.Text(),
              "Initiate APC function in Channel 5 ...\nNot found any sensors in this channel...\n");
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_TRUE(ProgramGroupOn());
}

TEST_F(SegregationTest, TheStartReadsTheTableShowsTheWindowAndPollsAtOnce) {
    EnterProgramMode();
    module.sensorCount[2] = 4;
    Click(panel.Button13);  // "APC2"
    EXPECT_EQ(tool.log.Text(),
              "Initiate APC function in Channel 2 ... OK  Found: 4 sensor(s)\n\nPodgrzewaj "
              "kolejno sensory zaczynając od najwyżej zamontowanego sensora...\nProcedura APC "
              "zakończy się po podgrzaniu kolejno wszytskich sensorów w kanale.\nZakończenie "
              "procesu zasygalizowane będzie odpowiednim komunikatem.");
    const auto& blocks = module.Blocks();
    ASSERT_GE(blocks.size(), 4U);
    EXPECT_EQ(blocks[blocks.size() - 2][2], 0x12);
    EXPECT_EQ(blocks.back()[2], 0x13);
    // Every request goes out with zeros after its command.
    EXPECT_TRUE(std::all_of(blocks.back().begin() + 3, blocks.back().begin() + 118,
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(Column(form2.StringGrid4, 1, 4), Stored(2));
    EXPECT_TRUE(form2.visible);
    EXPECT_TRUE(panel.Timer3.Enabled());
    EXPECT_EQ(panel.Timer3.Interval(), 10U);
    EXPECT_FALSE(ProgramGroupOn());
    EXPECT_FALSE(panel.Button37.Enabled());
    RunFor(11);
    EXPECT_EQ(panel.Timer3.Interval(), 1800U);
    EXPECT_EQ(form2.Memo1.Text(), "Podgrzewaj sensor nr: 1");
    EXPECT_EQ(form2.Memo1.TextColour(), kRed);
    EXPECT_TRUE(panel.Button37.Enabled());
    EXPECT_TRUE(form2.Button1.Enabled());
    ASSERT_EQ(tone.beeps.size(), 1U);
    EXPECT_EQ(tone.beeps[0], (std::pair<unsigned, unsigned>{1050, 70}));
}

TEST_F(SegregationTest, FourteenSensorsOnTwelveLevelsWarnAndGoOn) {
    EnterProgramMode(0x01);
    module.sensorCount[0] = 14;
    Click(panel.Button10);
    EXPECT_NE(tool.log.Text().find(
                  "  Found: 14 sensor(s)\n                       Warning - there are to much "
                  "sensors on channel!!!"),
              std::string::npos);
    EXPECT_TRUE(panel.Timer3.Enabled());
    EXPECT_EQ(form2.StringGrid4.RowCount(), 13U);  // sensors 13 and 14 have no row
    EXPECT_EQ(form2.StringGrid4.Cell(1, 12), Stored(0)[11]);
}

TEST_F(SegregationTest, AFirmwareOfSixteenLevelsIsWarnedAboutAndTheProcedureGoesOn) {
    EnterProgramMode(0x02);
    module.sensorCount[0] = 16;
    const std::int64_t start = clock.NowMs();
    Click(panel.Button10);
    EXPECT_NE(tool.log.Text().find("Initiate APC function in Channel 0 ... Wrong firmware version "
                                   "- please contact with Orneva support... OK  Found: 16"),
              std::string::npos)
        << tool.log.Text();
    EXPECT_GE(clock.NowMs() - start, 2000);  // the pause after the warning
    EXPECT_EQ(form2.StringGrid4.RowCount(), 17U);
    EXPECT_EQ(Column(form2.StringGrid4, 1, 16), Stored(0));
    EXPECT_TRUE(panel.Timer3.Enabled());
    // Every level has its number, 11 to 16 as well.
    std::vector<std::string> numbers;
    for (int level = 1; level <= 16; ++level) numbers.push_back(std::to_string(level));
    EXPECT_EQ(Column(form2.StringGrid4, 0, 16), numbers);
}

TEST_F(SegregationTest, AWholeRunFromTheStartToTheGreenText) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    std::vector<std::string> instructions;
    for (int step = 0; step < 400 && panel.Timer3.Enabled(); ++step) {
        RunFor(100);
        if (instructions.empty() || instructions.back() != form2.Memo1.Text()) {
            instructions.push_back(form2.Memo1.Text());
        }
    }
    EXPECT_EQ(instructions, (std::vector<std::string>{
                                "Podgrzewaj sensor nr: 1",
                                "Czekaj - trwa chłodzenie sensora nr: 1 ...",
                                "Podgrzewaj sensor nr: 2",
                                "Czekaj - trwa chłodzenie sensora nr: 2 ...",
                                "Podgrzewaj sensor nr: 3",
                                "Czekaj - trwa chłodzenie sensora nr: 3 ...",
                                "Procedura APC w tym kanale zostala zakończona...",
                            }));
    EXPECT_EQ(form2.Memo1.TextColour(), kGreen);
    // A tone with every instruction, heat high and wait low.
    std::vector<unsigned> tones;
    for (const auto& [frequency, length] : tone.beeps) {
        EXPECT_EQ(length, 70U);
        if (tones.empty() || tones.back() != frequency) tones.push_back(frequency);
    }
    EXPECT_EQ(tones, (std::vector<unsigned>{1050, 650, 1050, 650, 1050, 650}));
    EXPECT_EQ(tool.log.Text(), "Program Mode ON...");
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_FALSE(panel.Button37.Enabled());
    EXPECT_FALSE(form2.Button1.Enabled());
    EXPECT_TRUE(form2.visible);
    EXPECT_TRUE(ProgramGroupOn());
    // The sorted column: the top sensor first, as heated; the module keeps that order now.
    const std::vector<std::string> physical{Serial(0, 0), Serial(0, 1), Serial(0, 2)};
    EXPECT_EQ(Column(form2.StringGrid4, 5, 3), physical);
    EXPECT_EQ(Stored(0), physical);
    // Temperatures as the module measures them, two decimals.
    EXPECT_EQ(form2.StringGrid4.Cell(4, 1).size(), 5U);
}

TEST_F(SegregationTest, EveryStartPlacesTheWindowAgainAlsoWhenItIsShown) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    const std::size_t placed = form2.placeRevision;
    Click(panel.Button10);
    EXPECT_EQ(form2.placeRevision, placed + 1);
    Click(panel.Button37);
    form2.SetVisible(true);  // still shown from the last run
    Click(panel.Button10);
    EXPECT_EQ(form2.placeRevision, placed + 2);
}

TEST_F(SegregationTest, ADamagedSerialInTheStartTableIsReadAgainThenMarked) {
    EnterProgramMode();
    module.sensorCount[0] = 4;
    // Only the table's answers carry bytes there: the serial of its second entry.
    module.faults.cancellingFlips = 1;
    module.faults.flipFirst = 9;
    module.faults.flipLast = 16;
    std::size_t blocks = module.Blocks().size();
    Click(panel.Button10);
    // The check, the start, the table's two parts and both once more, then the first poll's two.
    EXPECT_EQ(module.Blocks().size(), blocks + 2 + 4);
    EXPECT_EQ(Column(form2.StringGrid4, 1, 4), Stored(0));
    EXPECT_EQ(tool.log.Text().find("Damaged"), std::string::npos);
    Click(panel.Button37);

    module.faults.cancellingFlips = 2;
    tool.log.Clear();
    Click(panel.Button10);
    const std::string shown = form2.StringGrid4.Cell(1, 2);
    EXPECT_EQ(shown.substr(16), " CRC!");
    EXPECT_NE(shown.substr(0, 16), Stored(0)[1]);
    EXPECT_EQ(form2.StringGrid4.CellTextColour(1, 2), (Rgb{242, 27, 21}));
    EXPECT_EQ(form2.StringGrid4.Cell(1, 3), Stored(0)[2]);
    EXPECT_NE(tool.log.Text().find("\nDamaged serial(s) (CRC-8 wrong): 1\n"), std::string::npos)
        << tool.log.Text();
    EXPECT_TRUE(panel.Timer3.Enabled());  // the procedure goes on
}

TEST_F(SegregationTest, ADamagedSerialInAPollIsPolledAgainThenMarkedAndNotPlotted) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    RunFor(4000);  // the first sensor heated: one sorted serial in the window
    ASSERT_EQ(form2.StringGrid4.Cell(5, 1), Serial(0, 0));
    const std::vector<std::string> series = tool.sensors.apcTrend.SeriesNames();
    ASSERT_EQ(series.size(), 3U);

    module.faults.cancellingFlips = 1;
    module.faults.flipFirst = 1;  // the table's first entry, in the first part of a poll
    module.faults.flipLast = 8;
    std::size_t blocks = module.Blocks().size();
    RunFor(1800);
    EXPECT_EQ(module.Blocks().size(), blocks + 4);  // both parts, twice
    EXPECT_EQ(form2.StringGrid4.Cell(5, 1), Serial(0, 0));
    EXPECT_FALSE(form2.StringGrid4.CellTextColour(5, 1).has_value());

    module.faults.cancellingFlips = 2;
    const std::size_t frames = tool.sensors.apcTrend.FrameCount();
    RunFor(1800);
    const std::string shown = form2.StringGrid4.Cell(5, 1);
    EXPECT_EQ(shown.substr(16), " CRC!");
    EXPECT_EQ(form2.StringGrid4.CellTextColour(5, 1), (Rgb{242, 27, 21}));
    EXPECT_NE(tool.log.Text().find("\nDamaged serial(s) (CRC-8 wrong): 1"), std::string::npos)
        << tool.log.Text();
    // The plot gets the other sensors' temperatures, and no sensor named by a damaged serial.
    EXPECT_EQ(tool.sensors.apcTrend.FrameCount(), frames + 1);
    EXPECT_EQ(tool.sensors.apcTrend.SeriesNames(), series);
    // The next poll is whole again.
    RunFor(1800);
    EXPECT_EQ(form2.StringGrid4.Cell(5, 1), Serial(0, 0));
    EXPECT_FALSE(form2.StringGrid4.CellTextColour(5, 1).has_value());
}

TEST_F(SegregationTest, ReadApcReadsADamagedSerialAgain) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    RunFor(4000);
    module.faults.cancellingFlips = 2;
    module.faults.flipFirst = 1;
    module.faults.flipLast = 8;
    const std::size_t blocks = module.Blocks().size();
    Click(panel.Button36);
    EXPECT_EQ(module.Blocks().size(), blocks + 2);
    EXPECT_EQ(form2.StringGrid4.Cell(5, 1).substr(16), " CRC!");
    EXPECT_EQ(form2.StringGrid4.CellTextColour(5, 1), (Rgb{242, 27, 21}));
    EXPECT_NE(tool.log.Text().find("Damaged serial(s) (CRC-8 wrong): 1"), std::string::npos);
    module.Configure(2, 4);
}

TEST_F(SegregationTest, APollThatTimesOutIsRetriedAndLeavesExitAtHand) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    module.faults.silent = 1;
    RunFor(11 + 700);
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 35), "\n Timeout_Error: 21\nError 20.01(15)");
    EXPECT_TRUE(panel.Timer3.Enabled());
    EXPECT_TRUE(panel.Button37.Enabled());
    EXPECT_FALSE(form2.Button1.Enabled());
    RunFor(1800);
    EXPECT_EQ(form2.Memo1.Text(), "Podgrzewaj sensor nr: 1");
    EXPECT_TRUE(form2.Button1.Enabled());
}

TEST_F(SegregationTest, ExitOnASilentModuleKeepsTheControlsOff) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    RunFor(500);
    module.faults.silent = -1;
    tool.log.Clear();
    Click(panel.Button37);
    EXPECT_EQ(tool.log.Text(), "\n Timeout_Error: 21\nError AA.55(15)");
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_FALSE(form2.visible);
    EXPECT_FALSE(ProgramGroupOn());
    EXPECT_FALSE(panel.Button37.Enabled());
}

TEST_F(SegregationTest, TheWindowsButtonEndsTheProcedureAsExitDoes) {
    EnterProgramMode();
    module.sensorCount[0] = 4;
    Click(panel.Button10);
    RunFor(4000);  // the first sensor heated
    ASSERT_TRUE(module.Segregating());
    Click(form2.Button1);
    EXPECT_FALSE(module.Segregating());
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_FALSE(form2.visible);
    EXPECT_TRUE(ProgramGroupOn());
    // The level found so far leads the channel's order.
    EXPECT_EQ(Stored(0)[0], Serial(0, 0));
}

TEST_F(SegregationTest, ExitDuringAPollWaitsForThePollsExchange) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    bool clicked = false;
    pump.onEvents = [&] {
        if (!clicked && tool.CommandRunning() && panel.Timer3.Interval() == 1800) {
            clicked = true;
            tool.Click(panel.Button37);  // while the poll waits on the module
            EXPECT_TRUE(module.Segregating());
        }
    };
    RunFor(11);
    pump.onEvents = nullptr;
    ASSERT_TRUE(clicked);
    // The poll got its own replies, then Exit ran and got its own.
    EXPECT_EQ(form2.Memo1.Text(), "Podgrzewaj sensor nr: 1");
    EXPECT_FALSE(module.Segregating());
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_TRUE(ProgramGroupOn());
}

TEST_F(SegregationTest, EveryWayOutOfProgramModeStopsThePoll) {
    for (Control* leave : {&panel.btn13, &panel.Button39}) {
        EnterProgramMode();
        module.sensorCount[0] = 3;
        Click(panel.Button10);
        ASSERT_TRUE(panel.Timer3.Enabled());
        Click(*leave);
        EXPECT_FALSE(panel.Timer3.Enabled()) << leave->Name();
        EXPECT_FALSE(form2.visible) << leave->Name();
        RunFor(500);  // a module reset by the cable starts through its boot loader
    }
}

TEST_F(SegregationTest, CountsOf255NeverReadPastAnyBuffer) {
    EnterProgramMode();
    module.sensorCount[0] = 5;
    module.faults.countByte = 255;
    Click(panel.Button10);
    EXPECT_NE(tool.log.Text().find("  Found: 255 sensor(s)"), std::string::npos);
    EXPECT_EQ(form2.StringGrid4.Cell(1, 12), "0000000000000000");  // the table's empty entries
    RunFor(11);  // the poll: table count and sorted count both 255
    EXPECT_EQ(form2.Memo1.Text(), "Podgrzewaj sensor nr: 256");
    EXPECT_NE(form2.StringGrid4.Cell(5, 12), "");
    panel.StringGrid3.SetCell(1, 11, "kept");
    Click(panel.Button36);  // Read_APC: its count 255 too, in a layout of ten positions
    EXPECT_NE(form2.StringGrid4.Cell(5, 10), "");
    EXPECT_EQ(panel.StringGrid3.Cell(1, 11), "kept");
}

TEST_F(SegregationTest, ReadApcShowsOneProgressBlock) {
    EnterProgramMode();
    module.sensorCount[0] = 3;
    Click(panel.Button10);
    RunFor(4000);
    Click(panel.Button36);
    EXPECT_FALSE(panel.Timer3.Enabled());  // its own read: the poll ends
    EXPECT_EQ(form2.StringGrid4.Cell(5, 1), Serial(0, 0));
    EXPECT_EQ(form2.Memo1.Text(), "Czekaj - trwa chlodzenie sensora...");
    EXPECT_NE(panel.StringGrid3.Cell(1, 1), "");  // a temperature above 0
    module.Configure(2, 4);
}

}  // namespace
}  // namespace nuv::test
