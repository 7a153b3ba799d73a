// The sort-by-serial lists driven as a technician drives them: arrow keys, Home and End, typing,
// pressing and dragging, then ">>", "<<" and the save; the module gets the order highlighted.
#include <QListWidget>
#include <QPushButton>

#include "GuiFixture.hpp"
#include "sensors/SensorCommon.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::gui::test {
namespace {

class SortListTest : public WindowTest {
  protected:
    void SetUp() override {
        driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(moduleOwner);
        module.sensorCount[2] = 4;
        Open(false);
        Click("Button38", kPageConfiguration);  // PROGRAM MODE
        ASSERT_TRUE(module.programMode);
        Click("Button49", kPageConfiguration);  // SBS2
        found = Widget<QListWidget>("ListBox1");
        sorted = Widget<QListWidget>("ListBox2");
        ASSERT_EQ(found->count(), 4);
        for (int row = 0; row < found->count(); ++row) {
            serials.push_back(found->item(row)->text().toStdString());
        }
    }
    // A key on a list, the window having handled what was pending as between a person's keys.
    void Key(QListWidget* list, Qt::Key key) {
        list->setFocus();
        QCoreApplication::processEvents();
        QTest::keyClick(list, key);
    }
    void Press(const char* button) { Click(button, kPageConfiguration); }
    QPoint RowCentre(QListWidget* list, int row) {
        return list->visualItemRect(list->item(row)).center();
    }
    std::vector<std::string> Items(QListWidget* list) {
        std::vector<std::string> items;
        for (int row = 0; row < list->count(); ++row) {
            items.push_back(list->item(row)->text().toStdString());
        }
        return items;
    }

    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    QListWidget* found = nullptr;
    QListWidget* sorted = nullptr;
    std::vector<std::string> serials;  // as the search listed them
};

TEST_F(SortListTest, KeysAndDraggingChooseTheItemThatMovesAndIsSaved) {
    Control& list1 = tool->panel.ListBox1;
    auto* forward = Widget<QPushButton>("Button44");
    EXPECT_FALSE(forward->isEnabled());

    // The down arrow makes the first item current: it is chosen as by a click.
    Key(found, Qt::Key_Down);
    EXPECT_EQ(list1.Index(), 0);
    EXPECT_TRUE(forward->isEnabled());
    // End goes to the last one, and that is the one ">>" moves.
    Key(found, Qt::Key_End);
    EXPECT_EQ(list1.Index(), 3);
    Press("Button44");
    EXPECT_EQ(Items(sorted), (std::vector<std::string>{serials[3]}));

    // Home, then down: the second of the three left.
    Key(found, Qt::Key_Home);
    Key(found, Qt::Key_Down);
    EXPECT_EQ(list1.Index(), 1);
    Press("Button44");
    EXPECT_EQ(Items(sorted), (std::vector<std::string>{serials[3], serials[1]}));

    // Pressing on the first item and dragging to the second, released there: no click on an
    // item, but the second is current, and chosen.
    QWidget* viewport = found->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, RowCentre(found, 0));
    QTest::mouseMove(viewport, RowCentre(found, 1));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, RowCentre(found, 1));
    EXPECT_EQ(found->currentRow(), 1);
    EXPECT_EQ(list1.Index(), 1);
    Press("Button44");
    EXPECT_EQ(Items(sorted), (std::vector<std::string>{serials[3], serials[1], serials[2]}));

    // "<<" with the arrows in the sorted list: its last item goes back. The first key of a list
    // without a current item makes the first one current.
    Key(sorted, Qt::Key_End);
    EXPECT_EQ(tool->panel.ListBox2.Index(), 0);
    Key(sorted, Qt::Key_End);
    Key(sorted, Qt::Key_Up);
    EXPECT_EQ(tool->panel.ListBox2.Index(), 1);
    Key(sorted, Qt::Key_Down);
    EXPECT_EQ(tool->panel.ListBox2.Index(), 2);
    EXPECT_FALSE(forward->isEnabled());
    EXPECT_TRUE(Widget<QPushButton>("Button46")->isEnabled());
    Press("Button46");
    EXPECT_EQ(Items(found), (std::vector<std::string>{serials[0], serials[2]}));

    // Typing the start of an item chooses it.
    found->setFocus();
    QTest::keyClicks(found, QString::fromStdString(serials[2].substr(0, 6)));
    EXPECT_EQ(list1.Index(), 1);
    Press("Button44");
    // A click chooses too; and a click on the item that is current already is a click again,
    // after the other list was chosen meanwhile.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(found, 0));
    EXPECT_EQ(list1.Index(), 0);
    Key(sorted, Qt::Key_Home);
    EXPECT_FALSE(forward->isEnabled());
    EXPECT_EQ(found->currentRow(), 0);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(found, 0));
    EXPECT_TRUE(forward->isEnabled());
    Press("Button44");
    const std::vector<std::string> order{serials[3], serials[1], serials[2], serials[0]};
    EXPECT_EQ(Items(sorted), order);

    // Saved: the module gets the serials in that order, levels 1 to 4, and the count.
    Press("Button58");
    EXPECT_EQ(tool->log.Text(), "All serials has been saved ok...");
    const auto& block = module.Blocks().back();
    ASSERT_EQ(block[1], 0x70);
    EXPECT_EQ(block[2], 3 + 2);
    for (std::size_t level = 0; level < order.size(); ++level) {
        const SensorSerial serial = SerialBytes(order[level]);
        EXPECT_TRUE(std::equal(serial.begin(), serial.end(), block.begin() + 3 + 8 * level))
            << level;
    }
    EXPECT_EQ(block[3 + 80], 4);  // the count at table byte 8N, N = 10
    std::vector<std::string> kept;
    for (int level : module.Order(2)) kept.push_back(SerialText(module.SensorAt(2, level).serial));
    EXPECT_EQ(kept, order);
}

}  // namespace
}  // namespace nuv::gui::test
