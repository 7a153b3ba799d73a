#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/LinkResult.hpp"
#include "sensors/SensorsState.hpp"

namespace nuv {

class Tool;

// An "SBSc" button: the sort-by-serial area for a channel, filled by a search.
void SbsButtonClick(Tool& tool, std::uint8_t channel);
void ListBox1Click(Tool& tool);
void ListBox2Click(Tool& tool);
// ">>" (and a double-click on the found serials), "<<" (and one on the sorted serials).
void Button44Click(Tool& tool);
void Button46Click(Tool& tool);
// "Save Sorted Serial Numbers to RAM": the order into the module's working memory.
LinkResult SaveSortedSerials(Tool& tool);
void Button58Click(Tool& tool);
// "Close SBS Function".
void Button59Click(Tool& tool);
// Service controls: "Save To RAM", "Segregator_Pobierz Seriale", "Odczytaj Dane Test".
void Button43Click(Tool& tool);
void Button4Click(Tool& tool);
void Button47Click(Tool& tool);

// The table of an order: the serials (as shown, 16 hexadecimal digits) of levels 1.. of a
// channel of `levels` sensor positions; serials beyond the levels have no place in it.
SortedSerialTable SortedTable(const std::vector<std::string>& serials, std::size_t levels);
// Builds the table from the sorted list, as every move does.
void RebuildSortedSerialTable(Tool& tool);
// The order of the channel searched last (SbsButtonClick), given as its serials level 1 first,
// into the module's working memory: the table is built and shown in the log as the moves of
// the sort-by-serial area build it, then saved as "Save Sorted Serial Numbers to RAM" does.
// The area's lists are left as they are.
LinkResult SaveSerialOrder(Tool& tool, const std::vector<std::string>& serials);

}  // namespace nuv
