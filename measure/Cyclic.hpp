#pragma once

#include <string>

#include "core/LinkResult.hpp"
#include "link/Clock.hpp"

namespace nuv {

class Tool;

// A time of day as the error logger writes it, "9:5:7" (no leading zeros).
std::string LoggerStamp(const TimeOfDay& time);

// "Start": the first reading 100 ms later, then one per chosen interval.
void btn5Click(Tool& tool);
// "Stop".
void btn6Click(Tool& tool);
// One cyclic reading of the module at `address`, with a logger line for every failure; returns
// the reading's result.
LinkResult CyclicReading(Tool& tool, std::uint8_t address);
// The cyclic timer's tick: the interval list's interval for the next tick, then a cyclic reading
// of the address list's module.
LinkResult Timer1Timer(Tool& tool);
// A new interval: the next tick comes 1.5 s later and takes it up.
void ComboBox4Change(Tool& tool);
// "Reset Counters".
void Button41Click(Tool& tool);
// "Clear Memo Window".
void Button6Click(Tool& tool);
// "Zeruj Liczniki".
void btn4Click(Tool& tool);

}  // namespace nuv
