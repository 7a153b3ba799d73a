// Every nuvctl command under every fault of the line: exit 1 with a message on standard error
// (or its normal outcome where the fault cannot touch it), within its time, without a crash.
#include <gtest/gtest.h>

#include <filesystem>
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

// A pump that can pull the cable once the command has written.
class HookPump final : public EventPump {
  public:
    void ProcessEvents() override {
        if (hook) hook();
    }
    std::function<void()> hook;
};

struct CliCommand {
    const char* name;
    std::vector<std::string> args;  // after "--simulate"
    std::int64_t maxMs;
    std::set<Fault> survives;  // faults after which it still exits 0
};

std::vector<CliCommand> Commands() {
    const std::set<Fault> moduleFaults{Fault::Silence,     Fault::Noise, Fault::Checksum,
                                       Fault::DroppedByte, Fault::Late,  Fault::Flood,
                                       Fault::Unplug};
    std::set<Fault> all = moduleFaults;
    all.insert({Fault::Busy, Fault::NineDevices});
    const std::string dump =
        (std::filesystem::temp_directory_path() / "nuvctl-fault-dump.dat").string();
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
        {"dump", {"dump", dump}, 3700 + 2 * 1400, {}},
        {"reset", {"reset"}, 3700 + 1400, {}},
        {"search", {"search", "--channel", "0"}, 3700 + 2 * 1400, {}},
        {"sort", {"sort", "--channel", "0", "2800000000000000"}, 3700 + 3 * 1400, {}},
        // Beyond the window's commands: a short scan, and the report with all its steps. A
        // damaged answer still says that a device talks at the address: the scan lists it.
        {"scan", {"scan", "--to", "3"}, 3 * 150, {Fault::Noise, Fault::Checksum, Fault::Flood}},
        {"report", {"report"}, 30000, {}},
        // The cable alone.
        {"reset_usb", {"reset", "--usb"}, 100, moduleFaults},
        {"devices", {"devices"}, 100, all},
        // The boot loader skips what comes before its prompt.
        {"firmware", {"firmware"}, 60000, {Fault::Noise}},
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
                module->bootLoader.faults.noiseBeforePrompt.assign(140 * 1024, 0x55);
                break;
            case Fault::Unplug:
                pump.hook = [this] {
                    if (!unplugged && !device->Written().empty()) {
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
    HookPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice* device = &driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> module = std::make_shared<sim::ModuleSimulator>();
    bool unplugged = false;
};

TEST_P(NuvctlFaultTest, ExitsWithAMessageInTime) {
    const CliCommand command = Commands()[GetParam().command];
    const Fault fault = GetParam().fault;
    Inject(fault);
    std::ostringstream out;
    std::ostringstream err;
    cli::Environment environment{[this](const cli::DriverChoice&) -> FtdiApi& { return driver; },
                                 clock, pump, out, err};
    std::vector<std::string> args{"--simulate"};
    args.insert(args.end(), command.args.begin(), command.args.end());
    const std::int64_t start = clock.NowMs();
    const int status = cli::Run(args, environment);
    EXPECT_LE(clock.NowMs() - start, command.maxMs) << err.str();
    if (command.survives.count(fault) != 0) {
        EXPECT_EQ(status, 0) << err.str();
    } else {
        EXPECT_EQ(status, 1) << out.str();
        EXPECT_NE(err.str().find("nuvctl: "), std::string::npos) << err.str();
    }
    if (fault == Fault::Unplug && command.survives.count(fault) == 0) {
        EXPECT_TRUE(unplugged);
    }
}

INSTANTIATE_TEST_SUITE_P(AllCommandsAllFaults, NuvctlFaultTest, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(Commands()[info.param.command].name) + "_" +
                                    Name(info.param.fault);
                         });

}  // namespace
}  // namespace nuv::test
