// nuvctl when things go wrong on the way: a module left in program mode, a stop by Ctrl-C or
// SIGTERM, a watch that loses its module, and failures told in plain words.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/SerialPortFtdi.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/ScriptedPeer.hpp"
#include "sim/SimFtdi.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

class NuvctlRecoveryTest : public ::testing::Test {
  protected:
    NuvctlRecoveryTest() {
        device.AttachPeer(moduleOwner);
        folder = ::testing::TempDir() + "nuvctl-recovery-" + std::to_string(::getpid());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    ~NuvctlRecoveryTest() override { std::filesystem::remove_all(folder); }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump, out, err};
        environment.interrupted = [this] { return stop && stop(); };
        return cli::Run(args, environment);
    }
    bool Says(const std::string& text) const { return err.str().find(text) != std::string::npos; }
    std::size_t Count(const std::string& text) const {
        std::size_t n = 0;
        const std::string all = err.str();
        for (std::size_t at = 0; (at = all.find(text, at)) != std::string::npos; at += text.size())
            ++n;
        return n;
    }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    std::ostringstream out;
    std::ostringstream err;
    std::function<bool()> stop;
    std::string folder;
};

// The memory is read in 64 blocks; the module stalls after the tenth (a power dip, a module
// that hangs): the dump fails, and so does the leave of program mode after it.
TEST_F(NuvctlRecoveryTest, ProgramModeLeftByAStallIsSaidWithWhatToDo) {
    auto stalled = std::make_shared<sim::ScriptedPeer>();  // takes bytes, does nothing
    driver.beforeCall = [&] {
        if (module.Blocks().size() >= 11) device.AttachPeer(stalled);
    };
    const std::string file = folder + "/memory.dat";
    EXPECT_EQ(Run({"--simulate", "dump", file}), 1);
    EXPECT_TRUE(
        Says("nuvctl: reading the memory: failed after 640 of 4096 bytes: no answer from "
             "the module (time-out): check the cable and the module's power (result 21); " +
             file + " was not written\n"))
        << err.str();
    EXPECT_TRUE(Says("nuvctl: could not leave program mode: no answer from the module"))
        << err.str();
    EXPECT_TRUE(
        Says("the module may still be in program mode, where it takes no normal-mode "
             "request: run 'nuvctl normal' once it answers again, or switch it off and on"))
        << err.str();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(module.programMode);

    // The module answers again, still in program mode. A normal-mode command says so and what
    // to do, and leaves the module where it is.
    driver.beforeCall = nullptr;
    device.AttachPeer(moduleOwner);
    EXPECT_EQ(Run({"--simulate", "read"}), 1);
    EXPECT_TRUE(
        Says("nuvctl: the module is in program mode (an earlier command, a stall or "
             "--stay left it there) and takes no normal-mode request: run 'nuvctl "
             "normal' to take it back to normal mode (result 17)"))
        << err.str();
    EXPECT_TRUE(module.programMode);

    ASSERT_EQ(Run({"--simulate", "normal"}), 0) << err.str();
    EXPECT_EQ(out.str(), "the module is back in normal mode\n");
    EXPECT_FALSE(module.programMode);
    ASSERT_EQ(Run({"--simulate", "read"}), 0) << err.str();
    // Once more: the module is in normal mode, which is what was asked for.
    ASSERT_EQ(Run({"--simulate", "normal"}), 0) << err.str();
    EXPECT_EQ(out.str(), "the module is in normal mode already (it answers at address 2)\n");
    EXPECT_FALSE(module.programMode);
}

TEST_F(NuvctlRecoveryTest, AfterInfoStayEveryCommandSaysTheModuleIsInProgramMode) {
    ASSERT_EQ(Run({"--simulate", "info", "--stay"}), 0) << err.str();
    EXPECT_TRUE(
        Says("nuvctl: the module stays in program mode as asked; 'nuvctl normal' takes "
             "it back to normal mode\n"))
        << err.str();
    ASSERT_TRUE(module.programMode);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"read"},
                                               {"power"},
                                               {"outputs"},
                                               {"diag"},
                                               {"watch", "--count", "1"},
                                               {"info"},
                                               {"config", "--interval", "9"},
                                               {"reset"},
                                               {"dump", folder + "/memory.dat"},
                                               {"search", "--channel", "1"},
                                               {"scan", "--to", "3"}}) {
        std::vector<std::string> all{"--simulate"};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(Run(all), 1) << args[0];
        EXPECT_EQ(Count("the module is in program mode"), 1U) << args[0] << ": " << err.str();
        EXPECT_TRUE(Says("run 'nuvctl normal'")) << args[0] << ": " << err.str();
        // Told, not taken out of it behind the operator's back.
        EXPECT_TRUE(module.programMode) << args[0];
    }
    EXPECT_EQ(module.intervalSeconds, 4);
    ASSERT_EQ(Run({"--simulate", "normal"}), 0) << err.str();
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(Run({"--simulate", "read"}), 0) << err.str();
}

