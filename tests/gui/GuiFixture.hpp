#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/ApcWindow.hpp"
#include "app/gui/GuiPump.hpp"
#include "app/gui/MainWindow.hpp"
#include "link/Clock.hpp"
#include "model/Tool.hpp"
#include "report/ReportPdf.hpp"
#include "sim/SimFtdi.hpp"
#include "sim/SimulatedModule.hpp"
#include "tests/app/RecordingDialogs.hpp"

namespace nuv::gui::test {

using nuv::test::RecordingDialogs;

// The tool with its windows on the simulated driver and a virtual clock, started as the program
// starts it: the tool, then the windows, then the start-up, a sync, and the window shown.
class WindowTest : public ::testing::Test {
  protected:
    void Open(bool withModule = true) {
        if (withModule) module = &sim::AddSimulatedModule(driver);
        tool = std::make_unique<Tool>(driver, clock, pump, dialogs);
        tool->reportPdf = RenderReportPdf;
        window = std::make_unique<TForm1>(*tool, &pump);
        tool->FormCreate();
        window->SyncAll();
        window->show();
    }

    void TearDown() override {
        window.reset();
        tool.reset();
    }

    // A widget of the main window by its control's name.
    template <typename W = QWidget>
    W* Widget(const char* name) const {
        auto* widget = qobject_cast<W*>(window->ControlWidget(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // A click as the user makes it: on the page that holds the button, with the mouse.
    void Click(const char* name, int page) {
        window->Pages()->setCurrentIndex(page);
        auto* button = Widget<QAbstractButton>(name);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    VirtualClock clock;
    sim::SimFtdi driver{clock};
    sim::SimDevice* module = nullptr;
    GuiPump pump;
    RecordingDialogs dialogs;
    std::unique_ptr<Tool> tool;
    std::unique_ptr<TForm1> window;
};

}  // namespace nuv::gui::test
