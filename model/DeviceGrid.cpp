#include "model/DeviceGrid.hpp"

#include <stdexcept>

#include "link/UsbLink.hpp"

namespace nuv {

DeviceGrid::DeviceGrid(StringGrid& grid) : grid_(grid) {
    if (grid_.ColumnCount() < 3 || grid_.RowCount() <= kRows) {
        throw std::invalid_argument("the device list needs 3 columns and 9 rows");
    }
}

void DeviceGrid::ShowDevices(std::span<const DeviceRecord> records) {
    for (std::size_t row = 1; row <= kRows; ++row) {
        const DeviceRecord* record = row <= records.size() ? &records[row - 1] : nullptr;
        grid_.SetCell(0, row, record != nullptr ? record->description : "");
        grid_.SetCell(1, row, record != nullptr ? record->serial : "");
        grid_.SetCell(2, row, record != nullptr ? record->state : "");
    }
}

}  // namespace nuv
