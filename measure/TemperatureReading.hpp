#pragma once

#include <cstdint>
#include <vector>

namespace nuv {

// The raw registers of one reading.
struct TemperatureReading {
    int sensorsPerChannel = 0;
    std::vector<std::uint16_t> sensors;  // channel c, position s at c * sensorsPerChannel + s
    std::uint16_t module = 0;            // the module's own temperature

    std::uint16_t Raw(int channel, int position) const {
        return sensors.at(static_cast<std::size_t>(channel * sensorsPerChannel + position));
    }
};

}  // namespace nuv
