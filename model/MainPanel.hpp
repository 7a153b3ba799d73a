#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/Control.hpp"
#include "model/StringGrid.hpp"

namespace nuv {

inline constexpr const char* kToolVersion = "5.5";
inline constexpr const char* kWindowTitle = " ORNEVA NUV Tool v5.5 - firmware v00.48";

inline constexpr int kPageUsbInterface = 0;
inline constexpr int kPageFirmwareUpdate = 1;
inline constexpr int kPageConfiguration = 2;
inline constexpr int kPageMeasurement = 3;
inline constexpr int kPageErrorLogger = 4;
inline constexpr std::array<const char*, 5> kPageCaptions{
    "USB Interface", "Firmware Update", "Configuration", "Measurement", "Error Logger"};

// The main window's controls by their window names, with their captions and initial states.
// The message log lives beside it (MessageLog); the window draws both.
struct MainPanel {
    using B = ControlKind;

    MainPanel();
    MainPanel(const MainPanel&) = delete;
    MainPanel& operator=(const MainPanel&) = delete;

    std::string title;
    int activePage = kPageConfiguration;
    // Whether the window takes input at all; the firmware update switches it off while it runs.
    bool windowEnabled = true;

    // Above the pages.
    Control ProgressBar1{"ProgressBar1", B::ProgressBar};
    Control ButtonA{"ButtonA", B::Button, "Turn ON USB <-> RS485"};
    Control Button5{"Button5", B::Button, "Turn OFF USB <-> RS485"};
    Control pnl6{"pnl6", B::Panel};

    // "USB Interface".
    StringGrid StringGrid1{3, 11, "StringGrid1"};
    Control Button3{"Button3", B::Button, "Find USB Devices"};
    // Beyond the original, under the device list: the bus scan and the service report, with a
    // line that shows their progress and result.
    Control btnScanBus{"btnScanBus", B::Button, "Scan bus…"};
    Control btnServiceReport{"btnServiceReport", B::Button, "Service report…"};
    Control ServiceStatus{"ServiceStatus", B::Label};

    // "Firmware Update".
    Control grp8{"grp8", B::GroupBox, "Firmware Update Area  "};
    Control Label14{"Label14", B::Label, "Use bellow function for firmware update to version: "};
    Control Label27{"Label27", B::Label};
    Control btn1{"btn1", B::Button, "   Update Firmware"};
    // Beside it: the same update with an image from a file.
    Control btnUpdateFromFile{"btnUpdateFromFile", B::Button, "Update from file…"};
    Control FirmwareStep1{"FirmwareStep1", B::Label,
                          "1. Turn OFF any free applications on Your PC..."};
    Control FirmwareStep2{
        "FirmwareStep2", B::Label,
        "2. Connect NUV device with PC via USB cable, RS485 interface have to be disconnected"};
    Control FirmwareStep3{"FirmwareStep3", B::Label,
                          "3. Push SW1 switch on NUV module and click bellow \"Update Firmware\" "
                          "button"};
    Control FirmwareStep4{
        "FirmwareStep4", B::Label,
        "         Update procedure need some seconds, please don't interrupt it !"};
    Control Panel1{"Panel1", B::Panel};
    Control SavedLabel{"SavedLabel", B::Label, "Zapisano:"};
    Control PagesLabel{"PagesLabel", B::Label, "Stron :"};
    Control SizeLabel{"SizeLabel", B::Label, "Rozmiar [B] :"};
    Control Edit2{"Edit2", B::Edit};
    Control Edit3{"Edit3", B::Edit};
    Control Edit4{"Edit4", B::Edit};
    Control Button18{"Button18", B::Button, "Wyjscie"};
    Control Panel2{"Panel2", B::Panel};
    Control Button20{"Button20", B::Button, "RST FTDI"};
    Control Panel3{"Panel3", B::Panel};
    Control Button1{"Button1", B::Button, "Odbierz Dane"};
    Control Button2{"Button2", B::Button, "Setup&&Print"};
    Control Button19{"Button19", B::Button, "Clear Memo"};

