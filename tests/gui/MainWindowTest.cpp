// The main window as the operator meets it: title, size, pages, start-up texts, the device list,
// the RS485 buttons and the message log.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "GuiFixture.hpp"
#include "app/gui/Fonts.hpp"
#include "app/gui/GridView.hpp"
#include "app/gui/LogView.hpp"
#include "app/gui/QtDialogs.hpp"

namespace nuv::gui::test {
namespace {

TEST_F(WindowTest, TitleIsOneBlankThenToolAndFirmwareVersion) {
    Open();
    EXPECT_EQ(window->windowTitle(), QString(" ORNEVA NUV Tool v5.5 - firmware v00.48"));
    EXPECT_EQ(window->objectName(), QString("Form1"));
}

TEST_F(WindowTest, ClientAreaIsFixedAt681By605WithoutMaximise) {
    Open();
    EXPECT_EQ(window->size(), QSize(681, 605));
    EXPECT_EQ(window->minimumSize(), QSize(681, 605));
    EXPECT_EQ(window->maximumSize(), QSize(681, 605));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
}

TEST_F(WindowTest, FivePagesInOrderWithConfigurationShown) {
    Open();
    QTabWidget* pages = window->Pages();
    ASSERT_EQ(pages->count(), 5);
    const QStringList captions{"USB Interface", "Firmware Update", "Configuration", "Measurement",
                               "Error Logger"};
    for (int index = 0; index < 5; ++index) EXPECT_EQ(pages->tabText(index), captions[index]);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_EQ(pages->objectName(), QString("pgcTabSheet"));
}

TEST_F(WindowTest, ChoosingAPageIsTheModelsShownPage) {
    Open();
    window->Pages()->tabBar()->setCurrentIndex(3);
    EXPECT_EQ(tool->panel.activePage, 3);
    tool->panel.activePage = 0;
    window->SyncAll();
    EXPECT_EQ(window->Pages()->currentIndex(), 0);
}

TEST_F(WindowTest, FirmwareTextsOfTheCarriedImage) {
    Open();
    EXPECT_EQ(Widget<QLabel>("Label27")->text(),
              QString("Firmware support segregation: STANDARD ORNEVA    Maximum 10 sensors per "
                      "channel"));
    EXPECT_EQ(Widget<QLabel>("Label14")->text(),
              QString("Use bellow function for firmware update to version: 00.48"));
}

TEST_F(WindowTest, WithoutDeviceTheLogReportsCode8AndTheRs485ButtonsAreOff) {
    Open(false);
    const QString shown = window->Log()->toPlainText();
    EXPECT_TRUE(
        shown.startsWith("Error: 00.08\nCheck cables, and press ''Find Devices'' button..."))
        << shown.toStdString();
    EXPECT_EQ(shown.toStdString(), tool->log.Text());
    EXPECT_FALSE(Widget("ButtonA")->isEnabled());
    EXPECT_FALSE(Widget("Button5")->isEnabled());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Widget("Button38")->isEnabled());  // the window works as ever
}

TEST_F(WindowTest, FindUsbDevicesListsTheModuleAsUsed) {
    Open();
    Click("Button3", 0);
    GridView* grid = window->Grid("StringGrid1");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->CellText(0, 1), QString("ORNEVA NUV"));
    EXPECT_EQ(grid->CellText(2, 1), QString("USED BY THIS PROGRAM"));
    EXPECT_EQ(grid->CellText(2, 0), QString(" State"));
    EXPECT_EQ(window->Log()->toPlainText(), QString("ORNEVA Device detected..."));
    EXPECT_TRUE(Widget("ButtonA")->isEnabled());
}

