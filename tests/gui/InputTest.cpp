// User input reaches the model before the handler runs, and the model's timers drive Qt timers.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

#include "GuiFixture.hpp"

namespace nuv::gui::test {
namespace {

TEST_F(WindowTest, ACheckBoxClickSetsTheModelBeforeItsHandler) {
    Open();
    bool checkedInHandler = false;
    int clicks = 0;
    tool->panel.chk5.onClick = [&] {
        checkedInHandler = tool->panel.chk5.Checked();
        ++clicks;
    };
    Click("chk5", 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(checkedInHandler);
    EXPECT_TRUE(tool->panel.chk5.Checked());
    Click("chk5", 2);
    EXPECT_FALSE(checkedInHandler);
    // The model unticks it: the box follows.
    tool->panel.chk5.SetChecked(true);
    window->SyncAll();
    EXPECT_TRUE(Widget<QCheckBox>("chk5")->isChecked());
}

TEST_F(WindowTest, ABoxTickedWhileACommandWaitsIsNotActedOnAndUndone) {
    Open();
    int outputClicks = 0;
    tool->panel.chk1.onClick = [&] { ++outputClicks; };
    bool tickedDuringCommand = true;
    tool->panel.Button51.onClick = [&] {
        // The operator ticks OUT1 while this command waits on the module.
        auto* box = Widget<QCheckBox>("chk1");
        box->click();
        tickedDuringCommand = box->isChecked();
    };
    Click("Button51", 2);
    EXPECT_EQ(outputClicks, 0);
    EXPECT_FALSE(tickedDuringCommand);
    EXPECT_FALSE(tool->panel.chk1.Checked());
    // Once the command is over the box works again.
    window->Pages()->setCurrentIndex(3);
    QTest::mouseClick(Widget<QCheckBox>("chk1"), Qt::LeftButton);
    EXPECT_EQ(outputClicks, 1);
    EXPECT_TRUE(tool->panel.chk1.Checked());
}

TEST_F(WindowTest, ChoosingAnItemSelectsItThenRunsTheChange) {
    Open();
    int indexInHandler = -2;
    tool->panel.ComboBox2.onChange = [&] { indexInHandler = tool->panel.ComboBox2.Index(); };
    window->Pages()->setCurrentIndex(3);
    auto* combo = Widget<QComboBox>("ComboBox2");
    ASSERT_EQ(combo->count(), 247);
    EXPECT_EQ(combo->currentText(), QString("    2"));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(indexInHandler, 2);
    EXPECT_EQ(tool->panel.ComboBox2.Index(), 2);
    EXPECT_EQ(tool->panel.ComboBox2.Text(), "    3");
}

TEST_F(WindowTest, TypingIntoAComboLeavesNoItemSelected) {
    Open();
    int changes = 0;
    tool->panel.ComboBox4.onChange = [&] { ++changes; };
    window->Pages()->setCurrentIndex(3);
    auto* combo = Widget<QComboBox>("ComboBox4");
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "15");
    EXPECT_EQ(changes, 2);  // one change per key
    EXPECT_EQ(tool->panel.ComboBox4.Index(), -1);
    EXPECT_EQ(tool->panel.ComboBox4.Text(), "15");
    EXPECT_EQ(combo->count(), 255);  // typed text adds no item
    // The model choosing an item again shows it.
    tool->panel.ComboBox4.SetIndex(9);
    window->SyncAll();
    EXPECT_EQ(combo->currentIndex(), 9);
    EXPECT_EQ(combo->currentText(), QString(" 10"));
}

TEST_F(WindowTest, TypingIntoAnEditGoesToTheModelAndKeepsTheCursor) {
    Open();
    window->ScrollToServiceArea();
    auto* edit = Widget<QLineEdit>("Edit8");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "321");
    EXPECT_EQ(tool->panel.Edit8.Text(), "321");
    EXPECT_EQ(edit->cursorPosition(), 3);
    edit->setCursorPosition(1);
    QTest::keyClicks(edit, "0");
    EXPECT_EQ(tool->panel.Edit8.Text(), "3021");
    EXPECT_EQ(edit->cursorPosition(), 2);

