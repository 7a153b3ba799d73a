// Searching a channel's sensors on the simulated module.
#include <bit>

#include "config/ProgramCommand.hpp"
#include "model/ControlGroups.hpp"
#include "protocol/Crc8.hpp"
#include "sensors/ChannelSearch.hpp"
#include "tests/sensors/SensorFixture.hpp"

namespace nuv::test {
namespace {

using ChannelSearchTest = SensorTest;

TEST_F(ChannelSearchTest, TheSerialsOfAChannelFillItsColumnAndTheFoundList) {
    EnterProgramMode();
    module.sensorCount[3] = 4;
    panel.StringGrid2.SetCell(14, 2, "25.00");  // a temperature of an earlier reading
    Click(panel.Button29);                      // "Search - Channel  3 "
    EXPECT_EQ(tool.log.Text(), "Searching sensors in Channel 3 ... Found: 4 sensor(s)\n");
    std::vector<std::string> expected = Stored(3);
    EXPECT_EQ(Column(panel.StringGrid2, 13, 4), expected);
    EXPECT_EQ(panel.StringGrid2.Cell(13, 5), "");
    EXPECT_EQ(panel.StringGrid2.Cell(14, 2), "");  // the channel's other columns are emptied
    EXPECT_EQ(panel.ListBox1.Items(), expected);
    EXPECT_EQ(panel.StringGrid2.CurrentColumn(), 13U);  // the channel's columns in view
    EXPECT_EQ(module.Blocks().back()[1], 0x60);
    EXPECT_EQ(module.Blocks().back()[2], 0x03);
    EXPECT_TRUE(panel.Button30.Enabled());  // the program-mode group is back
    EXPECT_EQ(tool.sensors.lastSearch.serials.size(), 4U);
    // Serials keep the leading zero of every byte.
    EXPECT_EQ(expected[0].size(), 16U);
}

TEST_F(ChannelSearchTest, AChannelWithoutSensors) {
    EnterProgramMode();
    module.sensorCount[4] = 0;
    panel.StringGrid2.SetCell(17, 1, "old");
    EXPECT_EQ(SearchChannel(tool, 4, 0x60, 4), 0);
    EXPECT_EQ(tool.log.Text(), "Searching sensors in Channel 4 ... Not found any sensors...\n");
    EXPECT_EQ(panel.StringGrid2.Cell(17, 1), "");
    EXPECT_TRUE(panel.ListBox1.Items().empty());
}

TEST_F(ChannelSearchTest, MoreSensorsThanLevelsShowsTheFirstOnesWithAWarning) {
    EnterProgramMode();
    module.sensorCount[0] = 12;  // on a firmware of ten levels
    EXPECT_EQ(SearchChannel(tool, 0, 0x60, 0), 10);
    EXPECT_EQ(tool.log.Text(), "Searching sensors in Channel 0 ... Found: 12 sensor(s) Warning!\n");
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{242, 27, 21}));
    EXPECT_EQ(panel.ListBox1.Items().size(), 10U);
}

TEST_F(ChannelSearchTest, SameSerialsLeaveTheColumnAsItWas) {
    EnterProgramMode();
    panel.StringGrid2.SetCell(1, 1, "previous");
    module.faults.sameSerials = 1;
    EXPECT_EQ(SearchChannel(tool, 0, 0x60, 0), 0);
    EXPECT_EQ(tool.log.Text(),
              "Searching sensors in Channel 0 ... Found the same Serials/User_Bytes!\n");
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{255, 255, 128}));
    EXPECT_EQ(panel.StringGrid2.Cell(1, 1), "previous");
}

TEST_F(ChannelSearchTest, ATimeOutIsNoSameSerialsEvenAfterAStatusOne) {
    EnterProgramMode();
    module.faults.sameSerials = 1;
    SearchChannel(tool, 1, 0x60, 1);  // the status 1 of an earlier reply
    module.faults.silent = 1;
    tool.log.Clear();
    EXPECT_EQ(SearchChannel(tool, 7, 0x60, 7), 0);
    EXPECT_EQ(tool.log.Text(),
              "Searching sensors in Channel 7 ...\n Timeout_Error: 21\nError(60.07)");
}

