// Every nuvctl command under every fault of the line: exit 1 with a message on standard error
// (or its normal outcome where the fault cannot touch it), within its time, without a crash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "sensors/SensorCommon.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

enum class Fault { Silence, Noise, Checksum, DroppedByte, Late, Flood, Unplug, Busy, NineDevices };
constexpr int kFaults = 9;
constexpr std::int64_t kMs = 1'000'000;

const char* Name(Fault fault) {
    static constexpr const char* kNames[] = {"Silence", "Noise",  "Checksum", "DroppedByte", "Late",
                                             "Flood",   "Unplug", "Busy",     "NineDevices"};
    return kNames[static_cast<int>(fault)];
}

// nuvctl has no window to keep alive during its waits.
class IdlePump final : public EventPump {
  public:
    void ProcessEvents() override {}
};

struct CliCommand {
    const char* name;
    std::vector<std::string> args;  // after "--simulate"
    std::int64_t maxMs;
    std::set<Fault> survives;  // faults after which it still exits 0
    // The cable goes at the command's first driver call (a command without an exchange).
    bool unplugAtFirstCall = false;
};

std::vector<CliCommand> Commands() {
    const std::set<Fault> moduleFaults{Fault::Silence,     Fault::Noise, Fault::Checksum,
                                       Fault::DroppedByte, Fault::Late,  Fault::Flood};
    return {
        {"read", {"read"}, 3500, {}},
        {"watch", {"watch", "--count", "1"}, 3500, {}},
        {"power", {"power"}, 3500, {}},
        {"outputs", {"outputs"}, 3500, {}},
        {"outputs_set", {"outputs", "--set", "5"}, 3500, {}},
        {"diag", {"diag"}, 3500, {}},
        {"diag_clear", {"diag", "--clear"}, 3500, {}},
        // Program mode: entering it, the command, and leaving it again.
        {"info", {"info"}, 3700 + 1400, {}},
        {"config", {"config", "--address", "5"}, 3700 + 2 * 1400, {}},
        {"config_interval", {"config", "--interval", "9"}, 3700 + 2 * 1400, {}},
        // The save waits up to 10 s for the module's answer.
        {"config_save", {"config", "--save"}, 3700 + 1400 + 2 * 10'000, {}},
        {"dump", {"dump", "@dump"}, 3700 + 2 * 1400, {}},
        {"reset", {"reset"}, 3700 + 1400, {}},
        {"search", {"search", "--channel", "0"}, 3700 + 2 * 1400, {}},
        {"search_all", {"search"}, 3700 + 11 * 1400, {}},
        {"sort", {"sort", "--channel", "0", "2800000000000000"}, 3700 + 3 * 1400, {}},
        // Beyond the window's commands: a short scan, and the report with all its steps. A
        // damaged answer still says that a device talks at the address: the scan lists it.
        // When none answers, one program-mode block asks whether the module is in program mode.
        {"scan",
         {"scan", "--to", "3"},
         3 * 150 + 1100,
         {Fault::Noise, Fault::Checksum, Fault::Flood}},
        {"report", {"report"}, 30000, {}},
        // The cable alone.
        {"reset_usb", {"reset", "--usb"}, 100, moduleFaults},
        // A listing: a busy cable, more cables than the list holds or none at all (the cable
        // gone before it looks) are what it shows.
        {"devices",
         {"devices"},
         100,
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood, Fault::Unplug, Fault::Busy, Fault::NineDevices},
         true},
        // The boot loader skips what comes before its prompt.
        {"firmware", {"firmware"}, 60000, {Fault::Noise}},
        {"firmware_image", {"firmware", "--image", "@hex"}, 60000, {Fault::Noise}},
    };
}

struct Cell {
    std::size_t command;
    Fault fault;
};

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (std::size_t c = 0; c < Commands().size(); ++c) {
        for (int f = 0; f < kFaults; ++f) cells.push_back({c, static_cast<Fault>(f)});
    }
    return cells;
}

