// Every command of the window under every fault of the line: it ends with its own message, its
// controls usable again, within its stated time, without a crash or an escaping error.
#include <functional>
#include <set>

#include "app/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

enum class Fault { Silence, Noise, Checksum, DroppedByte, Late, Flood, Unplug, Busy, NineDevices };

// Which controls a command leaves usable after a failure.
enum class After {
    Normal,   // the normal-mode group
    Program,  // the program-mode group
    Cyclic,   // a cyclic run still running: "Stop"
    Polling,  // a segregation still polling, "Exit " at hand
    Locked,   // every command off but the reset by USB, as the end of a segregation leaves them
};

class FaultMatrix;

struct Command {
    const char* name;
    std::function<void(FaultMatrix&)> setup;  // runs without faults
    std::function<void(FaultMatrix&)> run;
    std::int64_t maxMs;  // the longest the command may take under any fault
    After after;
    // Any of these in the log is the command's failure message.
    std::vector<std::string> failure;
    // Faults that leave this command's outcome intact: it succeeds with `success` in the log.
    std::set<Fault> survives;
    std::string success;
};

struct Cell {
    const Command* command;
    Fault fault;
};

const char* Name(Fault fault) {
    static constexpr const char* kNames[] = {"Silence", "Noise",  "Checksum", "DroppedByte", "Late",
                                             "Flood",   "Unplug", "Busy",     "NineDevices"};
    return kNames[static_cast<int>(fault)];
}

class FaultMatrix : public ModuleTest {
  public:
    using ModuleTest::Click;
    using ModuleTest::panel;
    void EnterProgramMode() {
        Click(panel.Button38);
        ASSERT_TRUE(module.programMode) << tool.log.Text();
    }
    void Tick(std::int64_t ms) { RunFor(ms); }

    void Inject(Fault fault) {
        sim::ModuleFaults& f = module.faults;
        switch (fault) {
            case Fault::Silence:
                f.silent = -1;
                module.bootLoader.startUpNs = 3600'000 * kMs;  // the prompt never comes
                break;
            case Fault::Noise:
                f.noise = -1;
                module.bootLoader.faults.noiseBeforePrompt = {0x00, 0xFF, 0x3C};
                break;
            case Fault::Checksum:
                f.corruptCrc = -1;
                module.bootLoader.faults.corruptPage = 3;
                break;
            case Fault::DroppedByte:
                f.dropByte = -1;
                module.bootLoader.faults.identificationBytes = 7;
                break;
            case Fault::Late:
                f.lateNs = 11'000 * kMs;  // beyond every time limit of the tool
                module.bootLoader.faults.missingRequest = 4;
                break;
            case Fault::Flood:
                f.flood = -1;
                // More than the prompt wait allows in all at 115200 baud.
                module.bootLoader.faults.noiseBeforePrompt.assign(140 * 1024, 0x55);
                break;
            case Fault::Unplug: {
                // The cable goes once the command has written its first bytes.
                const std::size_t written = device.Written().size();
                pump.onEvents = [this, written] {
                    if (!unplugged_ && device.Written().size() > written) {
                        unplugged_ = true;
                        driver.Unplug(0);
                    }
                };
                break;
            }
            case Fault::Busy:
                device.heldByOtherProgram = true;
                break;
            case Fault::NineDevices: {
                // Eight other cables come first; the module's is the ninth.
                driver.Unplug(0);
                for (int i = 0; i < 8; ++i)
                    driver.AddDevice("FT232R USB UART", "A" + std::to_string(i));
                driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(moduleOwner);
                break;
            }
        }
    }

    bool unplugged_ = false;
};

// The program-mode group, as the module must be in program mode for these commands.
void Enter(FaultMatrix& t) {
    t.EnterProgramMode();
}

