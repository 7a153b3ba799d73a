#include "app/gui/Layout.hpp"

#include <array>

namespace nuv::gui {

namespace {

constexpr std::string_view kUsb = kPageNames[0];
constexpr std::string_view kFirmware = kPageNames[1];
constexpr std::string_view kConfig = kPageNames[2];
constexpr std::string_view kMeasure = kPageNames[3];
constexpr std::string_view kLogger = kPageNames[4];

// Pages are 677 x 360 pixels inside the page control's frame.
constexpr auto kLayout = std::to_array<Placement>({
    // Above the pages; the RS485 buttons and their indicator sit at the right end of the tabs.
    {"ProgressBar1", kClient, 1, 201, 679, 10},
    {"ButtonA", kClient, 491, 215, 168, 17},
    {"Button5", kClient, 491, 215, 168, 17},
    {"pnl6", kClient, 662, 215, 17, 17},

    // "USB Interface".
    {"StringGrid1", kUsb, 4, 4, 669, 268},
    {"Button3", kUsb, 4, 278, 669, 30},
    // Beyond the original, in the free strip under "Find USB Devices".
    {"btnScanBus", kUsb, 4, 316, 110, 26},
    {"btnServiceReport", kUsb, 120, 316, 130, 26},
    {"ServiceStatus", kUsb, 258, 321, 415, 16},

    // "Firmware Update".
    {"grp8", kFirmware, 4, 4, 669, 236},
    {"Label14", "grp8", 12, 22, 645, 16},
    {"Label27", "grp8", 12, 42, 645, 16},
    {"FirmwareStep1", "grp8", 12, 72, 645, 16},
    {"FirmwareStep2", "grp8", 12, 90, 645, 16},
    {"FirmwareStep3", "grp8", 12, 108, 645, 16},
    {"btn1", "grp8", 12, 136, 160, 30},
    {"btnUpdateFromFile", "grp8", 180, 136, 160, 30},
    {"FirmwareStep4", "grp8", 12, 178, 645, 16},
    {"Panel1", kFirmware, 4, 246, 300, 106},
    {"SavedLabel", "Panel1", 10, 12, 90, 16},
    {"Edit2", "Panel1", 104, 8, 100, 22},
    {"PagesLabel", "Panel1", 10, 40, 90, 16},
    {"Edit3", "Panel1", 104, 36, 100, 22},
    {"SizeLabel", "Panel1", 10, 68, 90, 16},
    {"Edit4", "Panel1", 104, 64, 100, 22},
    {"Button18", "Panel1", 212, 63, 80, 24},
    {"Panel2", kFirmware, 312, 246, 120, 40},
    {"Button20", "Panel2", 8, 8, 104, 24},
    {"Panel3", kFirmware, 440, 246, 233, 70},
    {"Button1", "Panel3", 8, 8, 105, 24},
    {"Button2", "Panel3", 120, 8, 105, 24},
    {"Button19", "Panel3", 8, 38, 105, 24},

    // "Configuration": the sensor grid, or the sort-by-serial area in its place.
    {"StringGrid2", kConfig, 4, 4, 669, 190},
    {"GroupBox2", kConfig, 4, 4, 669, 190},
    {"Label28", "GroupBox2", 8, 18, 200, 16},
    {"ListBox1", "GroupBox2", 8, 36, 160, 96},
    {"Button44", "GroupBox2", 172, 56, 36, 23},
    {"Button46", "GroupBox2", 172, 84, 36, 23},
    {"ListBox2", "GroupBox2", 212, 36, 160, 96},
    {"Button58", "GroupBox2", 8, 138, 214, 23},
    {"Button59", "GroupBox2", 226, 138, 146, 23},
    {"GroupBox3", "GroupBox2", 380, 16, 281, 74},
    {"Step1Text", "GroupBox3", 8, 18, 265, 53},
    {"GroupBox4", "GroupBox2", 380, 91, 281, 48},
    {"Step2Text", "GroupBox4", 8, 18, 265, 27},
    {"GroupBox5", "GroupBox2", 380, 140, 281, 48},
    {"Step3Text", "GroupBox5", 8, 18, 265, 27},
    // Search, APC and SBS of channels 0 to 4, then of 5 to 9, one channel a row.
    {"Button11", kConfig, 4, 200, 122, 20},
    {"Button10", kConfig, 128, 200, 42, 20},
    {"Button45", kConfig, 172, 200, 42, 20},
    {"Button22", kConfig, 4, 221, 122, 20},
    {"Button12", kConfig, 128, 221, 42, 20},
    {"Button48", kConfig, 172, 221, 42, 20},
    {"Button23", kConfig, 4, 242, 122, 20},
    {"Button13", kConfig, 128, 242, 42, 20},
    {"Button49", kConfig, 172, 242, 42, 20},
    {"Button29", kConfig, 4, 263, 122, 20},
    {"Button15", kConfig, 128, 263, 42, 20},
    {"Button50", kConfig, 172, 263, 42, 20},
    {"Button28", kConfig, 4, 284, 122, 20},
    {"Button16", kConfig, 128, 284, 42, 20},
    {"Button52", kConfig, 172, 284, 42, 20},
    {"Button27", kConfig, 222, 200, 122, 20},
    {"Button31", kConfig, 346, 200, 42, 20},
    {"Button53", kConfig, 390, 200, 42, 20},
    {"Button26", kConfig, 222, 221, 122, 20},
    {"Button32", kConfig, 346, 221, 42, 20},
    {"Button54", kConfig, 390, 221, 42, 20},
    {"Button24", kConfig, 222, 242, 122, 20},
    {"Button33", kConfig, 346, 242, 42, 20},
    {"Button55", kConfig, 390, 242, 42, 20},
    {"Button25", kConfig, 222, 263, 122, 20},
    {"Button34", kConfig, 346, 263, 42, 20},
    {"Button56", kConfig, 390, 263, 42, 20},
    {"Button30", kConfig, 222, 284, 122, 20},
    {"Button35", kConfig, 346, 284, 42, 20},
    {"Button57", kConfig, 390, 284, 42, 20},
    {"Button9", kConfig, 4, 305, 122, 20},
    {"Button37", kConfig, 128, 305, 42, 20},
    {"Button51", kConfig, 172, 305, 42, 20},
    {"btn13", kConfig, 4, 329, 130, 23},
    {"Button17", kConfig, 138, 329, 130, 23},
    {"Button0", kConfig, 272, 329, 110, 23},
    // The mode commands.
    {"Button38", kConfig, 440, 200, 114, 23},
    {"Button39", kConfig, 558, 200, 115, 23},
    {"btn15", kConfig, 440, 225, 233, 23},
    {"chk5", kConfig, 442, 251, 231, 21},
    {"btn3", kConfig, 440, 275, 124, 23},
    {"Button42", kConfig, 568, 275, 105, 23},
    {"ComboBox1", kConfig, 440, 300, 88, 23},
    {"btn12", kConfig, 532, 300, 141, 23},
    {"ComboBox3", kConfig, 440, 325, 88, 23},
    {"btn11", kConfig, 532, 325, 141, 23},

    // "Measurement".
    {"Label4", kMeasure, 4, 9, 178, 16},
    {"ComboBox2", kMeasure, 184, 6, 80, 22},
    {"StringGrid3", kMeasure, 4, 32, 400, 324},
    {"Label13", kMeasure, 410, 9, 130, 16},
    {"ComboBox4", kMeasure, 544, 6, 70, 22},
    {"CyclicGroup", kMeasure, 410, 32, 150, 48},
    {"btn5", "CyclicGroup", 8, 18, 64, 23},
    {"btn6", "CyclicGroup", 78, 18, 64, 23},
    {"OneMeasureGroup", kMeasure, 564, 32, 109, 48},
    {"btn7", "OneMeasureGroup", 8, 18, 93, 23},
    {"ModuleTemperatureGroup", kMeasure, 410, 84, 150, 48},
    {"Label5", "ModuleTemperatureGroup", 10, 22, 130, 16},
    {"DiagnosticGroup", kMeasure, 564, 84, 109, 48},
    {"Button7", "DiagnosticGroup", 8, 18, 45, 23},
    {"Button14", "DiagnosticGroup", 56, 18, 45, 23},
    {"AnalogPowerGroup", kMeasure, 410, 136, 263, 104},
    {"Button8", "AnalogPowerGroup", 8, 18, 100, 23},
    {"Label6", "AnalogPowerGroup", 8, 48, 124, 16},
    {"Label7", "AnalogPowerGroup", 8, 66, 124, 16},
    {"Label8", "AnalogPowerGroup", 140, 18, 115, 16},
    {"Label9", "AnalogPowerGroup", 140, 34, 115, 16},
    {"Label10", "AnalogPowerGroup", 140, 50, 115, 16},
    {"Label11", "AnalogPowerGroup", 140, 66, 115, 16},
    {"Label12", "AnalogPowerGroup", 140, 82, 115, 16},
    {"OutputsGroup", kMeasure, 410, 244, 263, 72},
    {"chk1", "OutputsGroup", 8, 20, 58, 20},
    {"chk2", "OutputsGroup", 70, 20, 58, 20},
    {"chk3", "OutputsGroup", 132, 20, 58, 20},
    {"chk4", "OutputsGroup", 194, 20, 58, 20},
    {"Button40", "OutputsGroup", 8, 44, 110, 23},
    {"ComboBox6", kMeasure, 410, 322, 190, 23},
    // Beyond the original, in free places: beside the interval of the cyclic measurement, and
    // beside the sensors-per-channel list.
    {"btnLogToFile", kMeasure, 272, 6, 130, 22},
    {"btnTrend", kMeasure, 604, 322, 69, 23},

    // "Error Logger".
    {"Memo2", kLogger, 4, 4, 669, 318},
    {"Label18", kLogger, 4, 331, 250, 16},
    {"Button6", kLogger, 415, 327, 130, 25},
    {"Button41", kLogger, 551, 327, 122, 25},

    // The service strip, right of the window's width.
    {"Edit8", kServiceArea, 0, 8, 80, 22},
    {"Button21", kServiceArea, 84, 8, 86, 23},
    {"Edit9", kServiceArea, 174, 8, 80, 22},
    {"btn2", kServiceArea, 0, 36, 80, 23},
    {"btn8", kServiceArea, 84, 36, 86, 23},
    {"btn9", kServiceArea, 174, 36, 86, 23},
    {"btn10", kServiceArea, 0, 66, 170, 23},
    {"btn14", kServiceArea, 174, 66, 180, 23},
    {"Button4", kServiceArea, 0, 92, 170, 23},
    {"Button43", kServiceArea, 174, 92, 180, 23},
    {"Button47", kServiceArea, 0, 118, 170, 23},
    {"Button36", kServiceArea, 174, 118, 180, 23},
    {"btn4", kServiceArea, 0, 148, 170, 23},
    {"Label17", kServiceArea, 0, 178, 356, 16},
    {"Label19", kServiceArea, 0, 196, 356, 16},
    {"Label20", kServiceArea, 0, 214, 356, 16},
    {"Label21", kServiceArea, 0, 232, 356, 16},
    {"Label22", kServiceArea, 0, 250, 356, 16},
    {"Label23", kServiceArea, 0, 268, 356, 16},
    {"Memo1", kServiceArea, 0, 292, 170, 60},
    {"ComboBox5", kServiceArea, 174, 292, 180, 23},
});

}  // namespace

std::span<const Placement> MainWindowLayout() {
    return kLayout;
}

const Placement* FindPlacement(std::string_view name) {
    for (const Placement& placement : kLayout) {
        if (placement.name == name) return &placement;
    }
    return nullptr;
}

}  // namespace nuv::gui
