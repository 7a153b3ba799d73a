#include "sensors/SensorCommon.hpp"

#include "core/MessageTable.hpp"
#include "model/StringGrid.hpp"
#include "model/Tool.hpp"
#include "protocol/Crc8.hpp"

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

bool SerialIntact(std::span<const std::uint8_t> serial) {
    // Over a serial and its own CRC the CRC-8 comes out 0.
    return serial.size() == 8 && OneWireCrc8(serial) == 0;
}

std::string DamagedSerialText(std::span<const std::uint8_t> serial) {
    return SerialText(serial) + " CRC!";
}

void ShowReceivedSerial(StringGrid& grid, std::size_t column, std::size_t row,
                        std::span<const std::uint8_t> serial) {
    if (SerialIntact(serial)) {
        grid.SetCell(column, row, SerialText(serial));
        return;
    }
    grid.SetCell(column, row, DamagedSerialText(serial));
    grid.SetCellTextColour(column, row, kDamagedSerialColour);
}

bool TableSerialsIntact(std::span<const std::uint8_t> table, std::size_t count) {
    for (std::size_t i = 0; i < count && 8 * i + 8 <= table.size(); ++i) {
        if (!SerialIntact(table.subspan(8 * i, 8))) return false;
    }
    return true;
}

bool CapacityKnown(Tool& tool) {
    if (tool.config.maxSensorsPerChannel != 0) return true;
    tool.log.SetColour(Rgb{242, 27, 21});
    tool.log.AppendLine(
        "The module has not reported its sensors per channel yet - use PROGRAM MODE first...");
    return false;
}

void ShowLevels(StringGrid& grid, std::size_t levels) {
    grid.SetRowCount(std::max<std::size_t>(levels, 12) + 1);
    // Every level a sensor can take has its number, also 11 to 16.
    for (std::size_t level = 1; level <= levels; ++level) {
        grid.SetCell(0, level, std::to_string(level));
    }
}

}  // namespace nuv
