// The update through the boot loader on the simulated module: the whole transfer, its bytes on
// the wire, and the prompt wait.
#include <set>

#include "measure/Temperatures.hpp"
#include "tests/firmware/FirmwareUpdateFixture.hpp"

namespace nuv::test {
namespace {

TEST_F(FirmwareUpdateTest, TheCarriedImageGoesOutPageByPageAndIsVerified) {
    const std::int64_t start = clock.NowMs();
    Click(panel.btn1);

    EXPECT_EQ(tool.log.Text(), VerifiedLog() + kCarriedBuildRuns);
    // 0 at the start, (p + 1) * 100 / 71 after page p, 100 on the verdict.
    ASSERT_EQ(progress.size(), 72U);
    EXPECT_EQ(progress[0], 0);
    EXPECT_EQ((std::vector<int>{progress[1], progress[2], progress[3], progress[4]}),
              (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(progress[70], 98);
    EXPECT_EQ(progress[71], 100);
    for (std::size_t p = 0; p < 70; ++p) {
        EXPECT_EQ(progress[p + 1], static_cast<int>((p + 1) * 100 / 71)) << p;
    }
    EXPECT_EQ(panel.ProgressBar1.Position(), 100);
    EXPECT_EQ(panel.Edit2.Text(), "70");
    EXPECT_EQ(panel.Edit3.Text(), "70");
    EXPECT_EQ(panel.Edit4.Text(), "17830");

    // The flash holds exactly the image, the rest of the last page 0xFF.
    const std::vector<std::uint8_t>& image = CarriedFirmwareImage().bytes;
    const std::vector<std::uint8_t>& flash = loader.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 17830, flash.begin() + 70 * 256,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(loader.PagesWritten(), Range(0, 69));
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    // The module now runs the build it was given.
    EXPECT_EQ(module.firmwareClass, 0x00);
    EXPECT_EQ(module.firmwareBuild, 0x48);

    // Wire time of 70 pages at 115200 is 1.57 s, flash time 0.63 s; then the module's start-up
    // time and its build read in program mode (two 128-byte blocks each way at 9600 baud,
    // about 0.6 s).
    EXPECT_LT(clock.NowMs() - start, 2500 + kModuleStartUpMs + 800);
    EXPECT_FALSE(enabledDuringUpdate);
    EXPECT_TRUE(panel.windowEnabled);
    EXPECT_EQ(tool.link.LinkBaud(), 9600U);
    EXPECT_EQ(device.Baud(), 9600U);
    EXPECT_TRUE(panel.btn3.Enabled());  // the reset brought the normal commands back

    ASSERT_EQ(ReadTemperatures(tool, 2), 0);
}

// From the reset to the boot loader's verdict the link is the boot loader's: an exchange of
// the module's other protocols, started from the window meanwhile, is refused before a byte of
// it goes out; the program mode that reads the build afterwards has the link again.
TEST_F(FirmwareUpdateTest, NoOtherExchangeDuringTheBootLoadersSession) {
    std::vector<std::string> refusals;
    duringUpdate = [&] {
        if (panel.ProgressBar1.Position() != 50 || !refusals.empty()) return;
        for (const auto& nested : std::vector<std::function<void()>>{
                 [&] { tool.modbus.Transaction(Hex("02 03 00 00 00 01"), 100, 7); },
                 [&] { tool.program.Exchange(MakeProgramBlock(0x30, 0x00), 100, 128); }}) {
            try {
                nested();
            } catch (const std::logic_error& error) {
                refusals.push_back(error.what());
            }
        }
    };
    Click(panel.btn1);
    EXPECT_EQ(refusals,
              (std::vector<std::string>{
                  "a Modbus exchange cannot start while the boot loader's session runs on the link",
                  "a program-mode exchange cannot start while the boot loader's session runs on "
                  "the link"}));
    EXPECT_EQ(tool.log.Text(), VerifiedLog() + kCarriedBuildRuns);
    EXPECT_FALSE(tool.link.ExchangeRunning());
}

TEST_F(FirmwareUpdateTest, TheWireCarriesNumberedScrambledPagesAndTheEndMarker) {
    // 17830 bytes of 01; the stand-in's key "NOT-REAL": odd mask ~52 + 4F = FC, even ~41 - 54 = 6A.
    const FirmwareImage ones{std::vector<std::uint8_t>(17830, 0x01), "ones", false};
    const FirmwareUpdateReport report = UpdateFirmware(tool, ones);
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    // Without a build tag the module comes back naming no firmware: written, but no success.
    EXPECT_EQ(report.outcome, FirmwareOutcome::WrongBuild);

    const std::vector<std::uint8_t>& written = device.Written();
    ASSERT_GT(written.size(), 1 + 70 * 259 + 2U);  // then program mode, at 9600 baud
    EXPECT_EQ(written[0], 0x3C);
    auto frame = [&](std::size_t page, std::size_t offset, std::size_t count) {
        const auto at = written.begin() + static_cast<std::ptrdiff_t>(1 + page * 259 + offset);
        return std::vector<std::uint8_t>(at, at + static_cast<std::ptrdiff_t>(count));
    };
    EXPECT_EQ(frame(0, 0, 4), Hex("00 00 73 A9"));
    EXPECT_EQ(frame(0, 258, 1), Hex("00"));  // 256 * 01
    EXPECT_EQ(frame(1, 0, 2), Hex("00 01"));
    // The last page: 166 bytes 01 (the last at 165, odd, a third), then FF from 166 (even).
    EXPECT_EQ(frame(69, 0, 4), Hex("00 45 73 A9"));
    EXPECT_EQ(frame(69, 2 + 165, 2), Hex("79 C9"));
    EXPECT_EQ(frame(69, 2 + 255, 2), Hex("DD 4C"));
    EXPECT_EQ(frame(70, 0, 2), Hex("FF FF"));
    EXPECT_TRUE(std::equal(ones.bytes.begin(), ones.bytes.end(), loader.Flash().begin()));
    // An image without a build tag: the module cannot name its build.
    EXPECT_EQ(module.firmwareBuild, 0xFF);
}

TEST_F(FirmwareUpdateTest, AFlashErrorSkipsThatPageAndTheUpdateIsNotCalledComplete) {
    loader.faults.replacedRequest = 5;  // '@' instead of the request of page 5
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              Description() +
                  "\nWriting Firmware...\n@ - writing flash page error! Not all "
                  "pages were written - repeat the update!\nPages not written: 5\n");
    EXPECT_EQ(tool.log.Runs().back().colour, colour::ErrorRed);
    std::vector<std::size_t> expected = Range(0, 4);
    for (std::size_t p = 6; p < 70; ++p) expected.push_back(p);
    EXPECT_EQ(PagesOnTheWire(), expected);
    // The boot loader verified what it got, but the module lacks page 5.
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    EXPECT_EQ(panel.ProgressBar1.Position(), 98);
    EXPECT_EQ(loader.Flash()[5 * 256], 0xFF);
}

TEST_F(FirmwareUpdateTest, AWrongIdentificationSendsNothingAfterTheStartByte) {
    loader.faults.wrongIdentificationByte = 3;
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "This function support 10-channel ORNEVA NUV devices only!\n(note, RS485 interface "
              "have to be disconnected!)\n" +
                  std::string(kMayWaitInBootLoader));
    EXPECT_EQ(device.Written(), Hex("3C"));
    EXPECT_TRUE(panel.windowEnabled);
    EXPECT_EQ(tool.link.LinkBaud(), 9600U);
    EXPECT_EQ(module.firmwareBuild, 0x47);
}

// A quick boot loader sends its first request in one batch with its identification, and a
// request right behind a '@': every byte that came is examined in order.
TEST_F(FirmwareUpdateTest, AQuickBootLoadersFirstRequestInTheBatchOfItsIdentificationIsServed) {
    loader.quickRequests = true;
    const FirmwareUpdateReport report = UpdateFirmware(tool, CarriedFirmwareImage());
    EXPECT_EQ(report.outcome, FirmwareOutcome::Verified);
    EXPECT_TRUE(LogStartsWith(VerifiedLog())) << tool.log.Text();
    EXPECT_EQ(loader.PagesWritten(), Range(0, 69));
    EXPECT_EQ(PagesOnTheWire(), Range(0, 69));
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    EXPECT_TRUE(std::equal(CarriedFirmwareImage().bytes.begin(), CarriedFirmwareImage().bytes.end(),
                           loader.Flash().begin()));
}

TEST_F(FirmwareUpdateTest, ARequestRightBehindAFlashErrorIsServed) {
    loader.quickRequests = true;
    loader.faults.replacedRequest = 5;
    Click(panel.btn1);
    std::vector<std::size_t> expected = Range(0, 4);
    for (std::size_t p = 6; p < 70; ++p) expected.push_back(p);
    EXPECT_EQ(PagesOnTheWire(), expected);
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    EXPECT_TRUE(LogStartsWith(Description() +
                              "\nWriting Firmware...\n@ - writing flash page error! Not all "
                              "pages were written - repeat the update!\nPages not written: 5\n"))
        << tool.log.Text();
}

// The boot loader that asks for every page only once it is ready gets the same bytes as it
// always did: the start byte, 70 numbered scrambled pages with their check bytes, FF FF.
TEST_F(FirmwareUpdateTest, APacedBootLoaderSeesTheSameBytesAsBefore) {
    Click(panel.btn1);
    const std::vector<std::uint8_t>& written = device.Written();
    ASSERT_GE(written.size(), 1 + 70 * 259 + 2U);
    const std::span<const std::uint8_t> update(written.data(), 1 + 70 * 259 + 2);
    EXPECT_EQ(Sha256Hex(update),
              "b76bf7c6be4ff8c316444be3927662659a8bfd472a056fec888d66c77869c5f9");
    // '<', page 0, then "NU" of the notice scrambled with the key "NOT-REAL": 'N' ^ 0 ^ 18 ^ 6A,
    // 'U' ^ 1 ^ 55 ^ FC.
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.begin() + 5),
              Hex("3C 00 00 3C FD"));
}

