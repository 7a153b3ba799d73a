#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/Control.hpp"

namespace nuv {

// A string grid: cells addressed (column, row) as the window addresses them, row 0 the header
// row. The grid may hold more rows of cells than it shows: RowCount() rows are shown, and cells
// below them keep their texts for when the grid grows again.
class StringGrid : public Control {
  public:
    StringGrid(std::size_t columns, std::size_t rows, std::string name = {},
               std::size_t storedRows = 0)
        : Control(std::move(name), ControlKind::Grid),
          columns_(columns),
          rows_(rows),
          storedRows_(std::max(rows, storedRows)),
          cells_(columns * storedRows_),
          columnWidths_(columns, 64) {}

    std::size_t ColumnCount() const { return columns_; }
    std::size_t RowCount() const { return rows_; }
    std::size_t StoredRowCount() const { return storedRows_; }
    void SetRowCount(std::size_t rows) {
        if (rows > storedRows_) {
            storedRows_ = rows;
            cells_.resize(columns_ * storedRows_);
        }
        rows_ = rows;
        Touch();
    }

    const std::string& Cell(std::size_t column, std::size_t row) const {
        return cells_.at(Index(column, row));
    }
    // Setting a cell's text gives it the grid's text colour again.
    void SetCell(std::size_t column, std::size_t row, std::string text) {
        const std::size_t index = Index(column, row);
        std::string& cell = cells_.at(index);
        const bool coloured = cellColours_.erase(index) != 0;
        if (cell == text && !coloured) return;
        cell = std::move(text);
        Touch();
    }
    // A text colour of its own for one cell (a value to look at twice), until its text is set.
    void SetCellTextColour(std::size_t column, std::size_t row, Rgb colour) {
        const std::size_t index = Index(column, row);
        const auto found = cellColours_.find(index);
        if (found != cellColours_.end() && found->second == colour) return;
        cellColours_[index] = colour;
        Touch();
    }
    std::optional<Rgb> CellTextColour(std::size_t column, std::size_t row) const {
        const auto found = cellColours_.find(Index(column, row));
        if (found == cellColours_.end()) return std::nullopt;
        return found->second;
    }

    // The current cell, which the grid scrolls into view.
    std::size_t CurrentColumn() const { return currentColumn_; }
    std::size_t CurrentRow() const { return currentRow_; }
    void SetCurrentCell(std::size_t column, std::size_t row) {
        currentColumn_ = std::min(column, columns_ - 1);
        currentRow_ = row;
        Touch();
    }

    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int height) {
        rowHeight_ = height;
        Touch();
    }
    const std::vector<int>& ColumnWidths() const { return columnWidths_; }
    void SetColumnWidths(std::vector<int> widths) {
        widths.resize(columns_, 64);
        columnWidths_ = std::move(widths);
        Touch();
    }

  private:
    std::size_t Index(std::size_t column, std::size_t row) const {
        if (column >= columns_ || row >= storedRows_) {
            throw std::out_of_range("grid cell outside the grid");
        }
        return row * columns_ + column;
    }

    std::size_t columns_;
    std::size_t rows_;
    std::size_t storedRows_;
    std::vector<std::string> cells_;
    std::map<std::size_t, Rgb> cellColours_;
    std::vector<int> columnWidths_;
    int rowHeight_ = 24;
    std::size_t currentColumn_ = 0;
    std::size_t currentRow_ = 0;
};

}  // namespace nuv