TEST_F(ChannelSearchTest, SearchAllChannelsAddsUpAndGoesOnAfterAFailure) {
    EnterProgramMode();
    module.sensorCount = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    module.faults.silent = 0;
    // Channel 5's search gets no answer: the others go on.
    int searches = 0;
    pump.onEvents = [&] {
        if (module.Blocks().size() > 1 && module.Blocks().back()[2] == 4 && searches++ == 0) {
            module.faults.silent = 1;
        }
    };
    Click(panel.Button9);
    pump.onEvents = nullptr;
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(0, 54), "Searching sensors in Channel 0 ... Found: 3 sensor(s)\n");
    EXPECT_NE(text.find("Searching sensors in Channel 5 ...\n Timeout_Error: 21\nError(60.05)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Searching sensors in Channel 9 ... Not found any sensors...\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 29), "\nTotal segregated: 3 sensors\n");
    EXPECT_TRUE(panel.ListBox1.Items().empty());  // channel 9 was searched last
}

TEST_F(ChannelSearchTest, TwoSensorsOfOneSerialAreWarnedAboutAndShown) {
    EnterProgramMode();
    module.sensorCount[2] = 3;
    module.SensorAt(2, 1).serial = module.SensorAt(2, 0).serial;
    EXPECT_EQ(SearchChannel(tool, 2, 0x60, 2), 3);
    EXPECT_EQ(tool.log.Text(),
              "Searching sensors in Channel 2 ...\nZnaleziono takie same seriale!!! Found: 3 "
              "sensor(s)\n");
}

TEST_F(ChannelSearchTest, TwelveLevelsInOneBlockAndSixteenInTwo) {
    EnterProgramMode(0x01);
    module.sensorCount[6] = 12;
    EXPECT_EQ(SearchChannel(tool, 6, 0x60, 6), 12);
    EXPECT_EQ(panel.StringGrid2.RowCount(), 13U);
    EXPECT_EQ(Column(panel.StringGrid2, 25, 12), Stored(6));

    Click(panel.Button39);
    EnterProgramMode(0x02);
    module.sensorCount[6] = 16;
    const std::size_t before = module.Blocks().size();
    EXPECT_EQ(SearchChannel(tool, 6, 0x60, 6), 16);
    ASSERT_EQ(module.Blocks().size(), before + 2);
    EXPECT_EQ(module.Blocks()[before][3], 0);  // the parts of the table
    EXPECT_EQ(module.Blocks()[before + 1][3], 1);
    EXPECT_EQ(panel.StringGrid2.RowCount(), 17U);  // rows 13..16 come into view
    EXPECT_EQ(Column(panel.StringGrid2, 25, 16), Stored(6));
    EXPECT_EQ(panel.StringGrid2.Cell(0, 16), "16");
}

TEST_F(ChannelSearchTest, ACountOf255NeverReadsPastTheTable) {
    for (std::uint8_t firmwareClass : {0x00, 0x01, 0x02}) {
        EnterProgramMode(firmwareClass);
        module.faults.countByte = 255;
        const std::size_t levels = tool.config.maxSensorsPerChannel;
        EXPECT_EQ(SearchChannel(tool, 0, 0x60, 0), levels);
        EXPECT_EQ(panel.ListBox1.Items().size(), levels);
        EXPECT_NE(tool.log.Text().find(" Found: 255 sensor(s) Warning!\n"), std::string::npos);
        module.faults.countByte = -1;
        Click(panel.Button39);
    }
}

// Two bit errors that cancel out in the block's XOR and sum: the line the tool must not trust.
TEST_F(ChannelSearchTest, CancellingBitErrorsPassTheBlockChecksButNotTheSerialsCrc) {
    EnterProgramMode();
    module.sensorCount[3] = 4;
    const std::string stored = Stored(3)[0];
    module.faults.cancellingFlips = 1;
    module.faults.flipFirst = 1;
    module.faults.flipLast = 8;  // the serial of level 1
    ASSERT_EQ(tool.program.Exchange(MakeProgramBlock(0x60, 3), 600, 128), 0);
    const auto reply = tool.link.RxBuffer().subspan(1, 8);
    const SensorSerial sent = SerialBytes(stored);
    int flipped = 0;
    for (std::size_t i = 0; i < 8; ++i) flipped += std::popcount(unsigned(reply[i] ^ sent[i]));
    EXPECT_EQ(flipped, 2);
    EXPECT_NE(OneWireCrc8(reply), 0);
    EXPECT_EQ(OneWireCrc8(sent), 0);
    EXPECT_EQ(module.faults.cancellingFlips, 0);
}

TEST_F(ChannelSearchTest, ASerialSpoiltOnceIsAskedForAgain) {
    EnterProgramMode();
    module.sensorCount[3] = 4;
    module.faults.cancellingFlips = 1;
    module.faults.flipFirst = 9;  // level 2
    module.faults.flipLast = 16;
    const std::size_t blocks = module.Blocks().size();
    EXPECT_EQ(SearchChannel(tool, 3, 0x60, 3), 4);
    EXPECT_EQ(module.Blocks().size(), blocks + 2);
    EXPECT_EQ(Column(panel.StringGrid2, 13, 4), Stored(3));
    EXPECT_EQ(panel.ListBox1.Items(), Stored(3));
    EXPECT_FALSE(panel.StringGrid2.CellTextColour(13, 2).has_value());
    EXPECT_EQ(tool.log.Text(), "Searching sensors in Channel 3 ... Found: 4 sensor(s)\n");
    EXPECT_TRUE(tool.sensors.lastSearch.repeated);
    EXPECT_EQ(tool.sensors.lastSearch.DamagedCount(), 0U);
}

TEST_F(ChannelSearchTest, ASerialSpoiltTwiceIsMarkedInRedAndNotOfferedForSorting) {
    EnterProgramMode();
    module.sensorCount[3] = 4;
    module.faults.cancellingFlips = 2;
    module.faults.flipFirst = 9;
    module.faults.flipLast = 16;
    const std::size_t blocks = module.Blocks().size();
    Click(panel.Button29);  // "Search - Channel  3 "
    EXPECT_EQ(module.faults.cancellingFlips, 0);
    ASSERT_EQ(module.Blocks().size(), blocks + 2);  // the search and its one repeat
    const std::vector<std::string> stored = Stored(3);
    const std::string shown = panel.StringGrid2.Cell(13, 2);
    EXPECT_EQ(shown.size(), 16U + 5U);
    EXPECT_EQ(shown.substr(16), " CRC!");
    EXPECT_NE(shown.substr(0, 16), stored[1]);
    EXPECT_EQ(panel.StringGrid2.CellTextColour(13, 2), (Rgb{242, 27, 21}));
    EXPECT_FALSE(panel.StringGrid2.CellTextColour(13, 1).has_value());
    EXPECT_EQ(panel.StringGrid2.Cell(13, 3), stored[2]);
    EXPECT_EQ(panel.ListBox1.Items(), (std::vector<std::string>{stored[0], stored[2], stored[3]}));
    EXPECT_EQ(tool.log.Text(),
              "Searching sensors in Channel 3 ... Found: 4 sensor(s)\nDamaged serial(s) (CRC-8 "
              "wrong) at level(s) 2 - search the channel again...\n");
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{242, 27, 21}));
    EXPECT_EQ(tool.sensors.lastSearch.damaged, (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(tool.sensors.lastSearch.serials.size(), 4U);

    // The next search finds it whole: the mark goes with it.
    EXPECT_EQ(SearchChannel(tool, 3, 0x60, 3), 4);
    EXPECT_EQ(panel.StringGrid2.Cell(13, 2), stored[1]);
    EXPECT_FALSE(panel.StringGrid2.CellTextColour(13, 2).has_value());
}

TEST_F(ChannelSearchTest, SearchAllCountsTheDamagedSerialsApart) {
    EnterProgramMode();
    module.sensorCount = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    module.faults.cancellingFlips = 2;
    module.faults.flipFirst = 1;
    module.faults.flipLast = 8;
    Click(panel.Button9);
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 75),
              "\nTotal segregated: 1 sensors\nDamaged serials (CRC-8 wrong), not counted: 1\n")
        << text;
}

