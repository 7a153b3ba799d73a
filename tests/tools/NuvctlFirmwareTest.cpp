// nuvctl firmware against the simulated module's boot loader on a virtual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

class NuvctlFirmwareTest : public ::testing::Test {
  protected:
    NuvctlFirmwareTest() {
        device.AttachPeer(moduleOwner);
        module.firmwareBuild = 0x47;
    }

    int Run(const std::vector<std::string>& args, bool terminal = false) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump, out, err};
        environment.outIsTerminal = terminal;
        return cli::Run(args, environment);
    }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(NuvctlFirmwareTest, WritesTheCarriedBuildWithOneLineAStage) {
    ASSERT_EQ(Run({"--simulate", "firmware"}), 0) << err.str();
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "Firmware image: STAND-IN of build 00.48 for development and tests, NOT FOR REAL "
              "MODULES, 17830 B, 70 pages");
    EXPECT_EQ(text.substr(text.find('\n') + 1, 8), "SHA-256:");
    EXPECT_EQ(text.substr(text.find('\n', text.find('\n') + 1) + 1),
              "connecting at 115200 baud\n"
              "resetting the module by DTR and waiting for its boot loader\n"
              "boot loader prompted; checking its identification\n"
              "writing the pages\n"
              "waiting for the boot loader's verdict\n"
              "written and verified by the boot loader\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(module.firmwareBuild, 0x48);
}

TEST_F(NuvctlFirmwareTest, ATerminalSeesAProgressBar) {
    ASSERT_EQ(Run({"--simulate", "firmware"}, true), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("writing the pages\n\r[" + std::string(40, '.') + "] 1 %  page 1 of 70\r["),
              std::string::npos);
    EXPECT_NE(text.find("\r[" + std::string(39, '#') + ".] 98 %  page 70 of 70\n"),
              std::string::npos)
        << text;
}

TEST_F(NuvctlFirmwareTest, AnImageFileIsCheckedBeforeAnythingIsSent) {
    const std::string path = ::testing::TempDir() + "nuvctl-bad.hex";
    std::ofstream(path) << ":03000000010203F8\n:00000001FF\n";
    EXPECT_EQ(Run({"--simulate", "firmware", "--image", path}), 1);
    EXPECT_EQ(err.str(), "nuvctl: firmware file " + path +
                             " is not a usable Intel HEX file: line 1: checksum F8 is wrong (the "
                             "record needs F7); nothing has been sent to the module\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(driver.Device(0).OpenCount(), 0U);

    std::ofstream(path) << ":03000000010203F7\n:00000001FF\n";
    EXPECT_EQ(Run({"--simulate", "firmware", "--image", path}), 0) << err.str();
    EXPECT_NE(out.str().find(path + " (Intel HEX), 3 B, 1 pages"), std::string::npos);
    std::filesystem::remove(path);
    EXPECT_EQ(module.firmwareBuild, 0xFF);  // an image without a build tag

    EXPECT_EQ(Run({"--simulate", "firmware", "--image"}), 2);
    EXPECT_EQ(Run({"--simulate", "firmware", "--force"}), 2);
    EXPECT_NE(err.str().find("'--force' is not an option of firmware"), std::string::npos);
}

TEST_F(NuvctlFirmwareTest, OnlyAVerifiedWholeImageExitsZero) {
    module.bootLoader.faults.wrongIdentificationByte = 0;
    EXPECT_EQ(Run({"--simulate", "firmware"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: the firmware update failed\nThis function support 10-channel ORNEVA NUV "
              "devices only!\n(note, RS485 interface have to be disconnected!)\n");

    module.bootLoader.faults.wrongIdentificationByte = -1;
    module.bootLoader.faults.replacedRequest = 5;
    EXPECT_EQ(Run({"--simulate", "firmware"}), 1);
    EXPECT_EQ(err.str().substr(0, err.str().find('\n')),
              "nuvctl: the firmware update failed: the boot loader verified, but pages were not "
              "written");
    EXPECT_NE(err.str().find("\nPages not written: 5\n"), std::string::npos);
    EXPECT_EQ(module.bootLoader.Verdict(), 'V');
}

}  // namespace
}  // namespace nuv::test
