// Sorting a channel's sensors by serial by hand, and saving the order, on the simulated module.
#include "sensors/SortBySerial.hpp"
#include "tests/sensors/SensorFixture.hpp"

namespace nuv::test {
namespace {

class SortBySerialTest : public SensorTest {
  protected:
    // Opens the area for a channel with `count` sensors.
    void Open(std::uint8_t channel, int count, Control& button) {
        module.sensorCount[channel] = count;
        Click(button);
        ASSERT_EQ(panel.ListBox1.Items().size(), static_cast<std::size_t>(count))
            << tool.log.Text();
    }
    // Moves the found serial at `index` over with ">>".
    void MoveOver(int index) {
        panel.ListBox1.SetIndex(index);
        Click(panel.ListBox1);
        Click(panel.Button44);
    }
    const std::vector<std::uint8_t>& LastBlock() { return module.Blocks().back(); }
};

TEST_F(SortBySerialTest, ThreeSerialsSortedByHandAreSavedInThatOrder) {
    EnterProgramMode();
    Open(0, 3, panel.Button45);  // "SBS0"
    EXPECT_TRUE(panel.GroupBox2.Visible());
    EXPECT_FALSE(panel.StringGrid2.Visible());
    const std::vector<std::string> found = panel.ListBox1.Items();
    MoveOver(2);
    EXPECT_TRUE(panel.Button58.Enabled());
    EXPECT_FALSE(panel.Button44.Enabled());
    MoveOver(0);
    MoveOver(0);
    EXPECT_EQ(panel.ListBox2.Items(), (std::vector<std::string>{found[2], found[0], found[1]}));
    EXPECT_TRUE(panel.ListBox1.Items().empty());
    EXPECT_EQ(panel.Label28.Caption(), "Sorted Items: 3");
    // The log: a line per level, its number, a colon and three blanks, then the eight bytes.
    const std::string text = tool.log.Text();
    auto line = [&](int level, const std::string& serial) {
        std::string expected = std::to_string(level) + ":   ";
        for (std::size_t b = 0; b < 16; b += 2) expected += serial.substr(b, 2) + " ";
        return expected + "\n";
    };
    EXPECT_EQ(text, line(1, found[2]) + line(2, found[0]) + line(3, found[1]));

    Click(panel.Button58);
    EXPECT_EQ(tool.log.Text(), "All serials has been saved ok...");
    const auto& block = LastBlock();
    EXPECT_EQ(block[1], 0x70);
    EXPECT_EQ(block[2], 0x03);
    EXPECT_EQ(SerialText(std::span(block).subspan(3, 8)), found[2]);
    EXPECT_EQ(SerialText(std::span(block).subspan(19, 8)), found[1]);
    EXPECT_EQ(block[3 + 24], 0xFF);  // the empty levels
    EXPECT_EQ(block[3 + 80], 3);     // the count at table byte 8N
    EXPECT_EQ(block[3 + 81], 0x00);  // nothing after the table
    EXPECT_EQ(Stored(0), (std::vector<std::string>{found[2], found[0], found[1]}));
    EXPECT_TRUE(panel.Button45.Enabled());
}

// An order given by its serials (the command line) is shown and saved as the moves would have
// built it; the area's lists are left as the search filled them.
TEST_F(SortBySerialTest, AnOrderGivenBySerialsIsSavedAsTheMovesWouldSaveIt) {
    EnterProgramMode();
    Open(4, 3, panel.Button52);  // "SBS4"
    const std::vector<std::string> found = panel.ListBox1.Items();
    EXPECT_EQ(SaveSerialOrder(tool, {found[1], found[2]}), result::Ok);
    EXPECT_EQ(tool.log.Text(), "All serials has been saved ok...");
    const auto& block = LastBlock();
    EXPECT_EQ(block[2], 0x07);  // channel 4
    EXPECT_EQ(SerialText(std::span(block).subspan(3, 8)), found[1]);
    EXPECT_EQ(SerialText(std::span(block).subspan(11, 8)), found[2]);
    EXPECT_EQ(block[3 + 80], 2);
    EXPECT_EQ(Stored(4), (std::vector<std::string>{found[1], found[2], found[0]}));
    EXPECT_EQ(panel.ListBox1.Items(), found);
    EXPECT_TRUE(panel.ListBox2.Items().empty());

    // A failed save leaves the order's table in the log, as after the last move.
    module.faults.refuse = 1;
    EXPECT_NE(SaveSerialOrder(tool, {found[0]}), result::Ok);
    EXPECT_EQ(tool.log.Text().substr(0, 5), "1:   ");
    EXPECT_NE(tool.log.Text().find("Error 70.03(15)"), std::string::npos);
}

TEST_F(SortBySerialTest, MovingTheOnlySortedSerialBackEmptiesTheTable) {
    EnterProgramMode();
    Open(1, 2, panel.Button48);
    MoveOver(1);
    panel.ListBox2.SetIndex(0);
    Click(panel.ListBox2);
    EXPECT_TRUE(panel.Button46.Enabled());
    EXPECT_FALSE(panel.Button44.Enabled());
    tool.DoubleClick(panel.ListBox2);  // a double-click moves it back
    EXPECT_TRUE(panel.ListBox2.Items().empty());
    EXPECT_EQ(panel.ListBox1.Items().size(), 2U);
    EXPECT_EQ(panel.Label28.Caption(), "Sorted Items: 0");
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(tool.sensors.sortedSerialTable[i], i == 80 ? 0 : 0xFF) << i;
    }
    EXPECT_EQ(tool.log.Text(), "");
    EXPECT_FALSE(panel.Button58.Enabled());
    // A move with nothing selected moves nothing.
    panel.ListBox1.SetIndex(-1);
    Click(panel.Button44);
    EXPECT_TRUE(panel.ListBox2.Items().empty());
}

TEST_F(SortBySerialTest, TwelveLevelsPutTheCountAtByte96AndSend97Bytes) {
    EnterProgramMode(0x01);
    Open(4, 2, panel.Button52);
    MoveOver(0);
    EXPECT_EQ(tool.sensors.sortedSerialTable[96], 1);
    Click(panel.Button58);
    const auto& block = LastBlock();
    EXPECT_EQ(block[2], 0x07);
    EXPECT_EQ(block[3 + 96], 1);     // block byte 99
    EXPECT_EQ(block[3 + 97], 0x00);  // block byte 100: beyond the table
}

TEST_F(SortBySerialTest, SixteenLevelsAreSavedInTwoBlocks) {
    EnterProgramMode(0x02);
    Open(3, 16, panel.Button50);
    const std::vector<std::string> found = panel.ListBox1.Items();
    for (int i = 15; i >= 0; --i) MoveOver(i);  // the reverse of the search order
    const std::size_t before = module.Blocks().size();
    Click(panel.Button58);
    ASSERT_EQ(module.Blocks().size(), before + 2) << tool.log.Text();
    EXPECT_EQ(module.Blocks()[before][2], 0x06);
    EXPECT_EQ(module.Blocks()[before + 1][2], 0x16);
    EXPECT_EQ(module.Blocks()[before + 1][3 + 47], 16);  // the count at table byte 128
    std::vector<std::string> reversed(found.rbegin(), found.rend());
    EXPECT_EQ(Stored(3), reversed);
}

TEST_F(SortBySerialTest, TheSaveOfChannel9AndItsFailure) {
    EnterProgramMode();
    Open(9, 2, panel.Button57);
    MoveOver(0);
    module.faults.refuse = 1;
    tool.log.Clear();
    Click(panel.Button58);
    EXPECT_EQ(LastBlock()[2], 0x0C);
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 16), "\nError 70.03(15)");
    EXPECT_TRUE(panel.Button57.Enabled());
}