    // "Configuration".
    StringGrid StringGrid2{41, 13, "StringGrid2", 17};
    Control Button38{"Button38", B::Button, "PROGRAM MODE"};
    Control Button39{"Button39", B::Button, "NORMAL MODE"};
    Control btn15{"btn15", B::Button, "SAVE ALL CONFIGURATIONS"};
    Control chk5{"chk5", B::CheckBox, "Activate USB-RS485 function"};
    Control btn3{"btn3", B::Button, "Read Temperatures"};
    Control Button42{"Button42", B::Button, "Read EEPROM"};
    Control ComboBox1{"ComboBox1", B::ComboBox};
    Control ComboBox3{"ComboBox3", B::ComboBox};
    Control btn11{"btn11", B::Button, "Save Interval"};
    Control btn12{"btn12", B::Button, "Save Address"};
    Control btn13{"btn13", B::Button, "RST via USB (FTDI)"};
    Control Button17{"Button17", B::Button, "Read Firmware ver."};
    Control Button0{"Button0", B::Button, " RST via CODE"};
    // Search buttons of channels 0 to 9, then "Search all Channels".
    Control Button11{"Button11", B::Button, "Search - Channel 0"};
    Control Button22{"Button22", B::Button, "Search - Channel 1 "};
    Control Button23{"Button23", B::Button, "Search - Channel  2 "};
    Control Button29{"Button29", B::Button, "Search - Channel  3 "};
    Control Button28{"Button28", B::Button, "Search - Channel  4 "};
    Control Button27{"Button27", B::Button, "Search - Channel  5 "};
    Control Button26{"Button26", B::Button, "Search - Channel  6 "};
    Control Button24{"Button24", B::Button, "Search - Channel  7 "};
    Control Button25{"Button25", B::Button, "Search - Channel  8 "};
    Control Button30{"Button30", B::Button, "Search - Channel  9 "};
    Control Button9{"Button9", B::Button, "Search all Channels"};
    // APC0 to APC9, then "Exit ".
    Control Button10{"Button10", B::Button, "APC0"};
    Control Button12{"Button12", B::Button, "APC1"};
    Control Button13{"Button13", B::Button, "APC2"};
    Control Button15{"Button15", B::Button, "APC3"};
    Control Button16{"Button16", B::Button, "APC4"};
    Control Button31{"Button31", B::Button, "APC5"};
    Control Button32{"Button32", B::Button, "APC6"};
    Control Button33{"Button33", B::Button, "APC7"};
    Control Button34{"Button34", B::Button, "APC8"};
    Control Button35{"Button35", B::Button, "APC9"};
    Control Button37{"Button37", B::Button, "Exit "};
    // SBS0 to SBS9, and the "SBS0" without action.
    Control Button45{"Button45", B::Button, "SBS0"};
    Control Button48{"Button48", B::Button, "SBS1"};
    Control Button49{"Button49", B::Button, "SBS2"};
    Control Button50{"Button50", B::Button, "SBS3"};
    Control Button52{"Button52", B::Button, "SBS4"};
    Control Button53{"Button53", B::Button, "SBS5"};
    Control Button54{"Button54", B::Button, "SBS6"};
    Control Button55{"Button55", B::Button, "SBS7"};
    Control Button56{"Button56", B::Button, "SBS8"};
    Control Button57{"Button57", B::Button, "SBS9"};
    Control Button51{"Button51", B::Button, "SBS0"};
    // The sort-by-serial area, in the place of the sensor grid while open.
    Control GroupBox2{"GroupBox2", B::GroupBox, " Sort By Serial Area  "};
    Control Label28{"Label28", B::Label, "Sorted Sensors: 0"};
    Control ListBox1{"ListBox1", B::ListBox};
    Control Button44{"Button44", B::Button, ">>"};
    Control Button46{"Button46", B::Button, "<<"};
    Control ListBox2{"ListBox2", B::ListBox};
    Control Button58{"Button58", B::Button, "Save Sorted Serial Numbers to RAM"};
    Control Button59{"Button59", B::Button, "Close SBS Function"};
    Control GroupBox3{"GroupBox3", B::GroupBox, "  Step 1  "};
    Control GroupBox4{"GroupBox4", B::GroupBox, "  Step 2  "};
    Control GroupBox5{"GroupBox5", B::GroupBox, "  Step 3  "};
    Control Step1Text{"Step1Text", B::Label,
                      "Use buttons: >> and << or double click\non serial item for  proper "
                      "sorting.\nSorted serials will be showed in main \nmemo window. "};
    Control Step2Text{"Step2Text", B::Label,
                      "Save sorted serial numbers with button\n\"Save Sorted Serial Numbers to "
                      "RAM\""};
    Control Step3Text{"Step3Text", B::Label,
                      "For permament saving use button:\n\" SAVE ALL CONFIGURATION\""};