TEST_F(ChannelSearchTest, NothingIsSearchedBeforeTheLevelsAreKnown) {
    // The module is in program mode, but the tool never heard its capacity.
    module.programMode = true;
    ShowProgramModeControls(panel);
    const std::size_t blocks = module.Blocks().size();
    Click(panel.Button11);
    EXPECT_EQ(tool.log.Text(),
              "The module has not reported its sensors per channel yet - use PROGRAM MODE "
              "first...\n");
    EXPECT_EQ(module.Blocks().size(), blocks);
    // "Search all Channels" says it once, not once a channel, and adds no total.
    Click(panel.Button9);
    EXPECT_EQ(tool.log.Text(),
              "The module has not reported its sensors per channel yet - use PROGRAM MODE "
              "first...\n");
    EXPECT_EQ(module.Blocks().size(), blocks);
}

TEST_F(ChannelSearchTest, AShortedChannelFindsNothingAndReadsAsShorted) {
    EnterProgramMode();
    module.shorted[8] = true;
    EXPECT_EQ(SearchChannel(tool, 8, 0x60, 8), 0);
    EXPECT_NE(tool.log.Text().find("Not found any sensors"), std::string::npos);
    EXPECT_EQ(module.Register(8 * 10 + 3, clock.NowNs()), 0xF040);
}

}  // namespace
}  // namespace nuv::test
