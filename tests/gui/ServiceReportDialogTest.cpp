// "Service report…" as a technician fills it in: the file, the remarks, the last visit's report,
// with the keyboard and the mouse; and the window's report written from it.
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "GuiFixture.hpp"
#include "app/gui/QtDialogs.hpp"
#include "app/gui/ServiceReportDialog.hpp"

namespace nuv::gui::test {
namespace {

// Typing letters beyond ASCII, as a Polish keyboard sends them.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

SaveFileRequest ReportFiles(const std::string& folder) {
    SaveFileRequest request;
    request.filters = {{"Text report (*.txt)", "*.txt"},
                       {"JSON report (*.json)", "*.json"},
                       {"PDF document (*.pdf)", "*.pdf"}};
    request.defaultExtension = "txt";
    request.folder = folder;
    return request;
}

TEST(ServiceReportDialogTest, FilledInWithTheKeyboardAndTheMouse) {
    int reportAsked = 0;
    ServiceReportDialog dialog(
        ReportFiles("/visits"),
        [&]() -> std::optional<std::string> {
            ++reportAsked;
            return std::nullopt;  // the file dialog cancelled: the name typed stays
        },
        [] { return std::optional<std::string>("/visits/2025/visit.json"); });
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    // Nothing is written without a name.
    EXPECT_FALSE(dialog.WriteButton()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), dialog.ReportFile());
    QTest::keyClicks(dialog.ReportFile(), "visit");
    EXPECT_TRUE(dialog.WriteButton()->isEnabled());
    QTest::mouseClick(dialog.findChild<QPushButton*>("browseReport"), Qt::LeftButton);
    EXPECT_EQ(reportAsked, 1);
    EXPECT_EQ(dialog.ReportFile()->text(), QString("visit"));
    // Tab goes past the "Browse…" button to the remarks, where Enter breaks the line.
    QTest::mouseClick(dialog.ReportFile(), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QPushButton*>("browseReport"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dialog.Remarks());
    QTest::keyClicks(dialog.Remarks(), "Probe 3 re-fastened.");
    QTest::keyClick(dialog.Remarks(), Qt::Key_Return);
    Type(dialog.Remarks(), QString::fromUtf8("Zażółć gęślą jaźń."));
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(dialog.Remarks(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.PreviousReport());
    QTest::mouseClick(dialog.findChild<QPushButton*>("browsePrevious"), Qt::LeftButton);
    EXPECT_EQ(dialog.PreviousReport()->text(), QString("/visits/2025/visit.json"));
    // Enter in a line writes the report.
    QTest::keyClick(dialog.PreviousReport(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const ServiceReportRequest request = dialog.Request();
    EXPECT_EQ(request.path, "/visits/visit.txt");  // the folder and the ending added
    EXPECT_EQ(request.remarks, "Probe 3 re-fastened.\nZażółć gęślą jaźń.");
    EXPECT_EQ(request.previous, "/visits/2025/visit.json");
}

TEST(ServiceReportDialogTest, ANameWithAFolderAndAnEndingIsTakenAsItIs) {
    ServiceReportDialog dialog(
        ReportFiles("/visits"), [] { return std::optional<std::string>("/elsewhere/a.pdf"); },
        [] { return std::nullopt; });
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>("browseReport"), Qt::LeftButton);
    EXPECT_EQ(dialog.Request().path, "/elsewhere/a.pdf");
    EXPECT_EQ(dialog.Request().previous, "");
    QTest::keyClick(dialog.ReportFile(), Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// The window on the simulated module with its real dialogs.
class ServiceReportWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        folder = ::testing::TempDir() + "nuv-gui-report-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        module = &sim::AddSimulatedModule(driver);
        tool = std::make_unique<Tool>(driver, clock, pump, qtDialogs);
        tool->reportPdf = RenderReportPdf;
        tool->saveFolder = folder;
        window = std::make_unique<TForm1>(*tool, &pump);
        qtDialogs.SetParent(window.get());
        tool->FormCreate();
        window->SyncAll();
        window->show();
    }
    void TearDown() override {
        WindowTest::TearDown();
        std::filesystem::remove_all(folder);
    }
    // Clicks "Service report…" and, once its dialog is up, lets `fill` answer it.
    void Report(const std::function<void(ServiceReportDialog&)>& fill) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<ServiceReportDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_EQ(dialog->parentWidget(), window.get());
            fill(*dialog);
            if (dialog->isVisible()) dialog->reject();  // never left open
        });
        Click("btnServiceReport", kPageUsbInterface);
        EXPECT_TRUE(seen);
        window->SyncAll();
    }

    QtDialogs qtDialogs;
    std::string folder;
};

TEST_F(ServiceReportWindowTest, APdfNameTypedInTheDialogWritesThePdf) {
    Report([](ServiceReportDialog& dialog) {
        QTest::keyClicks(dialog.ReportFile(), "visit.pdf");
        QTest::mouseClick(dialog.Remarks(), Qt::LeftButton);
        QTest::keyClicks(dialog.Remarks(), "Cable gland tightened.");
        QTest::mouseClick(dialog.WriteButton(), Qt::LeftButton);
    });
    EXPECT_EQ(tool->panel.ServiceStatus.Caption(), "Service report saved: 10 steps, 0 failed")
        << tool->log.Text();
    std::ifstream in(folder + "/visit.pdf", std::ios::binary);
    std::string start(5, '\0');
    in.read(start.data(), 5);
    EXPECT_EQ(start, "%PDF-");
    EXPECT_EQ(std::filesystem::file_size(folder + "/visit-memory.dat"), 4096U);
    EXPECT_TRUE(Widget<QPushButton>("btnServiceReport")->isEnabled());
}

TEST_F(ServiceReportWindowTest, EscapeAsksNothingOfTheModule) {
    const std::size_t written = module->Written().size();
    Report([](ServiceReportDialog& dialog) {
        QTest::keyClicks(dialog.ReportFile(), "visit.txt");
        QTest::keyClick(dialog.ReportFile(), Qt::Key_Escape);
    });
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit.txt"));
    EXPECT_EQ(tool->panel.ServiceStatus.Caption(), "");
    EXPECT_EQ(module->Written().size(), written);
}

TEST_F(ServiceReportWindowTest, AnUnreadableEarlierReportStopsBeforeTheModuleIsAsked) {
    const std::size_t written = module->Written().size();
    std::ofstream(folder + "/old.json") << "{\"format\":2,";
    Report([this](ServiceReportDialog& dialog) {
        QTest::keyClicks(dialog.ReportFile(), "visit.json");
        QTest::keyClicks(dialog.PreviousReport(), QString::fromStdString(folder + "/old.json"));
        QTest::keyClick(dialog.PreviousReport(), Qt::Key_Return);
    });
    EXPECT_EQ(tool->panel.ServiceStatus.Caption(), "Service report not written");
    EXPECT_NE(tool->log.Text().find("Service report: the previous report: " + folder +
                                    "/old.json: not JSON: a member name was expected at byte 12"),
              std::string::npos)
        << tool->log.Text();
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit.json"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit-memory.dat"));
    EXPECT_EQ(module->Written().size(), written);
}

}  // namespace
}  // namespace nuv::gui::test