TEST_F(SortBySerialTest, ANewSearchNeverSendsTheOldOrderUnderTheNewChannel) {
    EnterProgramMode();
    Open(0, 3, panel.Button45);
    MoveOver(0);
    ASSERT_TRUE(panel.Button58.Enabled());
    Open(5, 3, panel.Button53);  // "SBS5"
    EXPECT_FALSE(panel.Button58.Enabled());
    EXPECT_EQ(tool.sensors.sortedSerialTable[80], 0xFF);
}

TEST_F(SortBySerialTest, ItemsBeyondTheLevelsAreListedButNotSaved) {
    EnterProgramMode();
    Click(panel.Button47);  // ten test items
    ASSERT_EQ(panel.ListBox1.Items().size(), 10U);
    EXPECT_EQ(panel.ListBox1.Items()[9], "0909090909090909");
    panel.ListBox1.AddItem("0A0B0C0D0E0F1011");
    for (int i = 0; i < 11; ++i) MoveOver(0);
    EXPECT_EQ(panel.Label28.Caption(), "Sorted Items: 11");
    EXPECT_EQ(tool.sensors.sortedSerialTable[80], 10);
    EXPECT_EQ(tool.sensors.sortedSerialTable[72], 0x09);
}

TEST_F(SortBySerialTest, TheServiceControls) {
    EnterProgramMode(0x01);
    Click(panel.Button43);  // "Save To RAM": ten positions only
    EXPECT_NE(tool.log.Text().find("Save To RAM writes the layout of 10 sensors per channel"),
              std::string::npos);
    tool.log.Clear();
    Click(panel.Button4);  // "Segregator_Pobierz Seriale"
    EXPECT_EQ(tool.log.Text().size(), 300U);
    EXPECT_EQ(module.Blocks().back()[1], 0xA0);
    Click(panel.Button59);  // "Close SBS Function"
    EXPECT_FALSE(panel.GroupBox2.Visible());
    EXPECT_TRUE(panel.StringGrid2.Visible());
}

TEST(SerialBytesTest, TheTextToByteRule) {
    EXPECT_EQ(SerialBytes("00FF0A1B2C3D4E5F"),
              (SensorSerial{0x00, 0xFF, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    // Lower case counts less 55 too, modulo 256: 'a' is 42.
    EXPECT_EQ(SerialBytes("a0")[0], static_cast<std::uint8_t>(42 * 16));
    EXPECT_EQ(SerialBytes("12")[1], 0);  // what is missing counts as "0"
}

}  // namespace
}  // namespace nuv::test
