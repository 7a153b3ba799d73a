#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/LinkResult.hpp"
#include "measure/TemperatureReading.hpp"
#include "protocol/ModbusReply.hpp"

namespace nuv {

class Tool;
struct MainPanel;

// Sensors per channel of the "Measurement" page's list: 10, 12 or 16; 16 while no item is
// selected.
int SensorsPerChannel(const MainPanel& panel);
// The module address of the "Measurement" page: position of the selected item + 1.
std::uint8_t ModuleAddress(const MainPanel& panel);

// Reads, shows and checks all channels and the module temperature of one module. Returns 0, a
// link or transaction code, or 250/251/252 for the last sensor error value found. The raw
// registers are kept in tool.measure.lastReading, which is empty after a failed reading.
LinkResult ReadTemperatures(Tool& tool, std::uint8_t address);

// The error logger's status lines of the sensor error counters, with the count: Label19 says
// presence errors, Label20 1-Wire shorts or CRC errors, whichever a reading found last.
std::string PresenceErrorsText(std::uint16_t count);
std::string ShortErrorsText(std::uint16_t count);
std::string CrcErrorsText(std::uint16_t count);

// "Read Temperatures" and "Make".
void btn3Click(Tool& tool);
// A new number of sensors per channel: the measurement grid takes its layout, emptied.
void ComboBox6Change(Tool& tool);
// Chooses 10, 12 or 16 sensors per channel as the list does; false for another number.
bool SelectSensorsPerChannel(Tool& tool, int sensors);

}  // namespace nuv
