#include "firmware/FirmwareCommands.hpp"

#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareFile.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "model/Tool.hpp"

namespace nuv {
namespace {

// The log's report of a firmware file that cannot be used: what is wrong, and that nothing has
// been sent to the module.
void ReportUnusableFirmwareFile(Tool& tool, const std::string& path, const std::string& error) {
    tool.log.SetText("");
    tool.log.SetColour(colour::ErrorRed);
    tool.log.AppendLine("Firmware file " + path + " " + error);
    tool.log.AppendLine("Nothing has been sent to the module.");
}

}  // namespace

void btn1Click(Tool& tool) {
    UpdateFirmware(tool, CarriedFirmwareImage());
}

void btnUpdateFromFileClick(Tool& tool) {
    const std::optional<std::string> path = tool.dialogs.ChooseFileToOpen(
        "Firmware image to write into the module",
        "Firmware images (*.bin *.hex *.ihx);;All files (*)", tool.saveFolder);
    if (!path) return;  // cancelled
    const FirmwareFileResult loaded = LoadFirmwareFile(*path);
    if (!loaded.image) {
        ReportUnusableFirmwareFile(tool, *path, loaded.error);
        return;
    }
    UpdateFirmware(tool, *loaded.image);
}

void Button18Click(Tool& tool) {
    tool.firmware.abortFlag = kAbortFlagStop;
}

}  // namespace nuv
