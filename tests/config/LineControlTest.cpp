// Reset by USB and the RS485 pass-through switch.
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {
namespace {

using LineControlTest = ToolTest;

TEST_F(LineControlTest, Rs485OnThenOffSwapsTheButtonsAndTheIndicator) {
    sim::SimDevice& module = AddModule();
    Start();
    EXPECT_EQ(panel.pnl6.Colour(), colour::Red);

    Click(panel.ButtonA);
    EXPECT_TRUE(module.Rts());
    EXPECT_EQ(panel.pnl6.Colour(), (Rgb{0, 255, 0}));
    EXPECT_TRUE(panel.Button5.Visible());
    EXPECT_FALSE(panel.ButtonA.Visible());
    EXPECT_EQ(tool.log.Text(), " USB to RS485 mode has been activated...");

    Click(panel.Button5);
    EXPECT_FALSE(module.Rts());
    EXPECT_EQ(panel.pnl6.Colour(), (Rgb{255, 0, 0}));
    EXPECT_FALSE(panel.Button5.Visible());
    EXPECT_TRUE(panel.ButtonA.Visible());
    EXPECT_EQ(tool.log.Text(), " USB to RS485 mode has been turned off...");
}

TEST_F(LineControlTest, AFailingDeviceLeavesTheSwitchAsItWas) {
    sim::SimDevice& module = AddModule();
    Start();
    Click(panel.ButtonA);
    tool.log.SetText("before");
    module.InjectFault(sim::Op::Lines, ft::IoError);
    Click(panel.Button5);  // switching off fails silently
    EXPECT_EQ(tool.log.Text(), "before");
    EXPECT_EQ(panel.pnl6.Colour(), colour::Lime);
    EXPECT_TRUE(panel.Button5.Visible());
    EXPECT_FALSE(panel.ButtonA.Visible());

    module.InjectFault(sim::Op::Lines, ft::Ok, 0);
    Click(panel.Button5);
    module.InjectFault(sim::Op::Lines, ft::IoError);
    Click(panel.ButtonA);
    EXPECT_EQ(tool.log.Text(), " Function Error - Check Device Connection...");
    EXPECT_EQ(panel.pnl6.Colour(), colour::Red);
    EXPECT_TRUE(panel.ButtonA.Visible());
}

TEST_F(LineControlTest, ResetViaUsbPulsesDtrAndBringsTheNormalGroupBack) {
    sim::SimDevice& module = AddModule();
    Start();
    ShowProgramModeControls(panel);
    panel.GroupBox2.SetVisible(true);
    panel.StringGrid2.SetVisible(false);
    panel.Timer1.SetEnabled(true);
    panel.Timer2.SetEnabled(true);
    tool.form2.SetVisible(true);
    panel.Button37.SetEnabled(true);
    DisableAllControls(panel);
    ASSERT_TRUE(panel.btn13.Enabled());  // the reset stays usable while all else is disabled

    Click(panel.btn13);
    ASSERT_EQ(peer->LineChanges().size(), 2U);
    EXPECT_TRUE(peer->LineChanges()[0].dtr);
    EXPECT_FALSE(peer->LineChanges()[1].dtr);
    EXPECT_EQ(peer->LineChanges()[0].atNs, peer->LineChanges()[1].atNs);  // no pause between
    EXPECT_EQ(module.OpenCount(), 2U);  // the command connects anew
    EXPECT_EQ(tool.log.Text(), "Reset via USB OK");
    EXPECT_TRUE(panel.Button38.Enabled());
    EXPECT_TRUE(panel.btn3.Enabled());
    EXPECT_TRUE(panel.btn1.Enabled());
    EXPECT_FALSE(panel.Button39.Enabled());
    EXPECT_FALSE(panel.Button37.Enabled());
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_FALSE(panel.Timer2.Enabled());
    EXPECT_FALSE(tool.form2.visible);
    EXPECT_FALSE(panel.GroupBox2.Visible());
    EXPECT_TRUE(panel.StringGrid2.Visible());
}

TEST_F(LineControlTest, ResetViaUsbStopsAtAFailedConnectOrLine) {
    Start();
    DisableAllControls(panel);
    tool.log.Clear();
    Click(panel.Button20);  // no device: the connect reports 8
    EXPECT_EQ(tool.log.Text(), "Error: 00.08\n" + MessageTable(8) + "\n");
    EXPECT_FALSE(panel.Button38.Enabled());

    sim::SimDevice& module = AddModule();
    module.InjectFault(sim::Op::Lines, ft::IoError, 1, /*skip=*/1);  // the drop fails
    tool.log.Clear();
    Click(panel.Button20);
    EXPECT_EQ(tool.log.Text(), "");
    EXPECT_FALSE(panel.Button38.Enabled());
    EXPECT_TRUE(module.Dtr());
}

TEST_F(LineControlTest, ClearMemoEmptiesTheLog) {
    Start();
    Click(panel.Button19);
    EXPECT_TRUE(tool.log.Empty());
}

}  // namespace
}  // namespace nuv::test