std::vector<Command> Commands() {
    const std::string connectFailure = "Error: 00.";
    std::vector<Command> list = {
        {"ReadTemperatures",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn3); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ReadPower",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button8); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ReadOutputs",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button40); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"WriteOutputs",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.chk1); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ReadResetCounters",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button7); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ClearResetCounters",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button14); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"CyclicTick",
         [](FaultMatrix& t) { t.Click(t.panel.btn5); },
         [](FaultMatrix& t) { t.Tick(150); },
         3650,
         After::Cyclic,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ProgramMode",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button38); },
         3700,
         After::Normal,
         {"Error 30.00 Timeout(", connectFailure},
         {},
         ""},
        {"NormalMode",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button39); },
         1300,
         After::Normal,
         {"\nError AA.55(", connectFailure},
         {},
         ""},
        {"ReadFirmwareVersion",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button17); },
         1300,
         After::Program,
         {"\nError 20.01(", connectFailure},
         {},
         ""},
        {"SaveAddress",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.btn12); },
         1300,
         After::Program,
         {"\nError 70.00(", connectFailure},
         {},
         ""},
        {"SaveInterval",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.btn11); },
         1300,
         After::Program,
         {"\nError 70.01(", connectFailure},
         {},
         ""},
        // A read waits its limit for the first byte and as many idle milliseconds after it.
        {"SaveAll",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.btn15); },
         20400,
         After::Program,
         {"\nError 70.02(", connectFailure},
         {},
         ""},
        // Its answer is not examined: any first byte is the module's acknowledgement.
        {"ResetViaCode",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button0); },
         1300,
         After::Program,
         {"\nError 20.01(", connectFailure},
         {Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Flood},
         "Reset Code OK..."},
        {"ReadEeprom",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button42); },
         1300,
         After::Program,
         {"\nFunction Error(", connectFailure},
         {},
         ""},
        {"ServiceRead126B",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.btn10); },
         1300,
         After::Program,
         {"\nError 70.00(", connectFailure},
         {},
         ""},
        {"SpiRead",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.btn14); },
         1300,
         After::Program,
         {"\nError A0.00(", connectFailure},
         {},
         ""},
        {"SearchChannel",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button11); },
         1300,
         After::Program,
         {"\nError(60.00)", connectFailure},
         {},
         ""},
        {"SearchAll",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button9); },
         10 * 1300,
         After::Program,
         {"\nError(60.0", connectFailure},
         {},
         ""},
        {"ApcStart",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button10); },
         5600,
         After::Program,
         {"\nError(90.00)", connectFailure},
         {},
         ""},
        {"ApcPoll",
         [](FaultMatrix& t) {
             t.EnterProgramMode();
             t.Click(t.panel.Button10);
         },
         [](FaultMatrix& t) { t.Tick(20); },
         1300,
         After::Polling,
         {"\nError 20.01(", connectFailure},
         {},
         ""},
        {"ApcExit",
         [](FaultMatrix& t) {
             t.EnterProgramMode();
             t.Click(t.panel.Button10);
             t.Tick(20);
         },
         [](FaultMatrix& t) { t.Click(t.panel.Button37); },
         1300,
         After::Locked,
         {"\nError AA.55(", connectFailure},
         {},
         ""},
        {"ReadApc",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button36); },
         1300,
         After::Program,
         {"\nError 20.01(", connectFailure},
         {},
         ""},
        {"SbsSave",
         [](FaultMatrix& t) {
             t.EnterProgramMode();
             t.Click(t.panel.Button45);
             t.panel.ListBox1.SetIndex(0);
             t.Click(t.panel.Button44);
         },
         [](FaultMatrix& t) { t.Click(t.panel.Button58); },
         1300,
         After::Program,
         {"\nError 70.03(", connectFailure},
         {},
         ""},
        {"SegregatorSerials",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button4); },
         1300,
         After::Program,
         {"\nError 70.02(", connectFailure},
         {},
         ""},
        // The boot loader's own faults stand in for the module's: noise before the prompt is
        // skipped, as the update must.
        {"UpdateFirmware",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn1); },
         60000,
         After::Normal,
         {"Not complete input data", " Page veryfication error 1F700 !!!", "01 @ PageNumber: ",
          "This function support 10-channel ORNEVA NUV devices only!", connectFailure},
         {Fault::Noise},
         "Writing Firmware... OK\n\n"},
        // Commands that only touch the cable, not the module.
        {"FindUsbDevices",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button3); },
         100,
         After::Normal,
         {connectFailure},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood, Fault::Unplug},
         "ORNEVA Device detected..."},
        {"ResetViaUsb",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn13); },
         100,
         After::Normal,
         {connectFailure},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood, Fault::Unplug},
         "Reset via USB OK"},
    };
    return list;
}

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = Commands();
    return commands;
}

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (const Command& command : AllCommands()) {
        for (int f = 0; f <= static_cast<int>(Fault::NineDevices); ++f) {
            cells.push_back({&command, static_cast<Fault>(f)});
        }
    }
    return cells;
}

