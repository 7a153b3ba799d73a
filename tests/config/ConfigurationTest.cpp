// The configuration commands of program mode on the simulated module.
#include "config/Configuration.hpp"
#include "core/MessageTable.hpp"
#include "measure/Temperatures.hpp"
#include "model/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

class ConfigurationTest : public ModuleTest {
  protected:
    ConfigurationTest() {
        Click(panel.Button38);
        EXPECT_TRUE(module.programMode);
    }
    // Every program-mode command is enabled, no normal-mode one.
    bool InProgramGroup() const {
        return panel.Button39.Enabled() && panel.Button42.Enabled() && panel.btn12.Enabled() &&
               !panel.Button38.Enabled() && !panel.btn3.Enabled();
    }
    bool InNormalGroup() const {
        return panel.Button38.Enabled() && panel.btn3.Enabled() && !panel.Button39.Enabled();
    }
    const std::vector<std::uint8_t>& LastBlock() const { return module.Blocks().back(); }
};

TEST_F(ConfigurationTest, ReadFirmwareVersion) {
    module.firmwareClass = 0x12;
    module.firmwareBuild = 0x47;
    Click(panel.Button17);
    EXPECT_EQ(tool.log.Text(), "Firmware version: 12.47");
    EXPECT_EQ(LastBlock()[1], 0x30);
    EXPECT_TRUE(InProgramGroup());
}

TEST_F(ConfigurationTest, SaveAddressAndIntervalSendTheListValues) {
    panel.ComboBox1.SetIndex(246);
    Click(panel.btn12);
    EXPECT_EQ(tool.log.Text(), "Modbus address saved ok...");
    EXPECT_EQ(std::vector<std::uint8_t>(LastBlock().begin(), LastBlock().begin() + 5),
              Hex("7E 70 00 F7 00"));
    EXPECT_EQ(module.address, 247);
    EXPECT_TRUE(InProgramGroup());

    panel.ComboBox3.SetIndex(254);
    Click(panel.btn11);
    EXPECT_EQ(tool.log.Text(), "Cyclic interval saved ok...");
    EXPECT_EQ(std::vector<std::uint8_t>(LastBlock().begin(), LastBlock().begin() + 4),
              Hex("7E 70 01 FF"));
    EXPECT_EQ(module.intervalSeconds, 255);
    // A typed value that names one is taken.
    panel.ComboBox3.SetIndex(-1);
    panel.ComboBox3.SetText(" 17");
    Click(panel.btn11);
    EXPECT_EQ(module.intervalSeconds, 17);
}

TEST_F(ConfigurationTest, NothingSelectedSendsNothingAndSaysWhy) {
    const std::size_t blocks = module.Blocks().size();
    panel.ComboBox1.SetIndex(-1);
    panel.ComboBox1.SetText("");
    tool.log.SetText("");
    Click(panel.btn12);
    EXPECT_EQ(tool.log.Text(), "No address selected - choose one from the list first...\n");
    panel.ComboBox3.SetIndex(-1);
    panel.ComboBox3.SetText("0");
    Click(panel.btn11);
    EXPECT_NE(tool.log.Text().find("No interval selected"), std::string::npos);
    EXPECT_EQ(module.Blocks().size(), blocks);
    EXPECT_TRUE(InProgramGroup());
}

// The commands take their values from the caller (the command line); the lists stay as they were.
TEST_F(ConfigurationTest, SaveAddressAndIntervalTakeTheValuesGiven) {
    panel.ComboBox1.SetIndex(4);
    EXPECT_EQ(SaveAddress(tool, 9), result::Ok);
    EXPECT_EQ(std::vector<std::uint8_t>(LastBlock().begin(), LastBlock().begin() + 4),
              Hex("7E 70 00 09"));
    EXPECT_EQ(module.address, 9);
    EXPECT_EQ(SaveInterval(tool, 200), result::Ok);
    EXPECT_EQ(std::vector<std::uint8_t>(LastBlock().begin(), LastBlock().begin() + 4),
              Hex("7E 70 01 C8"));
    EXPECT_EQ(panel.ComboBox1.Index(), 4);
    const std::size_t blocks = module.Blocks().size();
    EXPECT_EQ(SaveAddress(tool, 0), kNothingSelected);
    EXPECT_EQ(module.Blocks().size(), blocks);
}