TEST_F(NuvctlRecoveryTest, NormalWithoutAModuleSaysNeitherAnswered) {
    module.faults.silent = -1;
    EXPECT_EQ(Run({"--simulate", "normal"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: leaving program mode: no answer from the module, neither to the leave "
              "block nor to a normal-mode request at address 2: check the cable, the module's "
              "power and --address (result 21)\n");
    EXPECT_EQ(Run({"--simulate", "normal", "--now"}), 2);
}

// Ctrl-C at the eleventh block of the memory: the command stops there, leaves program mode and
// writes no file.
TEST_F(NuvctlRecoveryTest, AStopEndsADumpAtTheNextExchange) {
    stop = [this] { return module.Blocks().size() >= 11; };
    const std::string file = folder + "/memory.dat";
    EXPECT_EQ(Run({"--simulate", "dump", file}), 130);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(module.programMode);
    // Ten memory blocks and the identification, then only the leave.
    ASSERT_EQ(module.Blocks().size(), 12U);
    EXPECT_EQ(module.Blocks().back()[1], 0xAA);
    EXPECT_EQ(err.str(), "nuvctl: reading the memory: interrupted after 640 of 4096 bytes; " +
                             file +
                             " was not written\nnuvctl: the module is back in normal mode\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(NuvctlRecoveryTest, AStopOverridesStayAndEndsEveryKindOfCommand) {
    // A stop takes the module back to normal mode even when it was to stay.
    stop = [this] { return module.Blocks().size() >= 3; };
    EXPECT_EQ(Run({"--simulate", "search", "--stay"}), 130);
    EXPECT_FALSE(module.programMode);
    EXPECT_LE(module.Blocks().size(), 5U);
    EXPECT_TRUE(Says("nuvctl: interrupted\n")) << err.str();

    // A watch ends before its next reading with its summary.
    const std::size_t before = module.Requests().size();  // the search's entry frame
    stop = [&] { return module.Requests().size() >= before + 2; };
    EXPECT_EQ(Run({"--simulate", "watch", "--interval", "1", "--count", "9", "--sensors", "10"}),
              130);
    EXPECT_EQ(module.Requests().size(), before + 2);
    EXPECT_TRUE(Says("nuvctl: 2 readings, 0 failed\n")) << err.str();

    // Normal-mode commands and a stop that comes before the first exchange.
    stop = [] { return true; };
    EXPECT_EQ(Run({"--simulate", "read"}), 130);
    EXPECT_EQ(err.str(), "nuvctl: interrupted\n");
    EXPECT_EQ(Run({"--simulate", "config", "--address", "7"}), 130);
    EXPECT_EQ(module.address, 2);
}

// A stopped scan says how far it came, not that nothing answered in the whole range; a stopped
// verified dump counts the pieces it read, of both passes.
TEST_F(NuvctlRecoveryTest, AStopSaysHowFarAScanOrAVerifiedDumpCame) {
    stop = [this] { return module.Requests().size() >= 5; };
    EXPECT_EQ(Run({"--simulate", "scan", "--from", "3", "--to", "247"}), 130);
    EXPECT_TRUE(Says("nuvctl: interrupted after 5 of 245 addresses\n")) << err.str();
    EXPECT_FALSE(Says("no module answered")) << err.str();

    // The identification, then 64 pieces of the first pass and 6 of the second.
    stop = [this] { return module.Blocks().size() >= 71; };
    const std::string file = folder + "/memory.dat";
    EXPECT_EQ(Run({"--simulate", "dump", file, "--verify"}), 130);
    EXPECT_EQ(err.str(), "nuvctl: reading the memory: interrupted after 70 of 128 piece reads; " +
                             file +
                             " was not written\nnuvctl: the module is back in normal mode\n");
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A firmware whose class names no capacity: the identification came, so that is what is said.
TEST_F(NuvctlRecoveryTest, AFirmwareClassWithoutACapacityIsNamedAsSuch) {
    module.firmwareClass = 0x07;
    for (const char* command : {"search", "sort"}) {
        std::vector<std::string> args{"--simulate", command, "--channel", "1"};
        if (std::string(command) == "sort") {
            args.insert(args.end(), {"28AA000000000011", "28BB000000000022"});
        }
        EXPECT_EQ(Run(args), 1) << command;
        EXPECT_TRUE(
            Says("nuvctl: the module did not say how many sensors a channel has: its "
                 "firmware class names no number of sensors per channel; check the "
                 "firmware with nuvctl info\n"))
            << command << ": " << err.str();
        EXPECT_FALSE(Says("result 0")) << err.str();
        EXPECT_FALSE(module.programMode);
    }
}

TEST_F(NuvctlRecoveryTest, AStopEndsAReportWithoutWritingIt) {
    // Stopped during the search of the channels: the memory is never read.
    stop = [this] { return module.Blocks().size() >= 4; };
    const std::string file = folder + "/visit.txt";
    EXPECT_EQ(Run({"--simulate", "report", file}), 130);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit-memory.dat"));
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(err.str(),
              "nuvctl: the module is back in normal mode\nnuvctl: interrupted; the "
              "report was not written to " +
                  file + "\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(NuvctlRecoveryTest, SigtermGivesItsOwnStatus) {
    stop = [this] { return module.Blocks().size() >= 5; };
    const std::string file = folder + "/memory.dat";
    out.str("");
    err.str("");
    cli::Environment environment{[this](const cli::DriverChoice&) -> FtdiApi& { return driver; },
                                 clock, pump, out, err};
    environment.interrupted = stop;
    environment.stopSignal = [] { return SIGTERM; };
    EXPECT_EQ(cli::Run({"--simulate", "dump", file}, environment), 143);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(module.programMode);
}

// A watch whose module goes away: the first failure of each kind in a sentence, every failure
// in the logger's lines, a summary, and exit 1.
TEST_F(NuvctlRecoveryTest, WatchSaysTheFirstFailureOfEachKindAndEndsWithASummary) {
    // The first two readings get no answer, the third one is read, then the cable goes.
    driver.beforeCall = [this] {
        if (module.Requests().size() < 2) {
            module.faults.silent = -1;
        } else if (module.Requests().size() == 2) {
            module.faults.silent = 0;
        } else if (!device.IsOpen()) {  // the fourth reading connects
            driver.Unplug(0);
            driver.beforeCall = nullptr;
        }
    };
    EXPECT_EQ(Run({"--simulate", "watch", "--count", "5", "--interval", "1", "--sensors", "10"}),
              1);
    EXPECT_EQ(Count("nuvctl: reading 1 failed: no answer from the module (time-out): check the "
                    "cable, the port and --address (result 17)\n"),
              1U)
        << err.str();
    EXPECT_EQ(Count("Data Timeout Couner"), 2U) << err.str();
    EXPECT_EQ(Count("nuvctl: reading 4 failed: no device found: plug in the module's USB cable, "
                    "or name its port with --port (result 8)\n"),
              1U)
        << err.str();
    EXPECT_EQ(Count("nuvctl: reading 5 failed"), 0U) << err.str();
    EXPECT_TRUE(Says("nuvctl: 5 readings, 4 failed\n")) << err.str();
    // Every reading has its row, the failed ones too.
    std::istringstream rows(out.str());
    std::size_t lines = 0;
    for (std::string line; std::getline(rows, line);) ++lines;
    EXPECT_EQ(lines, 6U);
}

TEST_F(NuvctlRecoveryTest, WatchOnAPortThatCannotBeOpenedNamesThePathAndTheReason) {
    std::unique_ptr<SerialPortFtdi> ports;
    std::ostringstream output;
    std::ostringstream errors;
    cli::Environment environment{
        [&ports](const cli::DriverChoice& choice) -> FtdiApi& {
            ports = std::make_unique<SerialPortFtdi>(
                std::vector<ExplicitPort>{{choice.port, "ORNEVA NUV", ""}});
            return *ports;
        },
        clock, pump, output, errors};
    EXPECT_EQ(
        cli::Run({"--port", "/nonexistent-nuv-port", "watch", "--count", "3", "--interval", "1"},
                 environment),
        1);
    const std::string text = errors.str();
    EXPECT_NE(text.find("nuvctl: reading 1 failed: cannot open /nonexistent-nuv-port: No such "
                        "file or directory (result 30)\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("reading 2 failed"), std::string::npos) << text;
    EXPECT_NE(text.find("nuvctl: 3 readings, 3 failed (no reading succeeded)\n"), std::string::npos)
        << text;
}

}  // namespace
}  // namespace nuv::test
