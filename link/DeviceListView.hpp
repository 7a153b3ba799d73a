#pragma once

#include <span>

namespace nuv {

struct DeviceRecord;

// Whoever shows the device list (the window's grid, the command line): the link tells it what
// to show, and keeps the table itself.
class DeviceListView {
  public:
    virtual ~DeviceListView() = default;
    // The records to show from the first row on, in driver index order; empty: the list is
    // cleared.
    virtual void ShowDevices(std::span<const DeviceRecord> records) = 0;
};

}  // namespace nuv
