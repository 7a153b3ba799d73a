// Every command of the window under every fault of the line: it ends with its own message, its
// controls usable again, within its stated time, without a crash or an escaping error.
#include <algorithm>
#include <fstream>
#include <functional>
#include <set>

#include "model/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

enum class Fault { Silence, Noise, Checksum, DroppedByte, Late, Flood, Unplug, Busy, NineDevices };

// Which controls a command leaves usable after a failure.
enum class After {
    Unchanged,  // every control as it was before the command
    Normal,     // the normal-mode group
    Program,    // the program-mode group
    Cyclic,     // a cyclic run still running: "Stop"
    Polling,    // a segregation still polling, "Exit " at hand
    Locked,     // every command off but the reset by USB, as the end of a segregation leaves them
};

class FaultMatrix;

enum class UnplugAt { Exchange, Open, FirstCall };

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
    // Text that must not be in the log after a failure (a summary that claims success).
    std::string notOnFailure;
    // When the cable goes: by default at the first driver call after the command has written
    // a byte or moved a control line; for commands without an exchange, once the port is
    // opened or at the command's first driver call.
    UnplugAt unplugAt = UnplugAt::Exchange;
    // Works on the port the tool already holds, without looking for the module again: a
    // program that wants the cable cannot take it, and other cables in its place make the
    // command's own failure.
    bool holdsThePort = false;
};

// What the connection gives when the cable is gone or cannot be opened.
const std::string kConnectFailure = "Error: 00.";

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
    using ModuleTest::dialogs;
    using ModuleTest::module;
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
                f.floodAtOnce = true;  // all of it within the command's time limit
                // More than the prompt wait allows in all at 115200 baud.
                module.bootLoader.faults.noiseBeforePrompt.assign(140 * 1024, 0x55);
                break;
            case Fault::Unplug: {
                // The cable goes in the middle of the command (see UnplugAt).
                const std::size_t written = device.Written().size();
                const std::size_t opens = device.OpenCount();
                const bool rts = device.Rts();
                const bool dtr = device.Dtr();
                const UnplugAt at = unplugAt;
                driver.beforeCall = [this, written, opens, rts, dtr, at] {
                    if (unplugged_) return;
                    const bool exchanged = device.Written().size() > written ||
                                           device.Rts() != rts || device.Dtr() != dtr;
                    const bool opened = device.OpenCount() > opens;
                    if (at == UnplugAt::FirstCall || exchanged ||
                        (at == UnplugAt::Open && opened)) {
                        unplugged_ = true;
                        driver.Unplug(0);
                    }
                };
                break;
            }
            case Fault::Busy:
                device.heldByOtherProgram = true;
                writtenBeforeBusy_ = device.Written().size();
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
    UnplugAt unplugAt = UnplugAt::Exchange;
    std::size_t writtenBeforeBusy_ = 0;
};

// The test's name as a file name.
std::string FileName() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    return name;
}

// Every control of a group as the group sets it.
void ExpectGroup(const ControlGroup& group, const char* name) {
    for (const Control* control : group.enables) {
        EXPECT_TRUE(control->Enabled()) << name << ": " << control->Name() << " is off";
    }
    for (const Control* control : group.disables) {
        EXPECT_FALSE(control->Enabled()) << name << ": " << control->Name() << " is on";
    }
}

// The program-mode group, as the module must be in program mode for these commands.
void Enter(FaultMatrix& t) {
    t.EnterProgramMode();
}