TEST_F(FirmwareUpdateTest, OtherBytesBeforeThePromptAreSkippedEvenInItsBatch) {
    // Twenty bytes arrive right ahead of '>', so the prompt comes in one batch with them.
    loader.faults.noiseBeforePrompt.assign(20, 0x55);
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(), VerifiedLog() + kCarriedBuildRuns);
}

TEST_F(FirmwareUpdateTest, SilenceFor5000MsEndsTheWaitForThePrompt) {
    loader.startUpNs = 60'000 * kMs;  // no prompt
    const std::int64_t start = clock.NowMs();
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Not complete input data\n" + Report(21) + "\n" + kMayWaitInBootLoader);
    EXPECT_GE(clock.NowMs() - start, 5000);
    EXPECT_LT(clock.NowMs() - start, 5100);
    EXPECT_TRUE(device.Written().empty());
    EXPECT_TRUE(recorder.all.find("Reset via USB OK") != std::string::npos);
    EXPECT_TRUE(panel.windowEnabled);
}

// Another device on the bus that never stops talking.
class Chatter final : public sim::Peer {
  public:
    void OnReceive(sim::SimDevice&, std::uint8_t, std::int64_t) override {}
    void OnTime(sim::SimDevice& device, std::int64_t nowNs) override {
        for (; next_ <= nowNs; next_ += 100 * 1'000'000) {
            const std::uint8_t byte[] = {0x55};
            device.Send(byte, next_);
        }
    }

