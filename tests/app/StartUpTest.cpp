// Start-up of the tool and the control groups that commands switch between.
#include "config/LineControl.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {
namespace {

using StartUpTest = ToolTest;

TEST_F(StartUpTest, TitleAndFirmwareTexts) {
    Start();
    EXPECT_EQ(panel.title, " ORNEVA NUV Tool v5.5 - firmware v00.48");
    EXPECT_EQ(panel.Label14.Caption(), "Use bellow function for firmware update to version: 00.48");
    EXPECT_EQ(panel.Label27.Caption(),
              "Firmware support segregation: STANDARD ORNEVA    Maximum 10 sensors per channel");
    EXPECT_EQ(panel.activePage, kPageConfiguration);
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_FALSE(panel.Timer3.Enabled());
    EXPECT_EQ(panel.Timer1.Interval(), 60000U);
    EXPECT_EQ(panel.Timer3.Interval(), 1800U);
    EXPECT_EQ(panel.Timer2.Interval(), 2000U);
    EXPECT_EQ(panel.Timer4.Interval(), 500U);
    EXPECT_FALSE(panel.Timer2.Enabled());
    EXPECT_FALSE(panel.Timer4.Enabled());
    EXPECT_FALSE(tool.form2.visible);
}

TEST_F(StartUpTest, WithoutDeviceTheLogReportsEightAndTheRs485ButtonsAreOff) {
    Start();
    EXPECT_EQ(tool.log.Text(), "Error: 00.08\n" + MessageTable(8) + "\n");
    EXPECT_FALSE(panel.ButtonA.Enabled());
    EXPECT_FALSE(panel.Button5.Enabled());
    EXPECT_EQ(panel.StringGrid1.Cell(0, 1), "");
}

TEST_F(StartUpTest, WithTheModuleItIsOpenAndTheRs485ButtonsFollowTheHardware) {
    AddModule("NUV13001");
    Start();
    EXPECT_EQ(tool.log.Text(), "");
    EXPECT_TRUE(tool.link.IsOpen());
    EXPECT_EQ(panel.StringGrid1.Cell(2, 1), "USED BY THIS PROGRAM");
    EXPECT_TRUE(panel.ButtonA.Enabled());
    EXPECT_TRUE(panel.Button5.Enabled());

    driver.Device(0).serial = "NUV12001";
    Click(panel.Button3);
    EXPECT_EQ(tool.log.Text(), "ORNEVA Device detected...");
    EXPECT_FALSE(panel.ButtonA.Enabled());

    tool.FormClose();
    EXPECT_FALSE(driver.Device(0).IsOpen());
}

TEST_F(StartUpTest, FindUsbDevicesReplacesTheLog) {
    Start();
    tool.log.AppendLine("old text");
    AddModule();
    Click(panel.Button3);
    EXPECT_EQ(tool.log.Text(), "ORNEVA Device detected...");
    EXPECT_EQ(panel.StringGrid1.Cell(0, 1), "ORNEVA NUV");
    EXPECT_EQ(panel.StringGrid1.Cell(1, 1), "NUV13001");
    EXPECT_EQ(panel.StringGrid1.Cell(2, 1), "USED BY THIS PROGRAM");

    driver.Device(0).heldByOtherProgram = true;
    Click(panel.Button3);
    EXPECT_EQ(tool.log.Text(), "");  // 5 reports nothing and the list shows the busy device
    EXPECT_EQ(panel.StringGrid1.Cell(2, 1), "BUSY (uses by other program)");
}

TEST_F(StartUpTest, GridHeadersAndSelectors) {
    Start();
    const StringGrid& g2 = panel.StringGrid2;
    EXPECT_EQ(g2.Cell(0, 0), "Level");
    EXPECT_EQ(g2.Cell(1, 0), "Channel 0");
    EXPECT_EQ(g2.Cell(37, 0), "Channel 9");
    EXPECT_EQ(g2.Cell(38, 0), "T.HI");
    EXPECT_EQ(g2.Cell(39, 0), "T.LO");
    EXPECT_EQ(g2.Cell(40, 0), "T['C]");
    EXPECT_EQ(g2.Cell(0, 12), "12");
    EXPECT_EQ(g2.Cell(0, 16), "16");  // held below the 13 rows shown
    EXPECT_EQ(g2.RowCount(), 13U);

    const StringGrid& g3 = panel.StringGrid3;
    EXPECT_EQ(g3.Cell(0, 0), " Level");
    EXPECT_EQ(g3.Cell(1, 0), " Canal 0");
    EXPECT_EQ(g3.Cell(10, 0), " Canal 9");
    EXPECT_EQ(g3.Cell(0, 16), "      16");
    EXPECT_EQ(g3.RowCount(), 11U);
    EXPECT_EQ(g3.DefaultRowHeight(), 25);

    EXPECT_EQ(panel.ComboBox1.Items().size(), 247U);
    EXPECT_EQ(panel.ComboBox1.Items().front(), "       1");
    EXPECT_EQ(panel.ComboBox1.Text(), "       2");
    EXPECT_EQ(panel.ComboBox2.Items().back(), "    247");
    EXPECT_EQ(panel.ComboBox2.Index(), 1);
    EXPECT_EQ(panel.ComboBox3.Items().size(), 255U);
    EXPECT_EQ(panel.ComboBox3.Text(), "       4");
    EXPECT_EQ(panel.ComboBox4.Items().back(), " 255");
    EXPECT_EQ(panel.ComboBox4.Index(), 3);
    EXPECT_EQ(panel.ComboBox6.Text(), " max. 10 sensors/channel");
    EXPECT_EQ(panel.StringGrid1.Cell(1, 0), " Hardware version");

    const StringGrid& g4 = tool.form2.StringGrid4;
    EXPECT_EQ(g4.Cell(0, 0), "Poziom");
    EXPECT_EQ(g4.Cell(5, 0), " Posegregowane Sensory");
    EXPECT_EQ(g4.Cell(0, 10), "10");
    EXPECT_EQ(g4.Cell(0, 11), "");
    EXPECT_EQ(tool.form2.Button1.Caption(), "Zapisz bierzący uklad");
}

// Names of the enabled controls among `names`.
std::vector<std::string> EnabledOf(MainPanel& panel, const std::vector<std::string>& names) {
    std::vector<std::string> enabled;
    for (const std::string& name : names) {
        Control* control = panel.Find(name);
        EXPECT_NE(control, nullptr) << name;
        if (control != nullptr && control->Enabled()) enabled.push_back(name);
    }
    return enabled;
}

const std::vector<std::string> kProgramCommands{
    "Button11",  "Button22", "Button23", "Button29", "Button28", "Button27", "Button26",
    "Button24",  "Button25", "Button30", "Button9",  "Button10", "Button12", "Button13",
    "Button15",  "Button16", "Button31", "Button32", "Button33", "Button34", "Button35",
    "Button45",  "Button48", "Button49", "Button50", "Button52", "Button53", "Button54",
    "Button55",  "Button56", "Button57", "Button42", "Button39", "btn15",    "ComboBox1",
    "ComboBox3", "btn12",    "btn11",    "Button17", "Button0"};
const std::vector<std::string> kNormalCommands{"Button40", "Button7", "Button14", "chk1",
                                               "chk2",     "chk3",    "chk4",     "Button38",
                                               "btn3",     "btn5",    "btn7",     "Button8"};
// Controls that no group touches.
const std::vector<std::string> kUntouched{
    "Button3", "btn13",    "Button20", "ButtonA",  "Button5",   "Button51",  "btn2",      "btn8",
    "btn9",    "Button21", "Button6",  "Button41", "ComboBox2", "ComboBox4", "ComboBox6", "chk5"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(StartUpTest, ProgramModeGroup) {
    Start();
    ShowProgramModeControls(panel);
    EXPECT_EQ(EnabledOf(panel, kProgramCommands), kProgramCommands);
    EXPECT_EQ(EnabledOf(panel, Join(kNormalCommands, {"btn6"})), std::vector<std::string>{});
    EXPECT_FALSE(panel.Button37.Enabled());  // "Exit " belongs to the running procedure
    EXPECT_TRUE(panel.btn1.Enabled());       // untouched by this group
}

TEST_F(StartUpTest, NormalModeGroupAndTheLayoutAgreeOnCommands) {
    Start();
    // At start the window shows the normal commands enabled and the program commands disabled
    // (the two selectors of program mode aside, which the layout leaves enabled).
    EXPECT_EQ(EnabledOf(panel, kNormalCommands), kNormalCommands);
    EXPECT_EQ(EnabledOf(panel, kProgramCommands),
              (std::vector<std::string>{"ComboBox1", "ComboBox3"}));

    ShowProgramModeControls(panel);
    ShowNormalModeControls(panel);
    EXPECT_EQ(EnabledOf(panel, Join(kNormalCommands, {"btn1"})), Join(kNormalCommands, {"btn1"}));
    EXPECT_EQ(EnabledOf(panel, Join(kProgramCommands, {"btn6"})), std::vector<std::string>{});
}

TEST_F(StartUpTest, DisableAllAndTheCyclicGroups) {
    AddModule();
    Start();
    ShowProgramModeControls(panel);
    panel.Button37.SetEnabled(true);
    DisableAllControls(panel);
    const auto everything =
        Join(Join(kProgramCommands, kNormalCommands), {"btn6", "Button37", "btn1"});
    EXPECT_EQ(EnabledOf(panel, everything), std::vector<std::string>{});
    // Controls outside the groups keep their state: the reset by USB stays usable.
    EXPECT_EQ(EnabledOf(panel, kUntouched), kUntouched);

    ShowCyclicRunningControls(panel);
    EXPECT_EQ(EnabledOf(panel, everything), std::vector<std::string>{"btn6"});

    ShowCyclicStoppedControls(panel);
    EXPECT_EQ(EnabledOf(panel, everything), Join(kNormalCommands, {"btn1"}));
}

TEST_F(StartUpTest, EveryControlHasAUniqueName) {
    std::vector<std::string> names;
    for (const Control* control : panel.All()) names.push_back(control->Name());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    for (Control* control : panel.All()) EXPECT_EQ(panel.Find(control->Name()), control);
    EXPECT_EQ(panel.Find("Button38"), &panel.Button38);
    EXPECT_EQ(panel.Find("nothing"), nullptr);
}

TEST_F(StartUpTest, AnErrorEscapingAHandlerIsShownAndTheToolGoesOn) {
    Start();
    tool.Run([] { throw std::out_of_range("grid cell outside the grid"); });
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"grid cell outside the grid"});
    Click(panel.btn2);
    EXPECT_EQ(tool.log.Text(), "CRC: 46");
}

}  // namespace
}  // namespace nuv::test