// The table leaves the last fields of most rows at their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<Command> Commands() {
    const std::string& connectFailure = kConnectFailure;
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
         After::Unchanged,
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
         After::Unchanged,
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
        // Temperatures of 12 sensors a channel, and of 16 in two reads.
        {"ReadTemperatures12",
         [](FaultMatrix& t) {
             t.module.sensorsPerChannel = 12;
             t.panel.ComboBox6.SetIndex(1);
         },
         [](FaultMatrix& t) { t.Click(t.panel.btn3); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"ReadTemperatures16Split",
         [](FaultMatrix& t) {
             t.module.sensorsPerChannel = 16;
             t.panel.ComboBox6.SetIndex(2);
         },
         [](FaultMatrix& t) { t.Click(t.panel.btn3); },
         3500,
         After::Normal,
         {"Error 30.00 Timeout (", connectFailure},
         {},
         ""},
        {"SbsSearch",
         Enter,
         [](FaultMatrix& t) { t.Click(t.panel.Button45); },
         1300,
         After::Program,
         {"\nError(60.00)", connectFailure},
         {},
         ""},
        {"SaveToRam",
         [](FaultMatrix& t) {
             t.EnterProgramMode();
             t.Click(t.panel.Button45);
             t.panel.ListBox1.SetIndex(0);
             t.Click(t.panel.Button44);
         },
         [](FaultMatrix& t) { t.Click(t.panel.Button43); },
         1300,
         After::Program,
         {"\nError 70.03(", connectFailure},
         {},
         "Dane wpisane do pamieci poprawnie..."},
        // One short read per address; a fault of the module shows in the summary of what
        // answered, never as a module found whole.
        {"ScanBus",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btnScanBus); },
         247 * 150,
         After::Normal,
         {"Bus scan of addresses 1..247: ", connectFailure},
         {},
         "",
         "address 2: answered\n"},
        {"ServiceReport",
         [](FaultMatrix& t) {
             t.dialogs.savePath = ::testing::TempDir() + "nuv-fault-report-" + FileName() + ".txt";
         },
         [](FaultMatrix& t) { t.Click(t.panel.btnServiceReport); },
         60000,
         After::Normal,
         {" steps failed)", connectFailure},
         {},
         "",
         "(0 of "},
        // The boot loader's own faults stand in for the module's: noise before the prompt is
        // skipped, as the update must.
        {"UpdateFirmware",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn1); },
         60000,
         After::Normal,
         {"Not complete input data", " Page veryfication error 1F700 !!!", "01 @ PageNumber: ",
          "Time Out", "This function support 10-channel ORNEVA NUV devices only!", connectFailure},
         {Fault::Noise},
         "Writing Firmware... OK\n\n"},
        {"UpdateFromFile",
         [](FaultMatrix& t) {
             const std::string path = ::testing::TempDir() + "nuv-fault-" + FileName() + ".hex";
             std::ofstream(path) << ":03000000010203F7\n:01030000AA52\n:00000001FF\n";
             t.dialogs.fileToOpen = path;
         },
         [](FaultMatrix& t) { t.Click(t.panel.btnUpdateFromFile); },
         60000,
         After::Normal,
         {"Not complete input data", " Page veryfication error", "01 @ PageNumber: ", "Time Out",
          "This function support 10-channel ORNEVA NUV devices only!", connectFailure},
         {Fault::Noise},
         "Writing Firmware... OK\n\n"},
        // Commands that only touch the cable, not the module.
        {"FindUsbDevices",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.Button3); },
         100,
         After::Unchanged,
         {connectFailure},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood},
         "ORNEVA Device detected...",
         "",
         UnplugAt::Open},
        // The pulse on DTR: the cable goes between up and down, which fails without a word.
        {"ResetViaUsb",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn13); },
         100,
         After::Normal,
         {},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood},
         "Reset via USB OK"},
        // The service strip's test frame: written to the open port, no answer awaited and no
        // message in any case; whatever the line does, it ends at once and changes nothing.
        {"SendTestFrame",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.btn9); },
         100,
         After::Unchanged,
         {},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood, Fault::Unplug, Fault::Busy, Fault::NineDevices},
         "",
         "",
         UnplugAt::FirstCall},
        // The RS485 pass-through: one line, no exchange with the module.
        {"RtsOn",
         nullptr,
         [](FaultMatrix& t) { t.Click(t.panel.ButtonA); },
         100,
         After::Unchanged,
         {" Function Error - Check Device Connection..."},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood},
         " USB to RS485 mode has been activated...",
         "",
         UnplugAt::FirstCall,
         true},
        // Switching off fails without a word, and the switch stays on.
        {"RtsOff",
         [](FaultMatrix& t) { t.Click(t.panel.ButtonA); },
         [](FaultMatrix& t) { t.Click(t.panel.Button5); },
         100,
         After::Unchanged,
         {},
         {Fault::Silence, Fault::Noise, Fault::Checksum, Fault::DroppedByte, Fault::Late,
          Fault::Flood},
         " USB to RS485 mode has been turned off...",
         "",
         UnplugAt::FirstCall,
         true},
    };
    return list;
}