  private:
    std::int64_t next_ = 0;
};

TEST_F(FirmwareUpdateTest, AStreamOfOtherBytesCannotHoldTheWaitBeyondItsBound) {
    device.AttachPeer(std::make_shared<Chatter>());
    const std::int64_t start = clock.NowMs();
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Not complete input data\n" + Report(21) + "\n" + kMayWaitInBootLoader);
    EXPECT_GE(clock.NowMs() - start, kPromptWaitLimitMs);
    EXPECT_LT(clock.NowMs() - start, kPromptWaitLimitMs + 400);  // and the discard before
    EXPECT_TRUE(device.Written().empty());
}

TEST_F(FirmwareUpdateTest, AFailedStatusOrReadEndsTheWaitAtOnce) {
    device.InjectFault(sim::Op::Status, ft::IoError);
    std::int64_t start = clock.NowMs();
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Not complete input data\n" + Report(16) + "\n" + kMayWaitInBootLoader);
    EXPECT_LT(clock.NowMs() - start, 10);

    device.InjectFault(sim::Op::Status, ft::Ok, 0);
    device.InjectFault(sim::Op::Read, ft::IoError);
    start = clock.NowMs();
    Click(panel.btn1);  // the prompt comes, its read fails
    EXPECT_EQ(tool.log.Text(),
              "Not complete input data\n" + Report(15) + "\n" + kMayWaitInBootLoader);
    EXPECT_LT(clock.NowMs() - start, 100);
    EXPECT_TRUE(device.Written().empty());
}

TEST_F(FirmwareUpdateTest, FromTheResetToTheEndNoClickOrTickReachesTheLine) {
    panel.Timer1.SetEnabled(true);
    panel.Timer3.SetEnabled(true);
    bool tried = false;
    duringUpdate = [&] {
        if (tried || panel.ProgressBar1.Position() < 10) return;
        tried = true;
        EXPECT_FALSE(panel.Timer1.Enabled());
        EXPECT_FALSE(panel.Timer3.Enabled());
        EXPECT_TRUE(panel.btn3.Enabled());  // the reset's normal group, under a disabled window
        tool.Click(panel.btn3);
        tool.Click(panel.Button8);
        tool.Tick(panel.Timer1);
    };
    Click(panel.btn1);
    EXPECT_TRUE(tried);
    EXPECT_FALSE(enabledDuringUpdate);
    // Only the entry frame of the build's read-back after the verdict reached the module.
    EXPECT_EQ(module.Requests(),
              (std::vector<std::vector<std::uint8_t>>{Hex("5A 41 46 52 45 4C")}));
    EXPECT_EQ(tool.log.Text(), VerifiedLog() + kCarriedBuildRuns);
    EXPECT_FALSE(panel.Timer1.Enabled());
    EXPECT_FALSE(panel.Timer3.Enabled());
}

TEST_F(FirmwareUpdateTest, WyjscieEndsTheWaitForThePromptBeforeAnythingIsSent) {
    duringUpdate = [&] { tool.Click(panel.Button18); };
    Click(panel.btn1);
    EXPECT_EQ(tool.log.Text(),
              "Firmware update aborted: the module was reset, but no firmware was sent\n" +
                  std::string(kMayWaitInBootLoader));
    EXPECT_TRUE(device.Written().empty());
    EXPECT_TRUE(panel.windowEnabled);
}

}  // namespace
}  // namespace nuv::test