TEST_F(ConfigurationTest, ARefusedSaveShowsItsLabelAndKeepsProgramMode) {
    module.faults.refuse = 1;
    tool.log.SetText("");
    Click(panel.btn12);
    EXPECT_EQ(tool.log.Text(), "\nError 70.00(15)");
    module.faults.corruptCrc = 1;
    tool.log.SetText("");
    Click(panel.btn11);
    EXPECT_EQ(tool.log.Text(), "\n Error CC: 1\nError 70.01(01)");
    EXPECT_TRUE(InProgramGroup());
}

TEST_F(ConfigurationTest, SaveAllWaitsForTheSlowSaveAndLeavesProgramMode) {
    panel.ComboBox1.SetIndex(5);
    Click(panel.btn12);
    module.saveDurationNs = 9'000 * kMs;
    tool.form2.SetVisible(true);
    panel.GroupBox2.SetVisible(true);
    bool pleaseWaitShown = false;
    pump.onEvents = [&] {
        pleaseWaitShown |= tool.log.Text() == "Saving configurations - Please wait...";
    };
    Click(panel.btn15);
    EXPECT_TRUE(pleaseWaitShown);
    EXPECT_EQ(tool.log.Text(), "Saved - OK");
    EXPECT_TRUE(InNormalGroup());
    EXPECT_FALSE(tool.form2.visible);
    EXPECT_FALSE(panel.GroupBox2.Visible());
    EXPECT_TRUE(panel.StringGrid2.Visible());
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(module.storedAddress, 6);
    // The stored address survives a reset.
    Click(panel.btn13);
    EXPECT_EQ(module.address, 6);
}

TEST_F(ConfigurationTest, SaveAllGivesUpAfterTenSeconds) {
    module.saveDurationNs = 12'000 * kMs;
    const std::int64_t start = clock.NowMs();
    Click(panel.btn15);
    EXPECT_EQ(clock.NowMs() - start, 100 + 10'000);
    EXPECT_EQ(tool.log.Text(),
              "Saving configurations - Please wait...\n Timeout_Error: 21\nError 70.02(15)");
    EXPECT_TRUE(InProgramGroup());
}

TEST_F(ConfigurationTest, ResetViaCodeEndsOnTheFirstByteOfTheAnswer) {
    panel.ComboBox1.SetIndex(1);
    panel.Button37.SetEnabled(true);
    const std::int64_t start = clock.NowMs();
    Click(panel.Button0);
    // 128 bytes out, the pause, the module's turnaround, one byte back.
    EXPECT_LE(clock.NowMs() - start, 134 + 100 + 20 + 2 + 2);
    EXPECT_EQ(tool.log.Text(), "Reset Code OK...");
    EXPECT_EQ(std::vector<std::uint8_t>(LastBlock().begin(), LastBlock().begin() + 4),
              Hex("7E 20 01 02"));
    EXPECT_TRUE(InNormalGroup());
    EXPECT_FALSE(panel.Button37.Enabled());
    EXPECT_FALSE(module.programMode);
    // The rest of the module's answer is thrown away before the next request.
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
}

TEST_F(ConfigurationTest, ACommandWhoseConnectFailsBringsTheProgramGroupBack) {
    device.heldByOtherProgram = true;  // the cable is taken: nothing can be sent
    for (Control* command : {&panel.btn15, &panel.Button0, &panel.Button17, &panel.btn12}) {
        Click(*command);
        EXPECT_TRUE(InProgramGroup()) << command->Name();
    }
}

TEST_F(ConfigurationTest, ABaudRateThatCannotBeSetIsReportedAs32) {
    device.InjectFault(sim::Op::Baud, ft::IoError, 1, /*skip=*/1);  // the open's rate passes
    tool.log.SetText("");
    Click(panel.Button17);
    EXPECT_EQ(tool.log.Text(), "Error: 00.20\n" + MessageTable(32) + "\n");
    EXPECT_TRUE(InProgramGroup());
}

}  // namespace
}  // namespace nuv::test
