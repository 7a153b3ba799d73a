#pragma once

#include <string>
#include <vector>

#include "tools/Nuvctl.hpp"

namespace nuv {
class Tool;
}

namespace nuv::cli {

// `nuvctl firmware [--image FILE]`: the firmware update of the window on the same core, with
// the carried build or a raw or Intel HEX image from FILE (checked before anything is sent).
// Prints one line a stage, and on a terminal a progress bar while the pages go out. Exits 0
// only when every page went out and the boot loader verified the image.
int FirmwareCommand(Tool& tool, const std::vector<std::string>& args, Environment& environment,
                    bool verbose);

}  // namespace nuv::cli
