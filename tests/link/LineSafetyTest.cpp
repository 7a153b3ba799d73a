// DTR resets the module and RTS switches its USB-RS485 pass-through, so the tool must move them
// only when the operator asks. The whole tool on the driver stack it uses for a real cable (the
// port keeper over the driver), with the simulated module counting resets and switches, for
// both ways a driver may treat the lines at an open and a close.
#include "link/PortKeeper.hpp"
#include "model/TimerDriver.hpp"
#include "sim/ModuleSimulator.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {
namespace {

class LineSafetyTest : public ::testing::TestWithParam<sim::LineModel> {
  protected:
    LineSafetyTest() {
        device.AttachPeer(module);
        clock.SetTimeOfDay(12, 0, 0);
    }
    void Click(Control& control) { tool.Click(control); }
    void RunFor(std::int64_t ms) {
        const std::int64_t end = clock.NowNs() + ms * 1'000'000;
        while (true) {
            const auto next = timers.NextDueNs();
            if (!next || *next > end) break;
            if (*next > clock.NowNs()) clock.AdvanceNs(*next - clock.NowNs());
            timers.Poll();
        }
        if (clock.NowNs() < end) clock.AdvanceNs(end - clock.NowNs());
    }
    bool Tty() const { return GetParam() == sim::LineModel::Tty; }

    VirtualClock clock;
    ScriptedPump pump;
    sim::SimFtdi driver{clock, GetParam()};
    PortKeeper keeper{driver};
    RecordingDialogs dialogs;
    Tool tool{keeper, clock, pump, dialogs};
    MainPanel& panel = tool.panel;
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> module = std::make_shared<sim::ModuleSimulator>();
    TimerDriver timers{clock, {&panel.Timer1, &panel.Timer3}, [this](Timer& t) { tool.Tick(t); }};
};

TEST_P(LineSafetyTest, StartUpReadingsCyclicRunAndDeviceListNeitherResetNorSwitch) {
    tool.FormCreate();
    ASSERT_TRUE(tool.link.IsOpen());
    if (Tty()) {
        // The kernel raises both lines at the first open, and the driver stack sets them back
        // at once: the one toggle that remains.
        EXPECT_EQ(module->dtrPulses, 1U);
        EXPECT_EQ(module->rtsChanges, 2U);
    } else {
        EXPECT_EQ(module->dtrPulses, 0U);
        EXPECT_EQ(module->rtsChanges, 0U);
    }
    EXPECT_FALSE(device.Rts());  // matches the red indicator
    EXPECT_FALSE(device.Dtr());
    const std::size_t pulses = module->dtrPulses;
    const std::size_t changes = module->rtsChanges;
    // A module that the first open reset runs its boot loader first: its normal mode answers
    // after the loader's prompt has waited in vain.
    if (Tty()) RunFor(500);

    Click(panel.btn3);  // "Read Temperatures"
    ASSERT_TRUE(tool.measure.lastReading.has_value()) << tool.log.Text();

    panel.ComboBox4.SetIndex(0);  // cyclic at 1 s
    Click(panel.btn5);
    RunFor(100 + 9 * 1000 + 500);
    Click(panel.btn6);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 10");
    EXPECT_EQ(module->Requests().size(), 11U);

    Click(panel.Button3);  // "Find USB Devices"
    Click(panel.Button3);
    EXPECT_EQ(tool.log.Text(), "ORNEVA Device detected...");

    EXPECT_EQ(module->dtrPulses, pulses);
    EXPECT_EQ(module->rtsChanges, changes);
    EXPECT_EQ(device.OpenCount(), 1U);  // every command reused the port

    // Only the operator's line commands move the lines.
    Click(panel.Button20);  // "RST via USB (FTDI)"
    EXPECT_EQ(module->dtrPulses, pulses + 1);
    EXPECT_EQ(module->rtsChanges, changes);
    Click(panel.ButtonA);  // "Turn ON USB <-> RS485"
    EXPECT_TRUE(device.Rts());
    Click(panel.btn3);
    Click(panel.Button3);
    EXPECT_TRUE(device.Rts());  // the pass-through stays on through commands
    Click(panel.Button5);       // "Turn OFF USB <-> RS485"
    EXPECT_EQ(module->rtsChanges, changes + 2);
    EXPECT_EQ(module->dtrPulses, pulses + 1);

    tool.FormClose();  // the parked port keeps its lines
    EXPECT_EQ(module->rtsChanges, changes + 2);
    EXPECT_EQ(module->dtrPulses, pulses + 1);
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, LineSafetyTest,
                         ::testing::Values(sim::LineModel::Ftdi, sim::LineModel::Tty),
                         [](const auto& info) {
                             return info.param == sim::LineModel::Tty ? "KernelTty" : "ChipDriver";
                         });

// What the keeper and the cleared HUPCL protect against: a tty opened and closed by every
// command, hanging up at each close, resets the module each time.
TEST(LineSafetyModel, ATtyReopenedByEveryCommandResetsTheModuleEachTime) {
    VirtualClock clock;
    ScriptedPump pump;
    sim::SimFtdi driver(clock, sim::LineModel::Tty);
    driver.SetClearsHupcl(false);
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    auto module = std::make_shared<sim::ModuleSimulator>();
    device.AttachPeer(module);
    RecordingDialogs dialogs;
    Tool tool(driver, clock, pump, dialogs);
    tool.FormCreate();
    for (int i = 0; i < 3; ++i) tool.Click(tool.panel.btn3);
    EXPECT_EQ(module->dtrPulses, 4U);
    EXPECT_TRUE(device.Rts());  // the pass-through is on while the indicator is red
    EXPECT_EQ(tool.panel.pnl6.Colour(), colour::Red);
}

}  // namespace
}  // namespace nuv::test