    // "Measurement".
    Control Label4{"Label4", B::Label, "Read NUV Module with adress:"};
    Control ComboBox2{"ComboBox2", B::ComboBox};
    Control Label13{"Label13", B::Label, "Measurement Interval"};
    Control ComboBox4{"ComboBox4", B::ComboBox};
    StringGrid StringGrid3{11, 13, "StringGrid3", 17};
    Control CyclicGroup{"CyclicGroup", B::GroupBox, " Cyclic measurement "};
    Control btn5{"btn5", B::Button, "Start"};
    Control btn6{"btn6", B::Button, "Stop"};
    Control OneMeasureGroup{"OneMeasureGroup", B::GroupBox, "One measure "};
    Control btn7{"btn7", B::Button, "Make"};
    Control ModuleTemperatureGroup{"ModuleTemperatureGroup", B::GroupBox, " Module Temperature "};
    Control Label5{"Label5", B::Label, "- -.- - 'C"};
    Control AnalogPowerGroup{"AnalogPowerGroup", B::GroupBox, " Analog Power "};
    Control Button8{"Button8", B::Button, "Read values"};
    Control Label6{"Label6", B::Label, "Main: --.-- V"};
    Control Label7{"Label7", B::Label, "System: --.-- V"};
    Control Label8{"Label8", B::Label, "C0/1: -.--- A"};
    Control Label9{"Label9", B::Label, "C2/3: -.--- A"};
    Control Label10{"Label10", B::Label, "C4/5: -.--- A"};
    Control Label11{"Label11", B::Label, "C6/7: -.--- A"};
    Control Label12{"Label12", B::Label, "C8/9: -.--- A"};
    Control OutputsGroup{"OutputsGroup", B::GroupBox, " Digital Outputs (only NUV1.x)  "};
    Control chk1{"chk1", B::CheckBox, "OUT1"};
    Control chk2{"chk2", B::CheckBox, "OUT2"};
    Control chk3{"chk3", B::CheckBox, "OUT3"};
    Control chk4{"chk4", B::CheckBox, "OUT4"};
    Control Button40{"Button40", B::Button, "Read Outputs"};
    Control DiagnosticGroup{"DiagnosticGroup", B::GroupBox, " Diagnostic "};
    Control Button7{"Button7", B::Button, "Read"};
    Control Button14{"Button14", B::Button, "Clear"};
    Control ComboBox6{"ComboBox6", B::ComboBox};
    // Beyond the original, in free places of the page: the reading log of the cyclic
    // measurement, and the trend plot's window.
    Control btnLogToFile{"btnLogToFile", B::Button, "Log to file…"};
    Control btnTrend{"btnTrend", B::Button, "Trend…"};

    // "Error Logger".
    Control Label18{"Label18", B::Label, "Cyclic Counter: 0"};
    Control Memo2{"Memo2", B::Memo};
    Control Button6{"Button6", B::Button, "Clear Memo Window"};
    Control Button41{"Button41", B::Button, "Reset Counters"};

    // The service strip right of the normal window width.
    Control Edit8{"Edit8", B::Edit, "Edit8"};
    Control Button21{"Button21", B::Button, "Zamnien"};
    Control Edit9{"Edit9", B::Edit, "Edit9"};
    Control btn2{"btn2", B::Button, "CRC8"};
    Control btn8{"btn8", B::Button, "CRC16"};
    Control btn9{"btn9", B::Button, "Test 4B"};
    Control btn4{"btn4", B::Button, "Zeruj Liczniki"};
    Control Label17{"Label17", B::Label, "..."};
    Control Label19{"Label19", B::Label, "..."};
    Control Label20{"Label20", B::Label, "..."};
    Control Label21{"Label21", B::Label, "..."};
    Control Label22{"Label22", B::Label, "..."};
    Control Label23{"Label23", B::Label, "..."};
    Control btn10{"btn10", B::Button, "READ_EEPROM_126B"};
    Control btn14{"btn14", B::Button, "SPI Read"};
    Control Button4{"Button4", B::Button, "Segregator_Pobierz Seriale"};
    Control Button43{"Button43", B::Button, "Save To RAM"};
    Control Button47{"Button47", B::Button, "Odczytaj Dane Test"};
    Control Button36{"Button36", B::Button, "Read_APC"};
    Control Memo1{"Memo1", B::Memo, "Memo1"};
    Control ComboBox5{"ComboBox5", B::ComboBox, "ComboBox5"};

    Timer Timer1{"Timer1", 60000};
    // Timer2 and Timer4 are never started; the reset by USB stops Timer2 all the same.
    Timer Timer2{"Timer2", 2000};
    Timer Timer3{"Timer3", 1800};
    Timer Timer4{"Timer4", 500};

    // Groups of controls, in the order of the window.
    std::array<Control*, 10> SearchButtons();
    std::array<Control*, 10> ApcButtons();
    std::array<Control*, 10> SbsButtons();
    std::array<Control*, 4> OutputBoxes();

    // Every control, for the window to bind by name.
    const std::vector<Control*>& All() const { return all_; }
    Control* Find(const std::string& name) const;

  private:
    std::vector<Control*> all_;
};

// The APC configuration window.
struct ApcPanel {
    using B = ControlKind;
    ApcPanel();
    ApcPanel(const ApcPanel&) = delete;
    ApcPanel& operator=(const ApcPanel&) = delete;

    std::string title = " Konfiguracja APC";
    bool visible = false;
    std::size_t visibleRevision = 0;
    void SetVisible(bool shown) {
        visible = shown;
        ++visibleRevision;
    }
    // A request to put the window at its place beside the main window, shown or not.
    std::size_t placeRevision = 0;
    void Place() { ++placeRevision; }

    // 12 level rows; 16 for a firmware of 16 sensors per channel.
    StringGrid StringGrid4{9, 13, "StringGrid4", 17};
    Control Memo1{"Memo1", B::Memo};
    Control Button1{"Button1", B::Button, "Zapisz bierzący uklad"};
};

}  // namespace nuv
