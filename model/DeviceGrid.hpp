#pragma once

#include "link/DeviceListView.hpp"
#include "model/StringGrid.hpp"

namespace nuv {

// The device list of the "USB Interface" page: description, hardware version (the serial) and
// state of each device in rows 1 to 8, under the header row.
class DeviceGrid final : public DeviceListView {
  public:
    static constexpr std::size_t kRows = 8;

    // `grid` needs 3 columns and 9 rows.
    explicit DeviceGrid(StringGrid& grid);
    void ShowDevices(std::span<const DeviceRecord> records) override;

  private:
    StringGrid& grid_;
};

}  // namespace nuv