#pragma GCC diagnostic pop

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
    unplugAt = command.unplugAt;
    std::vector<std::pair<const Control*, bool>> before;
    for (const Control* control : AllControlsGroup(panel).disables) {
        before.emplace_back(control, control->Enabled());
    }
    Inject(fault);
    const std::int64_t start = clock.NowMs();
    command.run(*this);
    const std::int64_t took = clock.NowMs() - start;
    pump.onEvents = nullptr;
    driver.beforeCall = nullptr;
    const std::string log = tool.log.Text();

    EXPECT_LE(took, command.maxMs) << log;
    const bool survived =
        command.survives.count(fault) != 0 || (fault == Fault::Busy && command.holdsThePort);
    if (fault == Fault::Unplug && !survived) {
        EXPECT_TRUE(unplugged_) << "the cable was to go in the middle of the command";
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    const auto contains = [&](const std::string& text) {
        return log.find(text) != std::string::npos;
    };
    if (survived && command.success.empty()) {
        EXPECT_EQ(log, "");  // a command that says nothing
    } else if (survived) {
        EXPECT_TRUE(contains(command.success)) << log;
    } else if (fault == Fault::Busy) {
        // The device list says who holds the cable; nothing reached the module.
        EXPECT_EQ(panel.StringGrid1.Cell(2, 1), "BUSY (uses by other program)");
        // The busy cable is shown in the list, not in the log.
        EXPECT_EQ(device.Written().size(), writtenBeforeBusy_);
    } else if (fault == Fault::NineDevices && !command.holdsThePort) {
        EXPECT_TRUE(contains("Error: 00.14")) << log;
    } else if (command.failure.empty()) {
        // A command that fails without a word: it must not claim success.
        EXPECT_FALSE(contains(command.success)) << log;
    } else {
        // A fault of the module is named by the command's own text; the connection's failure
        // only counts when the cable went.
        const bool named =
            std::any_of(command.failure.begin(), command.failure.end(), [&](const std::string& m) {
                return (m != kConnectFailure || fault == Fault::Unplug) && contains(m);
            });
        EXPECT_TRUE(named) << log;
    }
    if (!survived) {
        if (!command.success.empty()) {
            EXPECT_FALSE(contains(command.success)) << log;
        }
        if (!command.notOnFailure.empty()) {
            EXPECT_FALSE(contains(command.notOnFailure)) << log;
        }
    }

    // The controls that the command leaves usable.
    switch (survived && command.after != After::Unchanged ? After::Normal : command.after) {
        case After::Unchanged:
            for (const auto& [control, enabled] : before) {
                EXPECT_EQ(control->Enabled(), enabled) << control->Name();
            }
            break;
        case After::Normal: {
            // The normal group's controls, except that what it switches off and was on before
            // the command may stay on (the window starts with the address lists on).
            const ControlGroup group = NormalModeGroup(panel);
            for (const Control* control : group.enables) {
                EXPECT_TRUE(control->Enabled()) << "normal group: " << control->Name() << " is off";
            }
            for (const Control* control : group.disables) {
                const auto was = std::find_if(before.begin(), before.end(),
                                              [&](const auto& c) { return c.first == control; });
                if (was != before.end() && was->second) continue;
                EXPECT_FALSE(control->Enabled()) << "normal group: " << control->Name() << " is on";
            }
            break;
        }
        case After::Program:
            ExpectGroup(ProgramModeGroup(panel), "program group");
            break;
        case After::Cyclic:
            EXPECT_TRUE(panel.btn6.Enabled());
            EXPECT_FALSE(panel.btn5.Enabled());
            EXPECT_TRUE(panel.Timer1.Enabled());
            break;
        case After::Polling:
            EXPECT_TRUE(panel.Button37.Enabled());
            EXPECT_TRUE(panel.Timer3.Enabled());
            break;
        case After::Locked:
            EXPECT_FALSE(panel.Button39.Enabled());
            EXPECT_FALSE(panel.Button38.Enabled());
            EXPECT_FALSE(panel.Timer3.Enabled());
            break;
    }
    EXPECT_TRUE(panel.windowEnabled);
}

INSTANTIATE_TEST_SUITE_P(AllCommandsAllFaults, FaultMatrixTest, ::testing::ValuesIn(AllCells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(info.param.command->name) + "_" +
                                    Name(info.param.fault);
                         });

}  // namespace
}  // namespace nuv::test
