// "PROGRAM MODE" and "NORMAL MODE" on the simulated module.
#include "config/ProgramMode.hpp"
#include "model/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

constexpr Rgb kAqua{118, 254, 240};
constexpr Rgb kYellow{255, 255, 128};
constexpr Rgb kRed{242, 27, 21};

using ProgramModeTest = ModuleTest;

// The colour of the log run that holds `text`.
std::optional<Rgb> ColourOf(const MessageLog& log, const std::string& text) {
    for (const LogRun& run : log.Runs()) {
        if (run.text.find(text) != std::string::npos) return run.colour;
    }
    return std::nullopt;
}

TEST_F(ProgramModeTest, EnteringReportsAddressIntervalAndAStandardFirmware) {
    module.Configure(7, 9);
    Click(panel.Button38);
    EXPECT_EQ(tool.log.Text(),
              "Program Mode ON...\nDevice Adress: 7\nMeasure Interval: 9 sec.\n\n"
              "Connected module has firmware that supports standard features of sensor "
              "segregation.\nAutomatic segregation is working correctly for probes made according "
              "to ORNEVA standard...\n\nFirmware support max. 10 sensors per channel!\n");
    EXPECT_EQ(ColourOf(tool.log, "Program Mode ON"), kAqua);
    EXPECT_EQ(ColourOf(tool.log, "Device Adress"), kYellow);
    EXPECT_EQ(ColourOf(tool.log, "max. 10"), kYellow);
    EXPECT_EQ(tool.config.maxSensorsPerChannel, 10);
    EXPECT_TRUE(module.programMode);
    EXPECT_EQ(panel.ComboBox1.Index(), 6);
    EXPECT_EQ(panel.ComboBox3.Index(), 8);
    EXPECT_TRUE(panel.Button39.Enabled());
    EXPECT_TRUE(panel.Button42.Enabled());
    EXPECT_FALSE(panel.Button38.Enabled());
    EXPECT_FALSE(panel.btn3.Enabled());
    // The entry frame, then the identification block built in the same buffer: the frame's
    // characters stay in bytes 0 and 3..5, 0xFF follows.
    EXPECT_EQ(std::vector<std::uint8_t>(device.Written().begin(), device.Written().begin() + 8),
              Hex("5A 41 46 52 45 4C B7 12"));
    ASSERT_EQ(module.Blocks().size(), 1U);
    const auto& block = module.Blocks()[0];
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 8),
              Hex("5A 30 00 52 45 4C FF FF"));
    EXPECT_EQ(block[117], 0xFF);
}

struct Report {
    std::uint8_t firmwareClass;
    std::uint8_t build;
    const char* expected;  // the log after the interval line
    std::uint8_t maxSensors;
};

class FirmwareReportTest : public ProgramModeTest, public ::testing::WithParamInterface<Report> {};

