// nuvctl firmware against the simulated module's boot loader on a virtual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
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
        if (stop) environment.interrupted = stop;
        return cli::Run(args, environment);
    }
    std::function<bool()> stop;

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
              "written and verified by the boot loader\n"
              "waiting for the module to start, then reading its firmware in program mode\n"
              "the module runs firmware 00.48, the build written\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(module.firmwareBuild, 0x48);
}

TEST_F(NuvctlFirmwareTest, ATerminalSeesAProgressBar) {
    ASSERT_EQ(Run({"--simulate", "firmware"}, true), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("writing the pages\n\r[" + std::string(40, '.') + "] 1 %  page 1 of 70\r["),
              std::string::npos);
    EXPECT_NE(text.find("\r[" + std::string(39, '#') + ".] 98 %  page 70 of 70\r[" +
                        std::string(40, '#') + "] 100 %  page 70 of 70\n"),
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
    EXPECT_EQ(Run({"--simulate", "firmware", "--image", path}), 1) << err.str();
    EXPECT_NE(out.str().find(path + " (Intel HEX), 3 B, 1 pages"), std::string::npos);
    std::filesystem::remove(path);
    EXPECT_EQ(module.firmwareBuild, 0xFF);  // an image without a build tag
    EXPECT_EQ(err.str(),
              "nuvctl: the firmware update failed: after the update the module reports firmware "
              "FF.FF: the image written is no firmware it can run\n"
              "Write the carried build: nuvctl firmware\n");

    EXPECT_EQ(Run({"--simulate", "firmware", "--image"}), 2);
    EXPECT_EQ(Run({"--simulate", "firmware", "--force"}), 2);
    EXPECT_NE(err.str().find("'--force' is not an option of firmware"), std::string::npos);
}

// 33 bytes of notes are no firmware: refused before the port is opened.
TEST_F(NuvctlFirmwareTest, ATextFileIsNotWrittenAsFirmware) {
    const std::string path = ::testing::TempDir() + "notes.txt";
    std::ofstream(path) << "These are my notes on module 17.\n";
    EXPECT_EQ(Run({"--simulate", "firmware", "--image", path}), 1);
    std::filesystem::remove(path);
    EXPECT_EQ(err.str(), "nuvctl: firmware file " + path +
                             " is a text file, not a firmware image (neither Intel HEX nor a raw "
                             "binary image); nothing has been sent to the module\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(driver.Device(0).OpenCount(), 0U);
    EXPECT_EQ(module.firmwareBuild, 0x47);
}

TEST_F(NuvctlFirmwareTest, AModuleWithAnotherBuildAfterTheUpdateFails) {
    module.bootLoader.onVerified = nullptr;  // the module goes on with 00.47
    EXPECT_EQ(Run({"--simulate", "firmware"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: the firmware update failed: after the update the module reports firmware "
              "00.47, not the build written (00.48)\n"
              "The update did not take: repeat it.\n");
}

TEST_F(NuvctlFirmwareTest, AModuleSilentInProgramModeIsAWarning) {
    module.faults.silent = -1;
    EXPECT_EQ(Run({"--simulate", "firmware"}), 0);
    EXPECT_EQ(err.str(),
              "nuvctl: warning: the module did not answer in program mode after the update, so "
              "its firmware could not be read: check that the RS485 interface is disconnected and "
              "the USB cable is plugged in, then run: nuvctl info\n");
    EXPECT_NE(out.str().find("written and verified by the boot loader\n"), std::string::npos);
}

// Every way the update can fail, in a sentence with its cause and what to do; none of the
// window's padded lines.
TEST_F(NuvctlFirmwareTest, EveryFailureIsSaidInPlainWords) {
    const std::string mayWait =
        "The module was reset and may wait in its boot loader; its firmware is unchanged. "
        "Repeat the update, or power the module off and on.\n";
    const std::string waits =
        "The module waits in its boot loader and its firmware is incomplete: repeat the update, "
        "or power the module off and on.\n";
    struct Case {
        std::string name;
        std::function<void()> arrange;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"no device", [&] { driver.Device(0).description = "Other"; },
         "nuvctl: the firmware update failed: no device described \"ORNEVA NUV\" or \"ORNEVA "
         "Terminal\" is attached (result 20)\nCheck the USB cable (or --port). Nothing was sent "
         "to the module.\n"},
        {"port held", [&] { driver.Device(0).InjectFault(sim::Op::Open, ft::DeviceNotOpened, 1); },
         "nuvctl: the firmware update failed: cannot open ORNEVA NUV (NUV13001): the driver failed "
         "with status 3 (result 30)\nCheck the port, its permissions and that no other program "
         "holds it. Nothing was sent to the module.\n"},
        {"no prompt", [&] { module.bootLoader.startUpNs = 60'000'000'000; },
         "nuvctl: the firmware update failed: the module's boot loader did not prompt within 5 s "
         "of the reset\nDisconnect the RS485 interface, press SW1 on the module and repeat the "
         "update.\n" +
             mayWait},
        {"status fails", [&] { driver.Device(0).InjectFault(sim::Op::Status, ft::IoError); },
         "nuvctl: the firmware update failed: the port's receive status could not be read while "
         "waiting for the boot loader\nCheck the USB cable and repeat the update.\n" +
             mayWait},
        {"start byte", [&] { driver.Device(0).InjectFault(sim::Op::Write, ft::IoError, 1); },
         "nuvctl: the firmware update failed: the start byte could not be written to the "
         "port\nCheck the USB cable and repeat the update.\n" +
             mayWait},
        {"short identification", [&] { module.bootLoader.faults.identificationBytes = 5; },
         // Five bytes, and the request for the first page after them.
         "nuvctl: the firmware update failed: the boot loader's identification stopped short: 6 "
         "of 8 bytes came within 500 ms\nDisconnect the RS485 interface and repeat the update.\n" +
             mayWait},
        {"other device", [&] { module.bootLoader.faults.wrongIdentificationByte = 0; },
         "nuvctl: the firmware update failed: the device that answered is not the boot loader of "
         "a 10-channel NUV module (its identification differs); no page was sent\nDisconnect "
         "the RS485 interface and repeat the update.\n" +
             mayWait},
        {"request missing", [&] { module.bootLoader.faults.missingRequest = 10; },
         "nuvctl: the firmware update failed: the boot loader did not ask for page 10 within "
         "500 ms\npages not written: 10-69\n" +
             waits},
        {"unexpected byte",
         [&] {
             module.bootLoader.faults.replacedRequest = 7;
             module.bootLoader.faults.replacement = 0x55;
         },
         "nuvctl: the firmware update failed: the boot loader verified, but pages were not "
         "written\nthe boot loader sent 0x55 instead of asking for page 7\npages not written: "
         "7\nRepeat the update.\n"},
        {"flash error", [&] { module.bootLoader.faults.replacedRequest = 5; },
         "nuvctl: the firmware update failed: the boot loader verified, but pages were not "
         "written\nthe boot loader could not write flash page 5 ('@')\npages not written: "
         "5\nRepeat the update.\n"},
        {"no final request", [&] { module.bootLoader.faults.missingRequest = 70; },
         "nuvctl: the firmware update failed: the boot loader did not ask for the end marker "
         "within 500 ms\n" +
             waits},
        {"other final byte",
         [&] {
             module.bootLoader.faults.replacedRequest = 70;
             module.bootLoader.faults.replacement = 0x41;
         },
         "nuvctl: the firmware update failed: the boot loader sent 0x41 instead of asking for the "
         "end marker\n" +
             waits},
        {"verification", [&] { module.bootLoader.faults.corruptPage = 3; },
         "nuvctl: the firmware update failed: the boot loader's check of the written flash "
         "failed ('#')\n" +
             waits},
        {"other verdict", [&] { module.bootLoader.faults.verdict = 0x58; },
         "nuvctl: the firmware update failed: the boot loader sent 0x58 instead of its "
         "verdict\n" +
             waits},
        {"no verdict", [&] { module.bootLoader.faults.verdictSilent = true; },
         "nuvctl: the firmware update failed: the boot loader gave no verdict within 500 ms of "
         "the end marker\n" +
             waits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.Device(0).description = "ORNEVA NUV";
        module.bootLoader.startUpNs = 65'000'000;
        module.bootLoader.faults = {};
        driver.Device(0).InjectFault(sim::Op::Status, ft::Ok, 0);
        c.arrange();
        EXPECT_EQ(Run({"--simulate", "firmware"}), 1);
        EXPECT_EQ(err.str(), c.expected);
        EXPECT_EQ(err.str().find("Error: 00."), std::string::npos);
        EXPECT_EQ(err.str().find("Time Out"), std::string::npos);
    }
}

TEST_F(NuvctlFirmwareTest, ARateThatCannotBeSetIsAWarning) {
    driver.Device(0).InjectFault(sim::Op::Baud, ft::IoError, 1, /*skip=*/1);  // the open's passes
    EXPECT_EQ(Run({"--simulate", "firmware"}), 0);
    EXPECT_EQ(err.str(),
              "nuvctl: warning: the port's rate could not be set to 115200 baud; the update went "
              "on\n");
}

TEST_F(NuvctlFirmwareTest, OnlyAVerifiedWholeImageExitsZero) {
    module.bootLoader.faults.wrongIdentificationByte = 0;
    EXPECT_EQ(Run({"--simulate", "firmware"}), 1);

    module.bootLoader.faults.wrongIdentificationByte = -1;
    module.bootLoader.faults.replacedRequest = 5;
    EXPECT_EQ(Run({"--simulate", "firmware"}), 1);
    EXPECT_EQ(err.str().substr(0, err.str().find('\n')),
              "nuvctl: the firmware update failed: the boot loader verified, but pages were not "
              "written");
    EXPECT_NE(err.str().find("\npages not written: 5\n"), std::string::npos);
    EXPECT_EQ(module.bootLoader.Verdict(), 'V');
}

// Ctrl-C while the pages go out: the update is finished (a module half written runs nothing),
// the stop is said at once, and the module's build is not asked for after it.
TEST_F(NuvctlFirmwareTest, AStopDuringThePagesFinishesTheUpdateAndAsksNothingAfter) {
    stop = [this] { return module.bootLoader.PagesWritten().size() >= 3; };
    EXPECT_EQ(Run({"--simulate", "firmware"}), 130);
    EXPECT_EQ(module.bootLoader.Verdict(), std::optional<std::uint8_t>('V'));
    EXPECT_EQ(module.firmwareBuild, 0x48);
    EXPECT_EQ(err.str(),
              "nuvctl: stopping once the update is finished: a module left half-written would "
              "run no firmware\n"
              "nuvctl: interrupted after the verified update: the module's firmware was not read "
              "back; run: nuvctl info\n");
    EXPECT_NE(out.str().find("written and verified by the boot loader\n"), std::string::npos);
    EXPECT_FALSE(module.programMode);
    // The start-up wait ended at the stop: no program-mode block went out after the update.
    EXPECT_TRUE(module.Blocks().empty());
}

}  // namespace
}  // namespace nuv::test
