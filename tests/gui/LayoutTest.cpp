// The main window's layout: every control has its widget, inside its container, clear of its
// neighbours, with its caption readable at the window's font.
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <set>

#include "GuiFixture.hpp"
#include "app/gui/GridView.hpp"
#include "app/gui/Layout.hpp"
#include "app/gui/LogView.hpp"

namespace nuv::gui::test {
namespace {

// The part of a container that its children may use: below a group's title, inside a frame.
QRect UsableRect(QWidget* container, QTabWidget* pages) {
    // Only the shown page has its size; all pages have the same.
    if (container->parentWidget() == pages->currentWidget()->parentWidget()) {
        return pages->currentWidget()->rect();
    }
    if (auto* group = qobject_cast<QGroupBox*>(container)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        QRect rect = group->rect().adjusted(1, 1, -1, -1);
        rect.setTop(label.bottom() + 1);
        return rect;
    }
    if (auto* frame = qobject_cast<QFrame*>(container)) return frame->contentsRect();
    return container->rect();
}

int WidestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(u'\n')) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

TEST_F(WindowTest, EveryControlHasItsNamedWidgetInsideItsContainer) {
    Open();
    for (Control* control : tool->panel.All()) {
        SCOPED_TRACE(control->Name());
        QWidget* widget = window->ControlWidget(control->Name());
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->objectName().toStdString(), control->Name());
        const Placement* placement = FindPlacement(control->Name());
        ASSERT_NE(placement, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), placement->parent);
        EXPECT_EQ(widget->geometry(),
                  QRect(placement->x, placement->y, placement->width, placement->height));
        const QRect usable = UsableRect(widget->parentWidget(), window->Pages());
        EXPECT_TRUE(usable.contains(widget->geometry()))
            << "outside " << placement->parent << " " << usable.x() << "," << usable.y() << " "
            << usable.width() << "x" << usable.height();
        EXPECT_EQ(widget->isHidden(), !control->Visible());
    }
    for (const Placement& placement : MainWindowLayout()) {
        EXPECT_NE(tool->panel.Find(std::string(placement.name)), nullptr) << placement.name;
    }
}

TEST_F(WindowTest, NoControlCoversAnother) {
    Open();
    // Pairs that share one place by design: one of them is shown at a time.
    const std::set<std::pair<std::string, std::string>> alternatives{{"StringGrid2", "GroupBox2"},
                                                                     {"ButtonA", "Button5"}};
    std::map<QWidget*, std::vector<QWidget*>> byContainer;
    for (Control* control : tool->panel.All()) {
        QWidget* widget = window->ControlWidget(control->Name());
        byContainer[widget->parentWidget()].push_back(widget);
    }
    for (const auto& [container, widgets] : byContainer) {
        for (std::size_t i = 0; i < widgets.size(); ++i) {
            for (std::size_t j = i + 1; j < widgets.size(); ++j) {
                const std::string a = widgets[i]->objectName().toStdString();
                const std::string b = widgets[j]->objectName().toStdString();
                if (alternatives.contains({a, b}) || alternatives.contains({b, a})) continue;
                EXPECT_FALSE(widgets[i]->geometry().intersects(widgets[j]->geometry()))
                    << a << " and " << b;
            }
        }
    }
}