TEST_F(WindowTest, Rs485ButtonsSwapTwiceAndTheIndicatorFollowsTheLine) {
    Open();
    auto* on = Widget<QPushButton>("ButtonA");
    auto* off = Widget<QPushButton>("Button5");
    QWidget* indicator = Widget("pnl6");
    EXPECT_EQ(indicator->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(indicator->autoFillBackground());

    Click("ButtonA", 2);
    EXPECT_TRUE(module->Rts());
    EXPECT_EQ(indicator->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_FALSE(on->isVisible());
    EXPECT_TRUE(off->isVisible());
    EXPECT_EQ(window->Log()->toPlainText(), QString(" USB to RS485 mode has been activated..."));

    Click("Button5", 2);
    EXPECT_FALSE(module->Rts());
    EXPECT_EQ(indicator->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(on->isVisible());
    EXPECT_FALSE(off->isVisible());
    EXPECT_EQ(window->Log()->toPlainText(), QString(" USB to RS485 mode has been turned off..."));
}

TEST_F(WindowTest, AChangeMadeInAHandlerIsShownAfterTheClick) {
    Open();
    tool->panel.Button51.onClick = [this] {
        tool->panel.Label5.SetCaption("21.50 'C");
        tool->panel.btn6.SetEnabled(true);
        tool->panel.StringGrid3.SetCell(1, 1, "21.50");
    };
    Click("Button51", 2);
    EXPECT_EQ(Widget<QLabel>("Label5")->text(), QString("21.50 'C"));
    EXPECT_TRUE(Widget("btn6")->isEnabled());
    EXPECT_EQ(window->Grid("StringGrid3")->CellText(1, 1), QString("21.50"));
}

TEST_F(WindowTest, AnErrorEscapingAHandlerIsShownAndTheWindowGoesOn) {
    Open();
    tool->panel.Button51.onClick = [] { throw std::runtime_error("'abc' is not a valid integer"); };
    Click("Button51", 2);
    ASSERT_EQ(dialogs.messages.size(), 1U);
    EXPECT_EQ(dialogs.messages[0], "'abc' is not a valid integer");
    Click("Button3", 0);
    EXPECT_EQ(window->Log()->toPlainText(), QString("ORNEVA Device detected..."));
}

TEST_F(WindowTest, QtDialogsShowTheMessageInABoxOverTheWindow) {
    Open();
    QtDialogs qtDialogs;
    qtDialogs.SetParent(window.get());
    QString shown;
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        parent = box->parentWidget();
        box->accept();
    });
    qtDialogs.ShowMessage("'Błąd' is not a valid integer value");
    EXPECT_EQ(shown, QString::fromUtf8("'Błąd' is not a valid integer value"));
    EXPECT_EQ(parent, window.get());
}

// Types `name` into the open save dialog and presses Enter; the question that comes up is kept
// in `question` and answered with `answer`; a dialog still open afterwards is cancelled.
void SaveAs(const QString& name, QMessageBox::StandardButton answer, QString& question,
            bool& asksBeforeReplacing) {
    QTimer::singleShot(0, [=, &question, &asksBeforeReplacing] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->clear();
        QTest::keyClicks(edit, name);
        QTimer::singleShot(0, [=, &question] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            question = box->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
        QTest::keyClick(edit, Qt::Key_Return);
        QPointer<QFileDialog> still(dialog);
        QTimer::singleShot(0, [still] {
            if (still && still->isVisible()) still->reject();
        });
    });
}

TEST_F(WindowTest, TheSaveDialogAsksBeforeItReplacesAFile) {
    Open();
    QtDialogs qtDialogs;
    qtDialogs.SetParent(window.get());
    const QString folder = QString::fromStdString(::testing::TempDir()) + "nuv-save-" +
                           QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    QFile existing(folder + "/readings.csv");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("earlier log\n");
    existing.close();
    SaveFileRequest request;
    request.filters = {{"Comma-separated values (*.csv)", "*.csv"}, {"All files (*)", "*"}};
    request.defaultExtension = "csv";
    request.folder = folder.toStdString();

    // "No": the file is not chosen, and the dialog stays for another name (cancelled here).
    QString question;
    bool asks = false;
    SaveAs("readings.csv", QMessageBox::No, question, asks);
    EXPECT_EQ(qtDialogs.ChooseSaveFile(request), std::nullopt);
    EXPECT_TRUE(asks);
    EXPECT_EQ(question, QString("readings.csv already exists.\nDo you want to replace it?"));

    // "Yes": the file is chosen. A new name is not asked about.
    question.clear();
    SaveAs("readings.csv", QMessageBox::Yes, question, asks);
    EXPECT_EQ(qtDialogs.ChooseSaveFile(request), (folder + "/readings.csv").toStdString());
    EXPECT_FALSE(question.isEmpty());
    question.clear();
    SaveAs("new", QMessageBox::Yes, question, asks);
    EXPECT_EQ(qtDialogs.ChooseSaveFile(request), (folder + "/new.csv").toStdString());
    EXPECT_TRUE(question.isEmpty());
    QDir(folder).removeRecursively();
}

TEST_F(WindowTest, ThePumpDrawsModelChangesDuringAWait) {
    Open();
    QString seenDuringWait;
    tool->panel.Button51.onClick = [this, &seenDuringWait] {
        tool->panel.Label18.SetCaption("Cyclic Counter: 7");
        tool->pump.ProcessEvents();  // as every wait on the module does
        seenDuringWait = Widget<QLabel>("Label18")->text();
    };
    Click("Button51", 2);
    EXPECT_EQ(seenDuringWait, QString("Cyclic Counter: 7"));
    EXPECT_GT(pump.Passes(), 0U);
}

TEST_F(WindowTest, LogRunsKeepTheModelsColours) {
    Open(false);  // two red report lines
    tool->log.SetColour(Rgb{0, 255, 0});
    tool->log.Insert("\n01 03 00 00 00 65");
    tool->log.SetColour(Rgb{255, 255, 0});
    tool->log.Insert(" 44 21");
    tool->log.SetColour(Rgb{0, 255, 0});
    tool->log.AppendText("\nBłąd");

    std::vector<ShownRun> expected;
    for (const LogRun& run : tool->log.Runs()) {
        for (const QChar character : ToQString(run.text)) {
            AddShown(expected, character, ToQColor(run.colour));
        }
    }
    const std::vector<ShownRun> shown = window->Log()->Runs();
    ASSERT_EQ(shown.size(), 4U);  // red, green, yellow, green
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(shown[0].colour, QColor(255, 0, 0));
    EXPECT_TRUE(shown[3].text.endsWith(QString::fromUtf8("Błąd")));

    // A status line replaces everything, in the default colour.
    tool->log.SetText("Program Mode ON...");
    ASSERT_EQ(window->Log()->Runs().size(), 1U);
    EXPECT_EQ(window->Log()->Runs()[0], (ShownRun{"Program Mode ON...", QColor(118, 254, 240)}));
}

TEST_F(WindowTest, ClosingTheWindowClosesTheLink) {
    Open();
    ASSERT_TRUE(tool->link.IsOpen());
    tool->form2.SetVisible(true);
    window->SyncAll();
    window->close();
    EXPECT_FALSE(tool->link.IsOpen());
    EXPECT_FALSE(window->ApcWindow()->isVisible());
}

}  // namespace
}  // namespace nuv::gui::test
