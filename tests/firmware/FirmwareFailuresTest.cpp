// Every failure of the update: its text, its reported code, and what went out on the wire.
#include "tests/firmware/FirmwareUpdateFixture.hpp"

namespace nuv::test {
namespace {

using FirmwareFailureTest = FirmwareUpdateTest;

TEST(FirmwareNoModuleTest, AFailedConnectIsReportedTwice) {
    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    ConsoleDialogs dialogs;
    Tool tool{driver, clock, pump, dialogs};
    tool.FormCreate();
    const std::string before = tool.log.Text();  // the start-up's own report
    const FirmwareUpdateReport report = UpdateFirmware(tool, CarriedFirmwareImage());
    EXPECT_EQ(report.outcome, FirmwareOutcome::Failed);
    EXPECT_EQ(report.failure, FirmwareFailure::Connect);
    EXPECT_EQ(report.code, 8);
    const std::string eight = ErrorCodeLine(8) + "\n" + MessageTable(8);
    // Nothing was sent, so the log keeps what it showed, and the two reports follow.
    ASSERT_EQ(before.find(eight), 0U);
    EXPECT_EQ(tool.log.Text(), before + eight + "\n" + eight + "\n");
    EXPECT_TRUE(tool.panel.windowEnabled);
    EXPECT_EQ(tool.link.LinkBaud(), 9600U);
}

// A connect that fails comes before the reset: the module goes on as it was, so do the cyclic
// measurement and the APC poll, and the log keeps what it showed.
TEST_F(FirmwareFailureTest, AFailedConnectStartsTheStoppedTimersAgainAndKeepsTheLog) {
    panel.Timer1.SetEnabled(true);
    panel.Timer3.SetEnabled(true);
    tool.form2.SetVisible(true);
    tool.log.SetText("Segregation of channel 3 running");
    device.InjectFault(sim::Op::Open, ft::DeviceNotOpened, 1);
    const FirmwareUpdateReport report = UpdateFirmware(tool, CarriedFirmwareImage());
    EXPECT_EQ(report.outcome, FirmwareOutcome::Failed);
    EXPECT_TRUE(panel.Timer1.Enabled());
    EXPECT_TRUE(panel.Timer3.Enabled());
    EXPECT_TRUE(tool.form2.visible);
    EXPECT_TRUE(LogStartsWith("Segregation of channel 3 running\n" + Report(30)))
        << tool.log.Text();
    EXPECT_EQ(tool.log.Text().find("Firmware image:"), std::string::npos);
    EXPECT_EQ(module.dtrPulses, 0U);
    EXPECT_TRUE(device.Written().empty());

    // Once the connect succeeded, the log shows the image, and the timers stay stopped: the
    // reset ends what they drove.
    Click(panel.btn1);
    EXPECT_TRUE(LogStartsWith(VerifiedLog()));
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_FALSE(panel.Timer3.Enabled());
}

// After the reset the module is in its boot loader's hands: the log says so, and what to do.
TEST_F(FirmwareFailureTest, AFailureAfterTheResetSaysTheModuleWaitsInItsBootLoader) {
    const std::string unchanged = kMayWaitInBootLoader;
    const std::string incomplete = kWaitsInBootLoader;
    loader.startUpNs = 60'000 * kMs;  // no prompt
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), "Not complete input data\n" + Report(21) + "\n" + unchanged);
    EXPECT_EQ(tool.log.Runs().back().colour, colour::Hint);

    loader.startUpNs = 65 * kMs;
    loader.faults.missingRequest = 10;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), Report(21) + "\nPages not written: 10-69\n" + incomplete);

    loader.faults.missingRequest = -1;
    loader.faults.corruptPage = 3;
    Click(panel.btn1);
    EXPECT_EQ(
        tool.log.Text(),
        Description() + "\nWriting Firmware... Page veryfication error 1F700 !!!\n\n" + incomplete);
}

TEST_F(FirmwareFailureTest, ABaudRateThatCannotBeSetIsReportedAndTheUpdateGoesOn) {
    device.InjectFault(sim::Op::Baud, ft::IoError, 1, /*skip=*/1);  // the open's passes
    Click(panel.btn1);
    EXPECT_NE(recorder.all.find(ErrorCodeLine(32) + "\n" + MessageTable(32)), std::string::npos);
    EXPECT_EQ(tool.log.Text(), VerifiedLog() + kCarriedBuildRuns);
}

TEST_F(FirmwareFailureTest, TheStartByteCannotBeSent) {
    device.InjectFault(sim::Op::Write, ft::IoError);
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), "Send error - 0x3C\n" + Report(19) + "\n" + kMayWaitInBootLoader);
    EXPECT_TRUE(device.Written().empty());
}

