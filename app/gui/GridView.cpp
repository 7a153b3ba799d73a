#include "app/gui/GridView.hpp"

#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>

#include "app/gui/Fonts.hpp"
#include "model/Tool.hpp"

namespace nuv::gui {

// The top-left cell of a grid with a fixed row and a fixed column, drawn as a header section.
class HeaderCorner final : public QWidget {
  public:
    explicit HeaderCorner(QWidget* parent) : QWidget(parent) {}
    void SetText(const QString& text) {
        text_ = text;
        update();
    }
    const QString& Text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionHeader option;
        option.initFrom(this);
        option.rect = rect();
        option.text = text_;
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.orientation = Qt::Horizontal;
        style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    }

  private:
    QString text_;
};

namespace {

void SetUpHeader(QHeaderView* header) {
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(1);
}

}  // namespace

GridView::GridView(ViewContext& context, StringGrid& grid, QWidget* parent, Options options)
    : ControlView(context, grid, new QTableWidget(parent)),
      grid_(grid),
      options_(options),
      table_(static_cast<QTableWidget*>(Widget())) {
    backgroundRole_ = QPalette::Base;
    textRole_ = QPalette::Text;
    fillsBackground_ = false;

    const int fixed = options_.fixedColumns;
    table_->setColumnCount(static_cast<int>(grid_.ColumnCount()) - fixed);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(options_.selectRows ? QAbstractItemView::SelectRows
                                                     : QAbstractItemView::SelectItems);
    table_->setWordWrap(false);
    table_->setCornerButtonEnabled(false);
    SetUpHeader(table_->horizontalHeader());
    SetUpHeader(table_->verticalHeader());
    table_->verticalHeader()->setVisible(fixed > 0);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    if (!options_.scrollBars) {
        table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table_->setVerticalScrollBarPolicy(options_.verticalWhenNeeded ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
    }
    if (fixed > 0) corner_ = new HeaderCorner(table_);
    QObject::connect(table_, &QTableWidget::cellClicked, table_,
                     [this] { context_.Act([this] { context_.tool.Click(control_); }); });
}

void GridView::FixRowHeight(std::size_t row, int height) {
    fixedRowHeights_[row] = height;
    ApplySizes();
}

int GridView::RowHeight(std::size_t row) const {
    if (row == 0) return table_->horizontalHeader()->height();
    return table_->rowHeight(static_cast<int>(row) - 1);
}

QString GridView::CellText(std::size_t column, std::size_t row) const {
    const int fixed = options_.fixedColumns;
    if (row == 0 && column == 0 && fixed > 0) return corner_->Text();
    if (row == 0) {
        const QTableWidgetItem* item =
            table_->horizontalHeaderItem(static_cast<int>(column) - fixed);
        return item != nullptr ? item->text() : QString();
    }
    if (column == 0 && fixed > 0) {
        const QTableWidgetItem* item = table_->verticalHeaderItem(static_cast<int>(row) - 1);
        return item != nullptr ? item->text() : QString();
    }
    const QTableWidgetItem* item =
        table_->item(static_cast<int>(row) - 1, static_cast<int>(column) - fixed);
    return item != nullptr ? item->text() : QString();
}

void GridView::Apply() {
    ControlView::Apply();
    ApplyCells();
    ApplySizes();
    // A new current cell is scrolled into view.
    const std::pair current{grid_.CurrentColumn(), grid_.CurrentRow()};
    if (current != shownCurrent_) {
        shownCurrent_ = current;
        const int row = static_cast<int>(current.second) - 1;
        const int column = static_cast<int>(current.first) - options_.fixedColumns;
        if (row >= 0 && column >= 0 && row < table_->rowCount() && column < table_->columnCount()) {
            table_->scrollTo(table_->model()->index(row, column));
        }
    }
}

void GridView::ApplyCells() {
    const std::size_t columns = grid_.ColumnCount();
    const std::size_t rows = std::max<std::size_t>(grid_.RowCount(), 1);
    const int fixed = options_.fixedColumns;
    if (rows != shownRows_) {
        table_->setRowCount(static_cast<int>(rows) - 1);
        shown_.resize(rows * columns);
        shownColours_.resize(rows * columns);
        // Rows that come into view again show their stored cells afresh.
        for (std::size_t i = shownRows_ * columns; i < shown_.size(); ++i) shown_[i] = "\x01";
        shownRows_ = rows;
    }
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t column = 0; column < columns; ++column) {
            const std::string& text = grid_.Cell(column, row);
            const std::optional<Rgb> colour = grid_.CellTextColour(column, row);
            std::string& shown = shown_[row * columns + column];
            std::optional<Rgb>& shownColour = shownColours_[row * columns + column];
            if (shown == text && shownColour == colour) continue;
            shown = text;
            shownColour = colour;
            const QString qtext = ToQString(text);
            const int r = static_cast<int>(row) - 1;
            const int c = static_cast<int>(column) - fixed;
            if (row == 0 && c < 0) {
                corner_->SetText(qtext);
            } else if (row == 0) {
                QTableWidgetItem* item = table_->horizontalHeaderItem(c);
                if (item == nullptr) {
                    table_->setHorizontalHeaderItem(c, new QTableWidgetItem(qtext));
                } else {
                    item->setText(qtext);
                }
            } else if (c < 0) {
                QTableWidgetItem* item = table_->verticalHeaderItem(r);
                if (item == nullptr) {
                    table_->setVerticalHeaderItem(r, new QTableWidgetItem(qtext));
                } else {
                    item->setText(qtext);
                }
            } else {
                QTableWidgetItem* item = table_->item(r, c);
                if (item == nullptr) {
                    item = new QTableWidgetItem(qtext);
                    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                    table_->setItem(r, c, item);
                } else {
                    item->setText(qtext);
                }
                item->setForeground(colour ? QBrush(ToQColor(*colour)) : QBrush());
            }
        }
    }
}

void GridView::ApplySizes() {
    const std::vector<int>& widths = grid_.ColumnWidths();
    const int fixed = options_.fixedColumns;
    for (std::size_t column = static_cast<std::size_t>(fixed); column < widths.size(); ++column) {
        table_->setColumnWidth(static_cast<int>(column) - fixed, widths[column]);
    }
    if (fixed > 0) table_->verticalHeader()->setFixedWidth(widths.front());

    const int height = grid_.DefaultRowHeight();
    auto heightOf = [&](std::size_t row) {
        const auto it = fixedRowHeights_.find(row);
        return it != fixedRowHeights_.end() ? it->second : height;
    };
    table_->verticalHeader()->setDefaultSectionSize(height);
    for (int row = 0; row < table_->rowCount(); ++row) {
        table_->setRowHeight(row, heightOf(static_cast<std::size_t>(row) + 1));
    }
    table_->horizontalHeader()->setFixedHeight(heightOf(0));

    if (corner_ != nullptr) {
        const int frame = table_->frameWidth();
        corner_->setGeometry(frame, frame, widths.front(), heightOf(0));
        corner_->raise();
    }
}

}  // namespace nuv::gui
