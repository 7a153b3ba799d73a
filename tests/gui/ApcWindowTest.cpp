// The APC configuration window: its layout, and that it follows the model's visibility while it
// stays above the main window and leaves that usable.
#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "GuiFixture.hpp"
#include "app/gui/GridView.hpp"
#include "app/gui/LogView.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::gui::test {
namespace {

TEST_F(WindowTest, ApcWindowIsHiddenAtStartAndFollowsTheModel) {
    Open();
    TForm2* apc = window->ApcWindow();
    ASSERT_NE(apc, nullptr);
    EXPECT_EQ(apc->objectName(), QString("Form2"));
    EXPECT_FALSE(apc->isVisible());

    tool->form2.SetVisible(true);
    window->SyncAll();
    EXPECT_TRUE(apc->isVisible());
    EXPECT_EQ(apc->parentWidget(), window.get());
    EXPECT_TRUE(apc->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(apc->windowType(), Qt::Tool);
    EXPECT_FALSE(apc->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(apc->pos(), window->frameGeometry().topLeft() + QPoint(90, 140));
    // The main window stays usable while it is shown.
    Click("Button3", 0);
    EXPECT_EQ(window->Log()->toPlainText(), QString("ORNEVA Device detected..."));

    tool->form2.SetVisible(false);
    window->SyncAll();
    EXPECT_FALSE(apc->isVisible());
}

TEST_F(WindowTest, ClosingTheApcWindowHidesItInTheModel) {
    Open();
    tool->form2.SetVisible(true);
    window->SyncAll();
    window->ApcWindow()->close();
    EXPECT_FALSE(tool->form2.visible);
    EXPECT_FALSE(window->ApcWindow()->isVisible());
    // Shown again by the model, it comes back.
    tool->form2.SetVisible(true);
    window->SyncAll();
    EXPECT_TRUE(window->ApcWindow()->isVisible());
}

TEST_F(WindowTest, ApcWindowLayout) {
    Open();
    TForm2* apc = window->ApcWindow();
    EXPECT_EQ(apc->windowTitle(), QString(" Konfiguracja APC"));
    EXPECT_EQ(apc->size(), QSize(501, 293));
    EXPECT_EQ(apc->minimumSize(), apc->maximumSize());
    EXPECT_FALSE(apc->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(apc->font().pixelSize(), 11);

    GridView* grid = apc->Grid();
    QTableWidget* table = grid->Table();
    EXPECT_EQ(table->objectName(), QString("StringGrid4"));
    EXPECT_EQ(table->geometry(), QRect(1, 7, 498, 253));
    EXPECT_EQ(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // Its 12 level rows fit; only the 16 levels of some firmware bring a vertical bar.
    EXPECT_EQ(table->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(table->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_EQ(table->focusPolicy(), Qt::ClickFocus);
    const int widths[] = {120, 34, 33, 44, 191, 29, 29, 33};
    for (int column = 0; column < 8; ++column)
        EXPECT_EQ(table->columnWidth(column), widths[column]);
    EXPECT_EQ(table->verticalHeader()->width(), 64);
    EXPECT_EQ(grid->RowHeight(0), 18);
    EXPECT_EQ(grid->RowHeight(1), 19);
    EXPECT_EQ(grid->RowHeight(2), 18);
    EXPECT_EQ(grid->RowHeight(12), 18);
    EXPECT_EQ(table->rowCount(), 12);
    EXPECT_EQ(grid->CellText(0, 0), QString("Poziom"));
    EXPECT_EQ(grid->CellText(5, 0), QString(" Posegregowane Sensory"));
    EXPECT_EQ(grid->CellText(0, 10), QString("10"));
    EXPECT_EQ(grid->CellText(0, 11), QString());

    auto* memo = qobject_cast<QPlainTextEdit*>(apc->ControlWidget("Memo1"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->geometry(), QRect(3, 267, 358, 25));
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_TRUE(memo->toPlainText().isEmpty());

    auto* button = qobject_cast<QPushButton*>(apc->ControlWidget("Button1"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(368, 267, 129, 25));
    EXPECT_EQ(button->text(), QString::fromUtf8("Zapisz bierzący uklad"));
    EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 6, 129);
}

TEST_F(WindowTest, ApcWindowShowsTheProceduresTexts) {
    Open();
    tool->form2.StringGrid4.SetCell(1, 1, "2823775802000046");
    tool->form2.Memo1.SetTextColour(Rgb{255, 0, 0});
    tool->form2.Memo1.SetText("Podgrzewaj sensor nr: 4");
    tool->form2.Button1.SetEnabled(false);
    window->SyncAll();
    TForm2* apc = window->ApcWindow();
    EXPECT_EQ(apc->Grid()->CellText(1, 1), QString("2823775802000046"));
    auto* memo = qobject_cast<QPlainTextEdit*>(apc->ControlWidget("Memo1"));
    EXPECT_EQ(memo->toPlainText(), QString("Podgrzewaj sensor nr: 4"));
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_FALSE(apc->ControlWidget("Button1")->isEnabled());
    // A damaged serial is drawn red; written again, the cell takes the grid's colour back.
    tool->form2.StringGrid4.SetCell(5, 2, "68410986DF379360 CRC!");
    tool->form2.StringGrid4.SetCellTextColour(5, 2, Rgb{242, 27, 21});
    window->SyncAll();
    QTableWidgetItem* damaged = apc->Grid()->Table()->item(1, 4);
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->foreground().color(), QColor(242, 27, 21));
    tool->form2.StringGrid4.SetCell(5, 2, "28414986DF379360");
    window->SyncAll();
    EXPECT_EQ(damaged->foreground().style(), Qt::NoBrush);
    EXPECT_EQ(apc->Grid()->CellText(5, 2), QString("28414986DF379360"));
    // A serial fits its column.
    const QFontMetrics metrics(apc->Grid()->Table()->font());
    EXPECT_LE(metrics.horizontalAdvance("2823775802000046") + 6, 120);
}

// The APC window over a module whose blocks are kept, for what its close box sends.
class ApcCloseTest : public WindowTest {
  protected:
    void SetUp() override {
        driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(moduleOwner);
        module.sensorCount[0] = 3;
        Open(false);
        Click("Button38", kPageConfiguration);  // PROGRAM MODE
        ASSERT_TRUE(module.programMode);
    }
    // How many end-segregation blocks (0xA0 0x00) the module got.
    std::size_t EndBlocks() const {
        return static_cast<std::size_t>(
            std::count_if(module.Blocks().begin(), module.Blocks().end(),
                          [](const auto& block) { return block[1] == 0xA0 && block[2] == 0x00; }));
    }

    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
};

TEST_F(ApcCloseTest, TheCloseBoxOfAFinishedRunOnlyHidesTheWindow) {
    // A run that has finished leaves the window shown with its button disabled.
    tool->form2.SetVisible(true);
    tool->form2.Button1.SetEnabled(false);
    window->SyncAll();
    TForm2* apc = window->ApcWindow();
    ASSERT_TRUE(apc->isVisible());
    apc->close();
    EXPECT_FALSE(apc->isVisible());
    EXPECT_FALSE(tool->form2.visible);
    EXPECT_EQ(EndBlocks(), 0U);
    EXPECT_TRUE(module.programMode);
}

TEST_F(ApcCloseTest, TheCloseBoxDuringSaveAllConfigurationsKeepsNoClickForLater) {
    tool->form2.SetVisible(true);
    tool->form2.Button1.SetEnabled(false);
    window->SyncAll();
    TForm2* apc = window->ApcWindow();
    // The operator closes the window while the save waits on the module.
    bool closed = false;
    pump.SetHook([&] {
        window->SyncAll();
        if (!closed && tool->CommandRunning()) {
            closed = true;
            apc->close();
        }
    });
    Click("btn15", kPageConfiguration);  // SAVE ALL CONFIGURATIONS
    pump.SetHook([&] { window->SyncAll(); });
    ASSERT_TRUE(closed);
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(tool->log.Text(), "Saved - OK");  // and nothing after it
    EXPECT_FALSE(apc->isVisible());
    EXPECT_EQ(EndBlocks(), 0U);
}

TEST_F(ApcCloseTest, WhileItsButtonMayBePressedTheCloseBoxPressesIt) {
    Click("Button10", kPageConfiguration);  // APC0
    TForm2* apc = window->ApcWindow();
    ASSERT_TRUE(apc->isVisible());
    tool->form2.Button1.SetEnabled(true);  // as after a poll
    window->SyncAll();
    apc->close();
    EXPECT_EQ(EndBlocks(), 1U);
    EXPECT_FALSE(apc->isVisible());
    EXPECT_FALSE(tool->panel.Timer3.Enabled());
    EXPECT_TRUE(Widget("Button11")->isEnabled());  // the program-mode commands are back
}

TEST_F(ApcCloseTest, EveryStartPlacesTheWindowAlsoWhenItIsStillShown) {
    Click("Button10", kPageConfiguration);
    TForm2* apc = window->ApcWindow();
    const QPoint place = window->frameGeometry().topLeft() + QPoint(90, 140);
    ASSERT_TRUE(apc->isVisible());
    EXPECT_EQ(apc->pos(), place);
    // The run ends and the window stays shown (as a finished run leaves it); the operator moves
    // it aside and starts a new run while it is still shown.
    tool->panel.Button37.SetEnabled(true);  // as after a poll
    window->SyncAll();
    Click("Button37", kPageConfiguration);  // "Exit "
    tool->form2.SetVisible(true);
    window->SyncAll();
    ASSERT_TRUE(apc->isVisible());
    apc->move(place + QPoint(200, 50));
    ASSERT_EQ(apc->pos(), place + QPoint(200, 50));
    Click("Button10", kPageConfiguration);
    EXPECT_TRUE(apc->isVisible());
    EXPECT_EQ(apc->pos(), place);
}

}  // namespace
}  // namespace nuv::gui::test
