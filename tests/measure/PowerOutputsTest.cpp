// Analog power, digital outputs and the module's reset counters.
#include "measure/PowerOutputs.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

using PowerOutputsTest = ModuleTest;

TEST_F(PowerOutputsTest, PowerValuesAreScaledAndShown) {
    module.powerRaw = {500, 1000, 270, 0, 1023, 65535, 27};
    tool.Click(panel.Button8);
    EXPECT_EQ(device.Written(), Hex("02 06 00 00 00 07 C8 3B"));
    EXPECT_EQ(panel.Label7.Caption(), "System: 5.00V");
    EXPECT_EQ(panel.Label6.Caption(), "Main: 12.60V");
    EXPECT_EQ(panel.Label8.Caption(), "C0/1: 0.250A");
    EXPECT_EQ(panel.Label9.Caption(), "C2/3: 0.000A");
    EXPECT_EQ(panel.Label10.Caption(), "C4/5: 0.947A");
    EXPECT_EQ(panel.Label11.Caption(), "C6/7: 60.681A");
    EXPECT_EQ(panel.Label12.Caption(), "C8/9: 0.025A");
    EXPECT_EQ(panel.Memo1.Text(), "19");
    EXPECT_TRUE(panel.Button8.Enabled());
}

TEST_F(PowerOutputsTest, AFailedPowerReadKeepsTheLabels) {
    module.faults.silent = 1;
    tool.Click(panel.Button8);
    EXPECT_EQ(panel.Label6.Caption(), "Main: --.-- V");
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.find("\nError")),
              "\nError 30.00 Timeout (11)\n"
              "Sprawdz interface lub skoryguj adres w Pomiary-Sterowanie... \n");
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{242, 27, 21}));
}

TEST_F(PowerOutputsTest, OutputBoxesWriteTheMaskAndShowIt) {
    panel.chk1.SetChecked(true);
    tool.Click(panel.chk1);
    panel.chk3.SetChecked(true);
    tool.Click(panel.chk3);
    EXPECT_EQ(device.Written(), Hex("02 07 00 00 00 01 75 F9 02 07 00 00 00 05 74 3A"));
    EXPECT_EQ(module.outputs, 5);
    EXPECT_EQ(panel.chk1.Colour(), colour::Red);
    EXPECT_EQ(panel.chk2.Colour(), (Rgb{0, 128, 0}));
    EXPECT_EQ(panel.chk3.Colour(), colour::Red);
    EXPECT_EQ(panel.chk4.Colour(), (Rgb{0, 128, 0}));
    EXPECT_TRUE(panel.OutputsGroup.Enabled());

    panel.chk1.SetChecked(false);
    panel.chk3.SetChecked(false);
    tool.Click(panel.chk3);
    EXPECT_EQ(module.outputs, 0);
    EXPECT_EQ(panel.chk3.Colour(), (Rgb{0, 128, 0}));
}

TEST_F(PowerOutputsTest, TheOutputsGroupIsLockedDuringTheWrite) {
    bool lockedDuringWait = false;
    pump.onEvents = [&] { lockedDuringWait |= !panel.OutputsGroup.Enabled(); };
    tool.Click(panel.chk2);
    EXPECT_TRUE(lockedDuringWait);
    EXPECT_TRUE(panel.OutputsGroup.Enabled());
}

TEST_F(PowerOutputsTest, ReadOutputsColoursTheBoxesAndKeepsTheMarks) {
    module.outputs = 0x0A;
    panel.chk1.SetChecked(true);
    tool.Click(panel.Button40);
    EXPECT_EQ(device.Written(), Hex("02 07 00 00 00 10 B5 F5"));
    EXPECT_EQ(panel.chk1.Colour(), (Rgb{0, 128, 0}));
    EXPECT_EQ(panel.chk2.Colour(), colour::Red);
    EXPECT_EQ(panel.chk3.Colour(), (Rgb{0, 128, 0}));
    EXPECT_EQ(panel.chk4.Colour(), colour::Red);
    EXPECT_TRUE(panel.chk1.Checked());
    EXPECT_FALSE(panel.chk2.Checked());

    module.faults.silent = 1;
    module.outputs = 0x0F;
    tool.Click(panel.Button40);  // no answer: the boxes keep their colours
    EXPECT_EQ(panel.chk1.Colour(), (Rgb{0, 128, 0}));
    EXPECT_TRUE(panel.Button40.Enabled());
}

TEST_F(PowerOutputsTest, TheDiagnosticReportListsTheCountersInItsOrder) {
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    tool.Click(panel.Button7);
    EXPECT_EQ(device.Written(), Hex("02 08 00 00 00 06 60 3A"));
    const std::string text = tool.log.Text();
    const std::string report = text.substr(text.find("\n\n Reset"));
    EXPECT_EQ(report,
              "\n\n Reset Total................................... 7"
              "\n POW - (Turn off MAIN/USB voltage)............. 4"
              "\n EXT - (Reset via USB)......................... 2"
              "\n B0D - (Drop SYSTEM voltage under 4.0V)........ 0"
              "\n WDT - (Reset via WatchDog Timer).............. 1"
              "\n JTG - (Reset via JTAG)........................ 0");
    // The dump stands right before the report, in green.
    EXPECT_NE(text.find("02 08 0C 00 07 00 00 00 01 00 00 00 02 00 04 70 0D \n\n Reset"),
              std::string::npos);
    const auto& runs = tool.log.Runs();
    ASSERT_GE(runs.size(), 3U);
    EXPECT_EQ(runs[runs.size() - 2].colour, (Rgb{255, 255, 128}));
    EXPECT_EQ(runs.back().colour, (Rgb{118, 254, 240}));
}

TEST_F(PowerOutputsTest, CountersAreUnsignedAndClearWorks) {
    module.resetCounters = {65535, 0, 0, 0, 0, 0};
    tool.Click(panel.Button7);
    EXPECT_NE(tool.log.Text().find("Reset Total................................... 65535"),
              std::string::npos);

    tool.Click(panel.Button14);
    EXPECT_EQ(device.Written().size(), 16U);
    EXPECT_EQ(std::vector<std::uint8_t>(device.Written().end() - 8, device.Written().end()),
              Hex("02 08 00 00 00 01 21 F8"));
    EXPECT_EQ(tool.log.Text(),
              "02 08 00 00 00 01 21 F8 \n02 08 00 01 41 9E \n\n Parameters cleared...");
    tool.Click(panel.Button7);
    EXPECT_NE(tool.log.Text().find("Reset Total................................... 0\n POW"),
              std::string::npos);
}

TEST_F(PowerOutputsTest, ASilentModuleGivesNoReport) {
    module.faults.silent = 1;
    tool.Click(panel.Button7);
    EXPECT_EQ(tool.log.Text().find("Reset Total"), std::string::npos);
    EXPECT_NE(tool.log.Text().find("Error 30.00 Timeout (11)"), std::string::npos);
    EXPECT_TRUE(panel.Button7.Enabled());
}

}  // namespace
}  // namespace nuv::test
