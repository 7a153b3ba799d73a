#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace nuv {

// The cells of a string grid, addressed (column, row) as the window addresses them. Row 0 is
// the header row. Growing or shrinking the row count keeps the cells that remain.
class StringGrid {
  public:
    StringGrid(std::size_t columns, std::size_t rows) : columns_(columns), rows_(rows) {
        cells_.resize(columns_ * rows_);
    }

    std::size_t ColumnCount() const { return columns_; }
    std::size_t RowCount() const { return rows_; }

    void SetRowCount(std::size_t rows) {
        rows_ = rows;
        cells_.resize(columns_ * rows_);
        ++revision_;
    }

    const std::string& Cell(std::size_t column, std::size_t row) const {
        return cells_.at(Index(column, row));
    }
    void SetCell(std::size_t column, std::size_t row, std::string text) {
        cells_.at(Index(column, row)) = std::move(text);
        ++revision_;
    }

    // Changes with every write, so that a view can tell whether to redraw.
    std::size_t Revision() const { return revision_; }

  private:
    std::size_t Index(std::size_t column, std::size_t row) const {
        if (column >= columns_ || row >= rows_) throw std::out_of_range("grid cell outside grid");
        return row * columns_ + column;
    }

    std::size_t columns_;
    std::size_t rows_;
    std::vector<std::string> cells_;
    std::size_t revision_ = 0;
};

}  // namespace nuv
