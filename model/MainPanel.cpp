#include "model/MainPanel.hpp"

namespace nuv {

MainPanel::MainPanel() {
    all_ = {&ProgressBar1, &ButtonA, &Button5, &pnl6,
            // "USB Interface"
            &StringGrid1, &Button3,
            // "Firmware Update"
            &grp8, &Label14, &Label27, &btn1, &FirmwareStep1, &FirmwareStep2, &FirmwareStep3,
            &FirmwareStep4, &Panel1, &SavedLabel, &PagesLabel, &SizeLabel, &Edit2, &Edit3, &Edit4,
            &Button18, &Panel2, &Button20, &Panel3, &Button1, &Button2, &Button19,
            // "Configuration"
            &StringGrid2, &Button38, &Button39, &btn15, &chk5, &btn3, &Button42, &ComboBox1,
            &ComboBox3, &btn11, &btn12, &btn13, &Button17, &Button0, &Button11, &Button22,
            &Button23, &Button29, &Button28, &Button27, &Button26, &Button24, &Button25, &Button30,
            &Button9, &Button10, &Button12, &Button13, &Button15, &Button16, &Button31, &Button32,
            &Button33, &Button34, &Button35, &Button37, &Button45, &Button48, &Button49, &Button50,
            &Button52, &Button53, &Button54, &Button55, &Button56, &Button57, &Button51, &GroupBox2,
            &Label28, &ListBox1, &Button44, &Button46, &ListBox2, &Button58, &Button59, &GroupBox3,
            &GroupBox4, &GroupBox5, &Step1Text, &Step2Text, &Step3Text,
            // "Measurement"
            &Label4, &ComboBox2, &Label13, &ComboBox4, &StringGrid3, &CyclicGroup, &btn5, &btn6,
            &OneMeasureGroup, &btn7, &ModuleTemperatureGroup, &Label5, &AnalogPowerGroup, &Button8,
            &Label6, &Label7, &Label8, &Label9, &Label10, &Label11, &Label12, &OutputsGroup, &chk1,
            &chk2, &chk3, &chk4, &Button40, &DiagnosticGroup, &Button7, &Button14, &ComboBox6,
            // "Error Logger"
            &Label18, &Memo2, &Button6, &Button41,
            // service strip
            &Edit8, &Button21, &Edit9, &btn2, &btn8, &btn9, &btn4, &Label17, &Label19, &Label20,
            &Label21, &Label22, &Label23, &btn10, &btn14, &Button4, &Button43, &Button47, &Button36,
            &Memo1, &ComboBox5};
    all_.push_back(&btnUpdateFromFile);  // on "Firmware Update", beside "Update Firmware"
    // Free places of "USB Interface" and "Measurement".
    all_.insert(all_.end(),
                {&btnScanBus, &btnServiceReport, &ServiceStatus, &btnLogToFile, &btnTrend});

    // Initial states: normal-mode commands enabled, program-mode commands disabled.
    for (Control* control : {&Button39, &btn15, &Button42, &btn11, &btn12, &Button17, &Button0,
                             &Button9, &Button37, &btn6, &Button44, &Button46, &Button58}) {
        control->SetEnabled(false);
    }
    for (Control* control : SearchButtons()) control->SetEnabled(false);
    for (Control* control : ApcButtons()) control->SetEnabled(false);
    for (Control* control : SbsButtons()) control->SetEnabled(false);
    for (Control* control : {&Panel1, &Panel2, &Panel3, &GroupBox2}) control->SetVisible(false);

    pnl6.SetColour(colour::Red);
    Button3.SetBold(true);
    Button11.SetHint("Search and Sort Automatically");
    Button10.SetHint("Sort with each sensor warming");
    Button45.SetHint("Sort by Serial Number");
    btnUpdateFromFile.SetHint("Write a firmware image from a file (raw binary or Intel HEX)");
    btnScanBus.SetHint("Ask every address 1..247 once and list the modules that answer");
    btnServiceReport.SetHint("Collect everything about the module into a report file");
    btnLogToFile.SetHint("Write every reading of the cyclic measurement into a CSV file");
    btnTrend.SetHint("Plot the temperatures over time");
    StringGrid1.SetColour(colour::Black);
    StringGrid1.SetTextColour(Rgb{0, 255, 255});
    StringGrid1.SetColumnWidths({182, 150, 335});
    Memo1.SetCaption("Memo1");
    Memo2.SetColour(colour::Black);
    Memo2.SetTextColour(Rgb{128, 128, 0});
}

std::array<Control*, 10> MainPanel::SearchButtons() {
    return {&Button11, &Button22, &Button23, &Button29, &Button28,
            &Button27, &Button26, &Button24, &Button25, &Button30};
}

std::array<Control*, 10> MainPanel::ApcButtons() {
    return {&Button10, &Button12, &Button13, &Button15, &Button16,
            &Button31, &Button32, &Button33, &Button34, &Button35};
}

std::array<Control*, 10> MainPanel::SbsButtons() {
    return {&Button45, &Button48, &Button49, &Button50, &Button52,
            &Button53, &Button54, &Button55, &Button56, &Button57};
}

std::array<Control*, 4> MainPanel::OutputBoxes() {
    return {&chk1, &chk2, &chk3, &chk4};
}

Control* MainPanel::Find(const std::string& name) const {
    for (Control* control : all_) {
        if (control->Name() == name) return control;
    }
    return nullptr;
}

ApcPanel::ApcPanel() {
    StringGrid4.SetColumnWidths({64, 120, 34, 33, 44, 191, 29, 29, 33});
    StringGrid4.SetColour(Rgb{255, 255, 255});
    StringGrid4.SetDefaultRowHeight(18);
    Memo1.SetColour(colour::Black);
    Memo1.SetTextColour(Rgb{0, 255, 0});
}

}  // namespace nuv