TEST_F(WindowTest, EveryCaptionFitsItsControl) {
    Open();
    // The longest status texts the service strip's labels get.
    tool->panel.Label19.SetCaption("   Bledy Presence 1W (brak sondy/zwarcie do +5V): 65535");
    tool->panel.Label20.SetCaption("   Bledy CRC 1W (uszk.czujnik/dlugi przewod): 65535");
    tool->panel.Label23.SetCaption("   Data Timeout Couner: 65535");
    tool->panel.Label28.SetCaption("Sorted Items: 16");
    tool->panel.Label6.SetCaption("Main: 12.60V");
    tool->panel.Label7.SetCaption("System: 5.00V");
    window->SyncAll();
    for (Control* control : tool->panel.All()) {
        SCOPED_TRACE(control->Name());
        QWidget* widget = window->ControlWidget(control->Name());
        const QFontMetrics metrics(widget->font());
        const QSize size = widget->size();
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_LE(WidestLine(metrics, button->text().replace("&&", "&")) + 6, size.width());
            EXPECT_LE(metrics.height() + 4, size.height());
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            EXPECT_LE(box->sizeHint().width(), size.width());
            EXPECT_LE(box->sizeHint().height(), size.height());
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_LE(metrics.horizontalAdvance(group->title()) + 16, size.width());
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QString text = label->text();
            EXPECT_LE(WidestLine(metrics, text), size.width()) << text.toStdString();
            EXPECT_LE(static_cast<int>(text.count(u'\n') + 1) * metrics.lineSpacing(),
                      size.height());
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            int widest = metrics.horizontalAdvance(combo->currentText());
            for (int index = 0; index < combo->count(); ++index) {
                widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(index)));
            }
            EXPECT_LE(widest + 30, size.width());
        }
    }
}

TEST_F(WindowTest, GridHeadersFitTheirColumns) {
    Open();
    for (const char* name : {"StringGrid1", "StringGrid2", "StringGrid3"}) {
        SCOPED_TRACE(name);
        GridView* grid = window->Grid(name);
        ASSERT_NE(grid, nullptr);
        const auto& model = static_cast<StringGrid&>(grid->Model());
        const QFontMetrics metrics(grid->Table()->font());
        for (std::size_t column = 0; column < model.ColumnCount(); ++column) {
            EXPECT_LE(metrics.horizontalAdvance(grid->CellText(column, 0)) + 6,
                      model.ColumnWidths()[column])
                << column;
        }
    }
}

TEST_F(WindowTest, LogProgressBarAndPagesStackFromTheTop) {
    Open();
    LogView* log = window->Log();
    EXPECT_EQ(log->objectName(), QString("RichEdit1"));
    EXPECT_EQ(log->geometry(), QRect(1, 0, 679, 201));
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log->palette().color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(log->palette().color(QPalette::Text), QColor(118, 254, 240));
    EXPECT_EQ(log->font().pixelSize(), 12);
    EXPECT_TRUE(QFontInfo(log->font()).fixedPitch());

    EXPECT_EQ(Widget<QProgressBar>("ProgressBar1")->geometry(), QRect(1, 201, 679, 10));
    EXPECT_EQ(window->Pages()->geometry(), QRect(0, 211, 681, 389));
    EXPECT_EQ(window->font().pixelSize(), 11);
}

TEST_F(WindowTest, Rs485ButtonsSitInTheTabRowRightOfTheTabs) {
    Open();
    QTabWidget* pages = window->Pages();
    QTabBar* tabs = pages->tabBar();
    const QRect lastTab = tabs->tabRect(tabs->count() - 1).translated(tabs->mapTo(pages, QPoint()));
    const QRect tabRow(0, pages->y(), pages->width(), tabs->height());
    for (const char* name : {"ButtonA", "Button5", "pnl6"}) {
        SCOPED_TRACE(name);
        const QRect rect = Widget(name)->geometry();
        EXPECT_GT(rect.left(), pages->x() + lastTab.right());
        EXPECT_TRUE(tabRow.contains(rect));
    }
    EXPECT_EQ(Widget("ButtonA")->size(), QSize(168, 17));
    EXPECT_EQ(Widget("pnl6")->size(), QSize(17, 17));
    EXPECT_GT(Widget("pnl6")->x(), Widget("ButtonA")->geometry().right());
    // "Turn ON" lies on top of "Turn OFF" while both are shown.
    const QObjectList& siblings = window->Client()->children();
    EXPECT_GT(siblings.indexOf(Widget("ButtonA")), siblings.indexOf(Widget("Button5")));
    // Every page has the room the layout gives it.
    for (int index = 0; index < pages->count(); ++index) {
        pages->setCurrentIndex(index);
        EXPECT_GE(pages->currentWidget()->height(), 356);
        EXPECT_GE(pages->currentWidget()->width(), 677);
    }
}