    // "Zamnien" turns the code into its character.
    tool->panel.Edit8.SetText("65");
    window->SyncAll();
    EXPECT_EQ(edit->text(), QString("65"));
    QTest::mouseClick(Widget<QAbstractButton>("Button21"), Qt::LeftButton);
    EXPECT_EQ(Widget<QLineEdit>("Edit9")->text(), QString("A"));
}

TEST_F(WindowTest, AMemoFollowsItsTextAndTakesTyping) {
    Open();
    auto* memo = Widget<QPlainTextEdit>("Memo1");
    EXPECT_EQ(memo->toPlainText(), QString("Memo1"));
    tool->panel.Memo1.SetText("Memo1\n15");
    window->SyncAll();
    EXPECT_EQ(memo->toPlainText(), QString("Memo1\n15"));
    tool->panel.Memo1.SetText("25");
    window->SyncAll();
    EXPECT_EQ(memo->toPlainText(), QString("25"));
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, "7");
    EXPECT_EQ(tool->panel.Memo1.Text(), "257");
}

TEST_F(WindowTest, ErrorLoggerFollowsTheLoggerInItsColours) {
    Open();
    auto* memo = Widget<QPlainTextEdit>("Memo2");
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(128, 128, 0));
    tool->logger.AppendLine("12:0:5   USB Errors: 1");
    tool->logger.AppendLine("12:0:9   USB Errors: 2");
    EXPECT_EQ(memo->toPlainText().toStdString(), tool->logger.Text());
    tool->logger.Clear();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(WindowTest, AListClickSelectsTheItemThenRunsTheClick) {
    Open();
    tool->panel.StringGrid2.SetVisible(false);
    tool->panel.GroupBox2.SetVisible(true);
    tool->panel.ListBox1.SetItems({"2823775802000046", "28FF0A1B2C3D4E5F"});
    window->SyncAll();
    int indexInHandler = -2;
    tool->panel.ListBox1.onClick = [&] { indexInHandler = tool->panel.ListBox1.Index(); };
    window->Pages()->setCurrentIndex(2);
    auto* list = Widget<QListWidget>("ListBox1");
    ASSERT_EQ(list->count(), 2);
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(indexInHandler, 1);
}

TEST_F(WindowTest, ModelTimersStartStopAndReintervalQtTimers) {
    Open();
    QTimer* timer = window->TimerOf("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    tool->panel.Timer1.SetInterval(100);
    tool->panel.Timer1.SetEnabled(true);
    window->SyncAll();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
    tool->panel.Timer1.SetInterval(4000);
    window->SyncAll();
    EXPECT_EQ(timer->interval(), 4000);
    // A 0 ms timer never fires.
    tool->panel.Timer1.SetInterval(0);
    window->SyncAll();
    EXPECT_FALSE(timer->isActive());
    tool->panel.Timer1.SetInterval(1800);
    window->SyncAll();
    EXPECT_TRUE(timer->isActive());
    tool->panel.Timer1.SetEnabled(false);
    window->SyncAll();
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(window->TimerOf("Timer3")->isActive());
}

TEST_F(WindowTest, ATimersTickRunsItsHandlerAndDrawsTheResult) {
    Open();
    int ticks = 0;
    tool->panel.Timer3.onTimer = [&] {
        ++ticks;
        tool->panel.Timer3.SetEnabled(false);
        tool->panel.Label18.SetCaption("ticked");
    };
    tool->panel.Timer3.SetInterval(1);
    tool->panel.Timer3.SetEnabled(true);
    window->SyncAll();
    QElapsedTimer waited;
    waited.start();
    while (ticks == 0 && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(window->TimerOf("Timer3")->isActive());
    EXPECT_EQ(Widget<QLabel>("Label18")->text(), QString("ticked"));
}

}  // namespace
}  // namespace nuv::gui::test
