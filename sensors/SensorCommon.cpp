#include "sensors/SensorCommon.hpp"

#include "app/MessageTable.hpp"
#include "app/StringGrid.hpp"
#include "app/Tool.hpp"

namespace nuv {

std::string SerialText(std::span<const std::uint8_t> serial) {
    std::string text;
    for (std::uint8_t byte : serial) text += HexByte(byte);
    return text;
}

SensorSerial SerialBytes(std::string_view text) {
    auto value = [&](std::size_t i) {
        const int code = i < text.size() ? static_cast<unsigned char>(text[i]) : '0';
        return code < 64 ? code - 48 : code - 55;
    };
    SensorSerial serial{};
    for (std::size_t k = 0; k < serial.size(); ++k) {
        serial[k] = static_cast<std::uint8_t>((16 * value(2 * k) + value(2 * k + 1)) & 0xFF);
    }
    return serial;
}

bool CapacityKnown(Tool& tool) {
    if (tool.maxSensorsPerChannel != 0) return true;
    tool.log.SetColour(Rgb{242, 27, 21});
    tool.log.AppendLine(
        "The module has not reported its sensors per channel yet - use PROGRAM MODE first...");
    return false;
}

void ShowLevels(StringGrid& grid, std::size_t levels) {
    grid.SetRowCount(std::max<std::size_t>(levels, 12) + 1);
}

}  // namespace nuv
