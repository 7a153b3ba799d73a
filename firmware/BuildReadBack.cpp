#include "firmware/BuildReadBack.hpp"

#include <vector>

#include "config/LineControl.hpp"
#include "config/ProgramMode.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"

namespace nuv {
namespace {

// Lets the module start: a pause on the tool's clock that keeps the window served and ends at a
// stop.
void WaitForStartUp(Tool& tool) {
    const std::int64_t start = tool.clock.NowMs();
    while (tool.clock.NowMs() - start < kModuleStartUpMs && !tool.link.StopRequested()) {
        tool.pump.ProcessEvents();
        tool.clock.SleepMs(10);
    }
}

}  // namespace

ModuleBuild ReadModuleBuild(Tool& tool) {
    WaitForStartUp(tool);
    ModuleBuild build;
    if (tool.link.StopRequested()) {
        build.state = BuildReadBack::Stopped;
        return build;
    }
    // Program mode writes its own texts; the update's stay in the log instead.
    const std::vector<LogRun> saved = tool.log.Runs();
    const Rgb colour = tool.log.Colour();

    ModuleIdentity identity;
    EnterProgramMode(tool, identity);
    if (!identity.entered) {
        build.state = BuildReadBack::NoAnswer;
        // The reset left the normal commands; the attempt changes nothing of that.
        ShowNormalModeControls(tool.panel);
        CheckHardwareVersion(tool);
    } else {
        build.state = identity.identified ? BuildReadBack::Named : BuildReadBack::Unnamed;
        build.version =
            static_cast<std::uint16_t>(identity.firmwareClass << 8U | identity.firmwareBuild);
        build.left = LeaveProgramMode(tool) == result::Ok;
    }

    tool.log.Clear();
    for (const LogRun& run : saved) {
        tool.log.SetColour(run.colour);
        tool.log.Insert(run.text);
    }
    tool.log.SetColour(colour);
    return build;
}

}  // namespace nuv
