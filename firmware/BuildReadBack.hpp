#pragma once

#include <cstdint>

namespace nuv {

class Tool;

// What the module said of its firmware when asked after an update.
enum class BuildReadBack {
    NotTried,
    Named,     // it entered program mode and named its class and build
    NoAnswer,  // it did not answer the entry frame
    Unnamed,   // it entered program mode but did not name its firmware
    Stopped,   // a stop came before the module was asked
};

struct ModuleBuild {
    BuildReadBack state = BuildReadBack::NotTried;
    std::uint16_t version = 0;  // class byte and build byte, when named
    bool left = true;           // false: the leave failed, the module may be in program mode
};

// Asks the module which firmware it runs, as "PROGRAM MODE" and "NORMAL MODE" do: first it is
// given kModuleStartUpMs to start (the window served meanwhile), then the entry frame, the
// identification and the leave. The message log is left as it was: the caller tells what came.
ModuleBuild ReadModuleBuild(Tool& tool);

}  // namespace nuv