TEST_F(WindowTest, ServiceStripStartsAt696AndIsReachedBySideScrolling) {
    Open();
    QWidget* strip = window->Client()->findChild<QWidget*>("ServiceArea");
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->x(), 696);
    QScrollArea* scroller = window->Scroller();
    EXPECT_EQ(scroller->viewport()->size(), QSize(681, 600));  // the pages are not cut
    EXPECT_EQ(scroller->horizontalScrollBar()->value(), 0);
    QWidget* button = Widget("btn2");
    EXPECT_FALSE(scroller->viewport()->rect().contains(
        button->mapTo(scroller->viewport(), button->rect().bottomRight())));
    window->ScrollToServiceArea();
    EXPECT_TRUE(scroller->viewport()->rect().contains(
        QRect(strip->mapTo(scroller->viewport(), QPoint()), strip->size())))
        << "the whole strip is in view";
}

TEST_F(WindowTest, GridsDrawTheirModels) {
    Open();
    QTableWidget* devices = window->Grid("StringGrid1")->Table();
    EXPECT_EQ(devices->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(devices->palette().color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(devices->palette().color(QPalette::Text), QColor(0, 255, 255));
    EXPECT_EQ(devices->columnWidth(0), 182);
    EXPECT_EQ(devices->columnWidth(1), 150);
    EXPECT_EQ(devices->columnWidth(2), 335);
    EXPECT_EQ(devices->rowCount(), 10);  // 11 rows, the header row included

    GridView* sensors = window->Grid("StringGrid2");
    EXPECT_EQ(sensors->CellText(0, 0), QString("Level"));
    EXPECT_EQ(sensors->CellText(5, 0), QString("Channel 1"));
    EXPECT_EQ(sensors->CellText(40, 0), QString("T['C]"));
    EXPECT_EQ(sensors->CellText(0, 12), QString("12"));
    EXPECT_EQ(sensors->Table()->rowCount(), 12);

    GridView* measured = window->Grid("StringGrid3");
    EXPECT_EQ(measured->CellText(10, 0), QString(" Canal 9"));
    EXPECT_EQ(measured->CellText(0, 10), QString("      10"));
    EXPECT_EQ(measured->Table()->rowCount(), 10);
    EXPECT_EQ(measured->RowHeight(0), 25);
    EXPECT_EQ(measured->RowHeight(10), 25);

    // Rows that the grid stores but does not show come back with their texts.
    tool->panel.StringGrid3.SetRowCount(17);
    window->SyncAll();
    EXPECT_EQ(measured->Table()->rowCount(), 16);
    EXPECT_EQ(measured->CellText(0, 16), QString("      16"));
}

TEST_F(WindowTest, SortBySerialAreaTakesTheSensorGridsPlace) {
    Open();
    EXPECT_FALSE(Widget("GroupBox2")->isVisible());
    EXPECT_TRUE(Widget("StringGrid2")->isVisible());
    tool->panel.StringGrid2.SetVisible(false);
    tool->panel.GroupBox2.SetVisible(true);
    window->SyncAll();
    EXPECT_TRUE(Widget("GroupBox2")->isVisible());
    EXPECT_TRUE(Widget("ListBox1")->isVisible());
    EXPECT_FALSE(Widget("StringGrid2")->isVisible());
    EXPECT_EQ(Widget("GroupBox2")->geometry(), Widget("StringGrid2")->geometry());
}

TEST_F(WindowTest, HiddenPanelsStayHidden) {
    Open();
    window->Pages()->setCurrentIndex(1);
    for (const char* name : {"Panel1", "Panel2", "Panel3", "Button20", "Button19"}) {
        EXPECT_FALSE(Widget(name)->isVisible()) << name;
    }
    EXPECT_TRUE(Widget("btn1")->isVisible());
}

}  // namespace
}  // namespace nuv::gui::test