class FaultMatrixTest : public FaultMatrix, public ::testing::WithParamInterface<Cell> {};

TEST_P(FaultMatrixTest, EndsWithItsMessageItsControlsAndInTime) {
    const Command& command = *GetParam().command;
    const Fault fault = GetParam().fault;
    module.sensorCount.fill(3);
    if (command.setup) command.setup(*this);
    tool.log.Clear();
    Inject(fault);
    const std::int64_t start = clock.NowMs();
    command.run(*this);
    const std::int64_t took = clock.NowMs() - start;
    pump.onEvents = nullptr;
    const std::string log = tool.log.Text();

    EXPECT_LE(took, command.maxMs) << log;
    if (fault == Fault::Unplug && command.survives.count(fault) == 0) {
        EXPECT_TRUE(unplugged_) << "the cable was to go in the middle of the exchange";
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    if (command.survives.count(fault) != 0) {
        EXPECT_NE(log.find(command.success), std::string::npos) << log;
    } else if (fault == Fault::Busy) {
        // The device list says who holds the cable; nothing reached the module.
        EXPECT_EQ(panel.StringGrid1.Cell(2, 1), "BUSY (uses by other program)");
        EXPECT_TRUE(command.success.empty() || log.find(command.success) == std::string::npos);
    } else if (fault == Fault::NineDevices) {
        EXPECT_NE(log.find("Error: 00.14"), std::string::npos) << log;
    } else {
        const bool named = std::any_of(
            command.failure.begin(), command.failure.end(),
            [&](const std::string& mark) { return log.find(mark) != std::string::npos; });
        EXPECT_TRUE(named) << log;
    }

    // The controls that the command leaves usable.
    const bool failed = command.survives.count(fault) == 0;
    switch (failed ? command.after : After::Normal) {
        case After::Normal:
            if (failed || command.success != "Writing Firmware... OK\n\n") {
                EXPECT_TRUE(panel.btn3.Enabled() || panel.Button39.Enabled());
            }
            if (command.after == After::Normal) {
                EXPECT_TRUE(panel.btn3.Enabled());
            }
            break;
        case After::Program:
            EXPECT_TRUE(panel.Button39.Enabled());
            EXPECT_TRUE(panel.Button11.Enabled());
            break;
        case After::Cyclic:
            EXPECT_TRUE(panel.btn6.Enabled());
            EXPECT_TRUE(panel.Timer1.Enabled());
            break;
        case After::Polling:
            EXPECT_TRUE(panel.Button37.Enabled());
            EXPECT_TRUE(panel.Timer3.Enabled());
            break;
        case After::Locked:
            EXPECT_FALSE(panel.Button39.Enabled());
            EXPECT_TRUE(panel.btn13.Enabled());  // the reset by USB is always at hand
            break;
    }
    EXPECT_TRUE(panel.btn13.Enabled());
    EXPECT_TRUE(panel.windowEnabled);
}

INSTANTIATE_TEST_SUITE_P(AllCommandsAllFaults, FaultMatrixTest, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(info.param.command->name) + "_" +
                                    Name(info.param.fault);
                         });

}  // namespace
}  // namespace nuv::test
