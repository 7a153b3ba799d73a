#pragma once

#include <QString>
#include <QTableWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/ControlViews.hpp"
#include "model/StringGrid.hpp"

namespace nuv::gui {

class HeaderCorner;

// A string grid as a table: row 0 is the fixed header row and, with a fixed column, column 0 the
// fixed column; both stay in place while the cells scroll, as the headers of a Qt table do.
class GridView final : public ControlView {
  public:
    struct Options {
        // 0 or 1 fixed columns.
        int fixedColumns = 1;
        bool selectRows = false;
        bool scrollBars = true;
        // Without scroll bars: a vertical one all the same when the rows no longer fit.
        bool verticalWhenNeeded = false;
    };

    GridView(ViewContext& context, StringGrid& grid, QWidget* parent, Options options);

    QTableWidget* Table() const { return table_; }
    // The text the grid shows in a cell, addressed as the model addresses it.
    QString CellText(std::size_t column, std::size_t row) const;
    // The height of one shown row in pixels (row 0 is the header row).
    int RowHeight(std::size_t row) const;
    // A row whose height the window fixes, whatever the grid's default row height.
    void FixRowHeight(std::size_t row, int height);

  protected:
    void Apply() override;

  private:
    void ApplyCells();
    void ApplySizes();

    StringGrid& grid_;
    Options options_;
    QTableWidget* table_;
    HeaderCorner* corner_ = nullptr;
    std::map<std::size_t, int> fixedRowHeights_;
    // What the table shows, row by row, to tell changed cells.
    std::vector<std::string> shown_;
    std::vector<std::optional<Rgb>> shownColours_;
    std::size_t shownRows_ = 0;
    std::pair<std::size_t, std::size_t> shownCurrent_{0, 0};
};

}  // namespace nuv::gui