class NuvctlFaultTest : public ::testing::TestWithParam<Cell> {
  protected:
    NuvctlFaultTest() {
        device->AttachPeer(module);
        module->sensorCount.fill(3);
    }
    void Inject(Fault fault) {
        sim::ModuleFaults& f = module->faults;
        switch (fault) {
            case Fault::Silence:
                f.silent = -1;
                module->bootLoader.startUpNs = 3600'000 * kMs;
                break;
            case Fault::Noise:
                f.noise = -1;
                module->bootLoader.faults.noiseBeforePrompt = {0x00, 0xFF, 0x3C};
                break;
            case Fault::Checksum:
                f.corruptCrc = -1;
                module->bootLoader.faults.corruptPage = 3;
                break;
            case Fault::DroppedByte:
                f.dropByte = -1;
                module->bootLoader.faults.identificationBytes = 7;
                break;
            case Fault::Late:
                f.lateNs = 11'000 * kMs;
                module->bootLoader.faults.missingRequest = 4;
                break;
            case Fault::Flood:
                f.flood = -1;
                f.floodAtOnce = true;  // all of it within the command's time limit
                module->bootLoader.faults.noiseBeforePrompt.assign(140 * 1024, 0x55);
                break;
            case Fault::Unplug:
                // The cable goes at the first driver call after the command has written a byte
                // or moved a control line.
                driver.beforeCall = [this] {
                    if (!unplugged && (unplugAtFirstCall || !device->Written().empty() ||
                                       device->Dtr() || device->Rts())) {
                        unplugged = true;
                        driver.Unplug(0);
                    }
                };
                break;
            case Fault::Busy:
                device->heldByOtherProgram = true;
                break;
            case Fault::NineDevices:
                driver.Unplug(0);
                for (int i = 0; i < 8; ++i) {
                    driver.AddDevice("FT232R USB UART", "A" + std::to_string(i));
                }
                driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(module);
                break;
        }
    }

    VirtualClock clock;
    IdlePump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice* device = &driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> module = std::make_shared<sim::ModuleSimulator>();
    bool unplugged = false;
    bool unplugAtFirstCall = false;
};

TEST_P(NuvctlFaultTest, ExitsWithAMessageInTime) {
    const CliCommand command = Commands()[GetParam().command];
    const Fault fault = GetParam().fault;
    unplugAtFirstCall = command.unplugAtFirstCall;
    Inject(fault);
    std::ostringstream out;
    std::ostringstream err;
    cli::Environment environment{[this](const cli::DriverChoice&) -> FtdiApi& { return driver; },
                                 clock, pump, out, err};
    // Files of its own for each cell, so that cells may run side by side.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("nuvctl-fault-" + std::string(Commands()[GetParam().command].name) + "-" + Name(fault) +
         "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::string> args{"--simulate"};
    for (const std::string& arg : command.args) {
        if (arg == "@dump") {
            args.push_back((folder / "memory.dat").string());
        } else if (arg == "@hex") {
            const std::string hex = (folder / "build.hex").string();
            std::ofstream(hex) << ":03000000010203F7\n:01030000AA52\n:00000001FF\n";
            args.push_back(hex);
        } else {
            args.push_back(arg);
        }
    }
    const std::int64_t start = clock.NowMs();
    const int status = cli::Run(args, environment);
    EXPECT_LE(clock.NowMs() - start, command.maxMs) << err.str();
    const std::string message = err.str();
    const auto says = [&](const char* text) { return message.find(text) != std::string::npos; };
    if (command.survives.count(fault) != 0) {
        EXPECT_EQ(status, 0) << message;
    } else {
        EXPECT_EQ(status, 1) << out.str();
        EXPECT_TRUE(says("nuvctl: ")) << message;
        // The message names the fault's side: the cable for a busy or missing one, the module's
        // answer (not the connection) for a fault of the module.
        // (Its code as a result, a logger line's code, or the window's error number.)
        const bool busy = says("result 5") || says(" 0005") || says("Error: 00.05");
        const bool notFound = says("result 20") || says(" 0014") || says("Error: 00.14");
        if (fault == Fault::Busy) {
            EXPECT_TRUE(busy) << message;
        } else if (fault == Fault::NineDevices) {
            EXPECT_TRUE(notFound) << message;
        } else if (fault != Fault::Unplug) {
            EXPECT_FALSE(busy || notFound || says("result 30")) << message;
        }
        // In plain words, not the window's internal texts ("Błąd f-cji Otworz_Port_BOX",
        // "Brak danych", "Time Out").
        const bool firmware = std::string(command.name).rfind("firmware", 0) == 0;
        if (!firmware) {
            EXPECT_FALSE(says("Błąd") || says("Brak danych") || says("Time Out") ||
                         says("Check cables"))
                << message;
        }
    }
    if (fault == Fault::Unplug && command.survives.count(fault) == 0) {
        EXPECT_TRUE(unplugged);
    }
    std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(AllCommandsAllFaults, NuvctlFaultTest, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(Commands()[info.param.command].name) + "_" +
                                    Name(info.param.fault);
                         });

}  // namespace
}  // namespace nuv::test