TEST_P(FirmwareReportTest, FollowsTheClassAndTheBuild) {
    const Report& r = GetParam();
    tool.config.maxSensorsPerChannel = 12;  // from an earlier module
    module.firmwareClass = r.firmwareClass;
    module.firmwareBuild = r.build;
    Click(panel.Button38);
    const std::string text = tool.log.Text();
    const std::string head = "Program Mode ON...\nDevice Adress: 2\nMeasure Interval: 4 sec.\n";
    ASSERT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size()), r.expected);
    EXPECT_EQ(tool.config.maxSensorsPerChannel, r.maxSensors);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, FirmwareReportTest,
    ::testing::Values(
        Report{0x12, 0x47,
               "\nConnected module has firmware version 1x.xx\nAutomatic segregation is working "
               "correctly for SOME probes made according to MULTICORE standard...\n\nChange "
               "firmware if you use ORNEVA standard probe...\n\nFirmware support max. 16 sensors "
               "per channel !\n\nConnected module has old firmware v00.47\nYou have to update "
               "firmware to actual version: 00.48\n",
               16},
        Report{0x10, 0x48,
               "\nConnected module has firmware version 1x.xx\nAutomatic segregation is working "
               "correctly for SOME probes made according to MULTICORE standard...\n\nChange "
               "firmware if you use ORNEVA standard probe...\n\nFirmware support max. 10 sensors "
               "per channel !\n",
               10},
        Report{0x01, 0x49,
               "\nConnected module has firmware that supports standard features of sensor "
               "segregation.\nAutomatic segregation is working correctly for probes made "
               "according to ORNEVA standard...\n\nFirmware support max. 12 sensors per channel "
               "!\n",
               12},
        Report{0x21, 0x48,
               "\nConnected module has firmware version 2x.xx\nAutomatic segregation is working "
               "correctly for probes made according to LIROS standard...\n\nChange firmware if "
               "you use ORNEVA standard probe...\n\nFirmware support max. 12 sensors per "
               "channel!\n",
               12},
        Report{0x32, 0x48,
               "\nConnected module has firmware version 3x.xx\nAutomatic segregation is working "
               "correctly for probes made in LIROS & Supertech standard...\n\nChange firmware if "
               "you use ORNEVA standard probe...\n\nFirmware support max. 16 sensors per channel "
               "!\n",
               16},
        // A capacity code without a capacity: no line, the count of the last module stays.
        Report{0x05, 0x48,
               "\nConnected module has firmware that supports standard features of sensor "
               "segregation.\nAutomatic segregation is working correctly for probes made "
               "according to ORNEVA standard...\n",
               12},
        // A standard the tool does not know: still the build check.
        Report{0x40, 0x30,
               "\nWrong firmware version please contact with ORNEVA support...\n\nConnected "
               "module has old firmware v00.30\nYou have to update firmware to actual version: "
               "00.48\n",
               12}));

TEST_F(ProgramModeTest, AnAddressOutsideTheListIsReportedAndSelectsNothing) {
    for (std::uint8_t address : {0, 250}) {
        module.Configure(address, 0);
        Click(panel.Button38);
        const std::string text = tool.log.Text();
        EXPECT_NE(text.find("Device Adress: " + std::to_string(address) +
                            "\nMeasure Interval: 0 sec.\nDevice Adress Error: " +
                            std::to_string(address) + "\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(ColourOf(tool.log, "Device Adress Error"), kRed);
        EXPECT_EQ(panel.ComboBox1.Index(), -1);
        EXPECT_EQ(panel.ComboBox3.Index(), -1);
        EXPECT_TRUE(module.programMode);  // the procedure went on
        Click(panel.Button39);
    }
}

TEST_F(ProgramModeTest, WithoutTheRs485FunctionThePassThroughGoesOffFirst) {
    panel.chk5.SetChecked(false);
    Click(panel.ButtonA);
    ASSERT_TRUE(device.Rts());
    bool buttonsOffWhileWaiting = false;
    pump.onEvents = [&] {
        buttonsOffWhileWaiting |= !panel.ButtonA.Enabled() && !panel.Button5.Enabled() &&
                                  !device.Rts() && device.Written().size() <= 8;
    };
    Click(panel.Button38);
    EXPECT_TRUE(buttonsOffWhileWaiting);
    EXPECT_FALSE(device.Rts());
    EXPECT_EQ(panel.pnl6.Colour(), colour::Red);
    // The hardware version of the cable allows the switch: the last step enables it again.
    EXPECT_TRUE(panel.ButtonA.Enabled());
    EXPECT_TRUE(module.programMode);
}

TEST_F(ProgramModeTest, ASilentModuleStaysInNormalMode) {
    module.faults.silent = 1;
    panel.Timer1.SetEnabled(true);
    Click(panel.Button38);
    EXPECT_EQ(tool.log.Text(),
              "5A 41 46 52 45 4C B7 12 \n\nRecieveError: 11\nError 30.00 Timeout(11)\n");
    EXPECT_EQ(ColourOf(tool.log, "Error 30.00"), kRed);
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_TRUE(panel.Button38.Enabled());
    EXPECT_FALSE(panel.Button39.Enabled());
}

using ProgramModeEntryTest = ToolTest;

// An answer of four bytes to the entry frame, whose CRC fits its first two, and whose last byte
// comes in the wait's final poll, just after the 2500 ms limit: that is no answer, not program
// mode with the CRC's high byte for an interval.
TEST_F(ProgramModeEntryTest, AnAnswerCutShortAtTheTimeLimitIsNoAnswer) {
    AddModule();
    Start();
    tool.log.Clear();
    constexpr std::int64_t kLateNs = 2'498'000'000;  // after the frame's last byte
    peer->ReplyAfter(8, Hex("02 00"));
    peer->ReplyAfter(8, Hex("00 D0"), kLateNs);
    Click(panel.Button38);
    EXPECT_EQ(tool.log.Text(), "5A 41 46 52 45 4C B7 12 \nError 30.00 Timeout(11)\n");
    EXPECT_EQ(peer->Received(), Hex("5A 41 46 52 45 4C B7 12"));  // no identification block
    EXPECT_TRUE(panel.Button38.Enabled());
    EXPECT_FALSE(panel.Button39.Enabled());
    EXPECT_EQ(tool.config.maxSensorsPerChannel, 0);
}

TEST_F(ProgramModeTest, AFailedIdentificationLeavesProgramModeOnWithoutACapacity) {
    module.faults.refuse = 1;
    Click(panel.Button38);
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 16), "Error 20.01(15)\n");
    EXPECT_TRUE(panel.Button39.Enabled());
    EXPECT_EQ(tool.config.maxSensorsPerChannel, 0);
}

