// After the boot loader verified an update, the module is given its start-up time and asked in
// program mode which build it runs: a module without working firmware, or with another build
// than the carried one that was written, is no success.
#include "firmware/FirmwareCommands.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "tests/firmware/FirmwareUpdateFixture.hpp"

namespace nuv::test {
namespace {

class FirmwareBuildCheckTest : public FirmwareUpdateTest {
  protected:
    FirmwareBuildCheckTest() {
        duringUpdate = [this] {
            if (!verdictAtNs && loader.Verdict()) verdictAtNs = clock.NowNs();
        };
    }
    // An image with a build tag of its own.
    static FirmwareImage TaggedImage(std::uint8_t firmwareClass, std::uint8_t build) {
        FirmwareImage image{std::vector<std::uint8_t>(3000, 0x00), "tagged.bin (raw binary)",
                            false};
        const std::string tag(kBuildTag);
        std::copy(tag.begin(), tag.end(), image.bytes.begin() + 100);
        image.bytes[100 + tag.size()] = firmwareClass;
        image.bytes[101 + tag.size()] = build;
        return image;
    }
    // The log of a verified update, up to the line that tells the build.
    std::string AfterVerified() const {
        const std::string text = tool.log.Text();
        const std::size_t at = text.find(" OK\n\n");
        return at == std::string::npos ? "(not verified) " + text : text.substr(at + 5);
    }
    std::optional<std::int64_t> verdictAtNs;
};

TEST_F(FirmwareBuildCheckTest, TheCarriedBuildIsReadBackAfterTheModulesStartUpTime) {
    const FirmwareUpdateReport report = UpdateFirmware(tool, CarriedFirmwareImage());
    EXPECT_EQ(report.outcome, FirmwareOutcome::Verified);
    EXPECT_TRUE(LogStartsWith(VerifiedLog()));
    EXPECT_EQ(AfterVerified(), "The module runs firmware 00.48, the build written.\n");
    // The entry frame went out after the start-up time, and the module was left in normal mode.
    ASSERT_TRUE(verdictAtNs);
    ASSERT_FALSE(module.RequestTimesNs().empty());
    EXPECT_EQ(module.Requests().back(), Hex("5A 41 46 52 45 4C"));
    EXPECT_GE(module.RequestTimesNs().back() - *verdictAtNs, kModuleStartUpMs * kMs);
    EXPECT_LT(module.RequestTimesNs().back() - *verdictAtNs, (kModuleStartUpMs + 100) * kMs);
    ASSERT_GE(module.Blocks().size(), 2U);
    EXPECT_EQ(module.Blocks()[module.Blocks().size() - 2][1], 0x30);  // the identification
    EXPECT_EQ(module.Blocks().back()[1], 0xAA);                       // the leave
    EXPECT_FALSE(module.programMode);
    EXPECT_FALSE(enabledDuringUpdate);  // also through the check
    EXPECT_TRUE(panel.windowEnabled);
    EXPECT_TRUE(panel.btn3.Enabled());  // the normal group
    EXPECT_EQ(tool.config.maxSensorsPerChannel, 10);
}

TEST_F(FirmwareBuildCheckTest, AModuleThatReportsFFFFAfterTheUpdateIsAFailure) {
    // An image without a build tag: the module comes back without firmware it can name.
    const FirmwareImage ones{std::vector<std::uint8_t>(17830, 0x01), "ones", false};
    const FirmwareUpdateReport report = UpdateFirmware(tool, ones);
    EXPECT_NE(report.outcome, FirmwareOutcome::Verified);
    EXPECT_EQ(loader.Verdict(), bootloader::kVerified);
    EXPECT_EQ(AfterVerified(),
              "The module reports firmware FF.FF after the update: the image written is no "
              "firmware it can run. Write the carried build (Update Firmware).\n");
    EXPECT_EQ(tool.log.Runs().back().colour, colour::ErrorRed);
    EXPECT_FALSE(module.programMode);
}

TEST_F(FirmwareBuildCheckTest, AnotherBuildThanTheCarriedOneIsAFailure) {
    loader.onVerified = nullptr;  // the module goes on with its old build 00.47
    Click(panel.btn1);
    EXPECT_EQ(AfterVerified(),
              "The module reports firmware 00.47 after the update, not the build written (00.48): "
              "the update did not take. Repeat the update.\n");
    EXPECT_EQ(tool.log.Runs().back().colour, colour::ErrorRed);
}

TEST_F(FirmwareBuildCheckTest, AnImageFromAFileMayHoldAnyBuildButFFFF) {
    const FirmwareUpdateReport report = UpdateFirmware(tool, TaggedImage(0x01, 0x50));
    EXPECT_EQ(report.outcome, FirmwareOutcome::Verified);
    EXPECT_EQ(AfterVerified(), "The module runs firmware 01.50.\n");
    EXPECT_EQ(tool.config.maxSensorsPerChannel, 12);  // what the new firmware supports
}

TEST_F(FirmwareBuildCheckTest, AModuleSilentInProgramModeIsAWarningNotAFailure) {
    module.faults.silent = -1;
    const FirmwareUpdateReport report = UpdateFirmware(tool, CarriedFirmwareImage());
    EXPECT_EQ(report.outcome, FirmwareOutcome::Verified);
    EXPECT_EQ(AfterVerified(),
              "The module did not answer in program mode after the update, so its firmware could "
              "not be read: check that the RS485 interface is disconnected and the USB cable is "
              "plugged in, then read the firmware with PROGRAM MODE.\n");
    EXPECT_EQ(tool.log.Runs().back().colour, colour::Hint);
    EXPECT_TRUE(panel.windowEnabled);
    EXPECT_EQ(module.firmwareBuild, 0x48);
}

TEST_F(FirmwareBuildCheckTest, AnIncompleteUpdateIsNotFollowedByTheCheck) {
    loader.faults.replacedRequest = 5;
    Click(panel.btn1);
    EXPECT_TRUE(module.Requests().empty());
    EXPECT_TRUE(module.Blocks().empty());
}

}  // namespace
}  // namespace nuv::test