TEST_F(FirmwareFailureTest, AShortIdentification) {
    loader.faults.identificationBytes = 5;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Not complete input data (5B)\n" + Report(28) + "\n" + kMayWaitInBootLoader);
    EXPECT_EQ(device.Written(), Hex("3C"));
}

TEST_F(FirmwareFailureTest, NoRequestForAPageEndsTheTransfer) {
    loader.faults.missingRequest = 10;
    Click(panel.btn1);
    EXPECT_NE(recorder.all.find("\n01 @ PageNumber: 10"), std::string::npos);
    // The final exchange finds no request either; the pages not written stay in the log.
    EXPECT_EQ(tool.log.Text(), Report(21) + "\nPages not written: 10-69\n" + kWaitsInBootLoader);
    EXPECT_EQ(PagesOnTheWire(), Range(0, 9));
}

TEST_F(FirmwareFailureTest, APageNumberThatCannotBeSentEndsTheTransfer) {
    // Writes: the start byte, then three a page; the 11th is the number of page 3.
    device.InjectFault(sim::Op::Write, ft::IoError, 1, /*skip=*/10);
    Click(panel.btn1);
    EXPECT_NE(recorder.all.find("\nBlad w wysylaniu danych FTDI po '!'"), std::string::npos);
    EXPECT_EQ(tool.log.Text(), Report(21) + "\nPages not written: 3-69\n" + kWaitsInBootLoader);
    EXPECT_EQ(PagesOnTheWire(), Range(0, 2));
}

TEST_F(FirmwareFailureTest, APageWhoseBytesCannotBeSentIsNotWritten) {
    // The 15th write is the 256 bytes of page 4: its number and check byte go out without them,
    // so the boot loader waits for the rest and asks for nothing more.
    device.InjectFault(sim::Op::Write, ft::IoError, 1, /*skip=*/14);
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), Report(21) + "\nPages not written: 4-69\n" + kWaitsInBootLoader);
    EXPECT_EQ(panel.ProgressBar1.Position(), 5 * 100 / 71);
}

TEST_F(FirmwareFailureTest, AnUnexpectedByteInPlaceOfARequestSkipsThatPage) {
    loader.faults.replacedRequest = 7;
    loader.faults.replacement = 0x55;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Wrong data (expect: '0x21' or '0x40'), received: 0x55 Not all pages were written - "
              "repeat the update!\nPages not written: 7\n");
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
}

TEST_F(FirmwareFailureTest, NoFinalRequest) {
    loader.faults.missingRequest = 70;  // the request for the end marker
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), Report(21) + "\n" + kWaitsInBootLoader);
    EXPECT_EQ(PagesOnTheWire(), Range(0, 69));
    EXPECT_FALSE(loader.Verdict());
}

TEST_F(FirmwareFailureTest, AFinalByteOtherThanARequestReportsCodeZero) {
    loader.faults.replacedRequest = 70;
    loader.faults.replacement = 0x41;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), " Veryfication error - 0x41\nError: 00.00\nERROR\n" +
                                   std::string(kWaitsInBootLoader));
    std::vector<std::uint8_t> rest;
    PagesOnTheWire(&rest);
    EXPECT_TRUE(rest.empty());  // no end marker
}

TEST_F(FirmwareFailureTest, ThePageVerificationFails) {
    loader.faults.corruptPage = 3;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), Description() +
                                   "\nWriting Firmware... Page veryfication error 1F700 !!!\n\n" +
                                   kWaitsInBootLoader);
    EXPECT_EQ(loader.Verdict(), bootloader::kVerifyFailed);
    EXPECT_EQ(panel.ProgressBar1.Position(), 98);
    EXPECT_EQ(module.firmwareBuild, 0x47);
}

TEST_F(FirmwareFailureTest, AnotherVerdictOrNoneAtAll) {
    loader.faults.verdict = 0x58;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), Description() +
                                   "\nWriting Firmware...Wrong data (expect: '0x56' or '0x23'), "
                                   "received: 0x58\n" +
                                   kWaitsInBootLoader);
    // Nothing after the end marker: the time-out, not a byte that never came.
    loader.faults.verdict = 0;
    loader.faults.verdictSilent = true;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              Description() + "\nWriting Firmware...\n" + Report(21) + "\n" + kWaitsInBootLoader);
    EXPECT_EQ(panel.ProgressBar1.Position(), 98);
}

}  // namespace
}  // namespace nuv::test
