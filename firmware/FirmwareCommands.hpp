#pragma once

#include <string>

namespace nuv {

class Tool;

// "   Update Firmware": writes the carried firmware build.
void btn1Click(Tool& tool);
// "Update from file…": the operator chooses a raw or Intel HEX image, which is checked before
// anything is sent and then written as the carried build is.
void btnUpdateFromFileClick(Tool& tool);
// "Wyjscie" of the update's status panel: ends the wait for the boot loader's prompt.
void Button18Click(Tool& tool);

}  // namespace nuv