TEST_F(ProgramModeTest, NormalModeLeavesAndRestoresTheNormalGroupEvenWithoutAnAnswer) {
    Click(panel.Button38);
    tool.form2.SetVisible(true);
    panel.Button37.SetEnabled(true);
    Click(panel.Button39);
    EXPECT_EQ(tool.log.Text(), "Program Mode OFF...");
    EXPECT_FALSE(module.programMode);
    EXPECT_FALSE(tool.form2.visible);
    EXPECT_FALSE(panel.Button37.Enabled());
    EXPECT_TRUE(panel.Button38.Enabled());
    EXPECT_FALSE(panel.Button39.Enabled());

    Click(panel.Button38);
    module.faults.silent = 1;
    tool.log.SetText("");
    const std::int64_t start = clock.NowMs();
    Click(panel.Button39);
    EXPECT_EQ(tool.log.Text(), "\n Timeout_Error: 21\nError AA.55(15)");
    EXPECT_EQ(clock.NowMs() - start, 100 + 600);
    EXPECT_TRUE(panel.Button38.Enabled());
    EXPECT_TRUE(panel.btn3.Enabled());
    EXPECT_FALSE(panel.Button42.Enabled());
}

TEST_F(ProgramModeTest, ClicksAndTicksDuringTheWaitAreDropped) {
    ShowCyclicStoppedControls(panel);
    panel.Timer1.SetEnabled(true);
    panel.Timer1.SetInterval(1);
    int extraClicks = 0;
    pump.onEvents = [&] {
        if (extraClicks++ < 3) {
            tool.Click(panel.Button38);  // a double click
            tool.Tick(panel.Timer1);     // a tick that fell due
        }
    };
    Click(panel.Button38);
    pump.onEvents = nullptr;
    EXPECT_EQ(module.Requests().size(), 1U);  // one entry frame, no reading
    EXPECT_EQ(module.Blocks().size(), 1U);
    EXPECT_TRUE(module.programMode);
}

TEST_F(ProgramModeTest, TheModuleStaysInProgramModeAcrossOpensOfThePort) {
    Click(panel.Button38);
    Click(panel.Button3);  // "Find USB Devices" closes and opens the port again
    Click(panel.Button17);
    EXPECT_EQ(tool.log.Text(), "Firmware version: 00.48");
}

}  // namespace
}  // namespace nuv::test
