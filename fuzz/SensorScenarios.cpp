// Harnesses of the sensors' replies in program mode: the search, the segregation (start, table,
// polls, Read_APC, its end) and sort by serial.
#include "fuzz/Scenarios.hpp"

namespace nuv::fuzz {
namespace {

constexpr int kChannels = 10;
constexpr unsigned kMaxPolls = 8;

// The firmware's class byte for 10, 12 and 16 sensors per channel.
auto Firmware(std::uint8_t firmwareClass) {
    return [firmwareClass](sim::ModuleSimulator& m) { m.firmwareClass = firmwareClass; };
}

// Options: a channel's search button by the value modulo 11, 10 meaning "Search all Channels".
void RunSearch(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    EnterProgramMode(session);
    const int channel = options[0] % (kChannels + 1);
    Press(tool, channel == kChannels
                    ? tool.panel.Button9
                    : *tool.panel.SearchButtons()[static_cast<std::size_t>(channel)]);
}

std::vector<Seed> SearchSeeds() {
    return {
        {"10-levels", {3}, Firmware(0x00)},
        {"12-levels", {0}, Firmware(0x01)},
        {"16-levels-two-blocks", {5}, Firmware(0x02)},
        {"16-levels-search-all", {10}, Firmware(0x02)},
        {"10-levels-search-all", {10}, Firmware(0x00)},
        {"no-sensors", {2}, [](sim::ModuleSimulator& m) { m.sensorCount[2] = 0; }},
        {"more-than-the-levels", {1}, [](sim::ModuleSimulator& m) { m.sensorCount[1] = 14; }},
        {"count-byte-255", {4}, [](sim::ModuleSimulator& m) { m.faults.countByte = 255; }},
        {"same-serials", {6}, [](sim::ModuleSimulator& m) { m.faults.sameSerials = 1; }},
        {"duplicate-serials",
         {7},
         [](sim::ModuleSimulator& m) { m.SensorAt(7, 1).serial = m.SensorAt(7, 0).serial; }},
        {"shorted-channel", {8}, [](sim::ModuleSimulator& m) { m.shorted[8] = true; }},
    };
}

// Options: an "APCc" button by the value modulo 10; the number of progress polls (up to 8)
// while the procedure runs; then bit 0: "Read_APC", bit 1: "Exit ", bit 2: the APC window's
// "Zapisz bierzący uklad".
void RunSegregation(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    EnterProgramMode(session);
    Press(tool, *p.ApcButtons()[options[0] % kChannels]);
    const unsigned polls = options[1] % (kMaxPolls + 1);
    for (unsigned poll = 0; poll < polls && p.Timer3.Running(); ++poll) {
        session.clock.AdvanceMs(p.Timer3.Interval());
        tool.Tick(p.Timer3);
    }
    if ((options[2] & 0x01U) != 0) Press(tool, p.Button36);
    if ((options[2] & 0x02U) != 0) Press(tool, p.Button37);
    if ((options[2] & 0x04U) != 0 && tool.form2.visible) Press(tool, tool.form2.Button1);
}

// An operator quicker than the default one, so that a run of two or three sensors fits in the
// polls of one input.
void QuickOperator(sim::ModuleSimulator& m) {
    m.apcOperator.reactNs = 300'000'000;
    m.apcOperator.heatNs = 1'500'000'000;
    m.apcOperator.degreesPerSecond = 8.0;
    m.apcOperator.coolingTauNs = 1'000'000'000;
}

std::vector<Seed> SegregationSeeds() {
    return {
        {"two-sensors-to-the-end",
         {2, 8, 2},
         [](sim::ModuleSimulator& m) {
             QuickOperator(m);
             m.sensorCount[2] = 2;
         }},
        {"three-sensors-read-apc",
         {0, 4, 3},
         [](sim::ModuleSimulator& m) {
             QuickOperator(m);
             m.sensorCount[0] = 3;
         }},
        {"ten-sensors-saved-from-window", {5, 3, 4}, QuickOperator},
        {"one-sensor", {1, 0, 0}, [](sim::ModuleSimulator& m) { m.sensorCount[1] = 1; }},
        {"no-sensors", {3, 0, 1}, [](sim::ModuleSimulator& m) { m.sensorCount[3] = 0; }},
        {"16-levels-wrong-firmware",
         {4, 2, 3},
         [](sim::ModuleSimulator& m) {
             QuickOperator(m);
             m.firmwareClass = 0x02;
             m.sensorCount[4] = 14;
         }},
        {"12-levels",
         {6, 2, 2},
         [](sim::ModuleSimulator& m) {
             QuickOperator(m);
             m.firmwareClass = 0x01;
             m.sensorCount[6] = 12;
         }},
        {"count-byte-255",
         {7, 2, 3},
         [](sim::ModuleSimulator& m) {
             QuickOperator(m);
             m.faults.countByte = 255;
         }},
    };
}

// Options: an "SBSc" button by the value modulo 10; the number of serials moved to the sorted
// list (up to 16), each the found list's item at the third option's value modulo its length;
// then bit 0: one serial back with "<<", bit 1: "Save Sorted Serial Numbers to RAM",
// bit 2: "Save To RAM", bit 3: "Segregator_Pobierz Seriale".
void RunSortBySerial(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    EnterProgramMode(session);
    Press(tool, *p.SbsButtons()[options[0] % kChannels]);
    const unsigned moves = options[1] % 17;
    for (unsigned move = 0; move < moves && !p.ListBox1.Items().empty(); ++move) {
        p.ListBox1.SetIndex(static_cast<int>(options[2] % p.ListBox1.Items().size()));
        Press(tool, p.ListBox1);
        Press(tool, p.Button44);
    }
    if ((options[3] & 0x01U) != 0 && !p.ListBox2.Items().empty()) {
        p.ListBox2.SetIndex(0);
        Press(tool, p.ListBox2);
        Press(tool, p.Button46);
    }
    if ((options[3] & 0x02U) != 0) Press(tool, p.Button58);
    if ((options[3] & 0x04U) != 0) Press(tool, p.Button43);
    if ((options[3] & 0x08U) != 0) Press(tool, p.Button4);
}

std::vector<Seed> SortBySerialSeeds() {
    return {
        {"10-levels-reversed-and-saved", {1, 10, 255, 2}, Firmware(0x00)},
        {"16-levels-saved-in-two-blocks", {0, 16, 0, 2}, Firmware(0x02)},
        {"12-levels-one-back", {3, 12, 5, 3}, Firmware(0x01)},
        {"save-to-ram", {0, 0, 0, 4}, Firmware(0x00)},
        {"segregator-serials", {0, 0, 0, 8}, Firmware(0x00)},
        {"partial-order-saved",
         {9, 3, 1, 2},
         [](sim::ModuleSimulator& m) { m.sensorCount[9] = 5; }},
    };
}

}  // namespace

std::vector<Scenario> SensorScenarios() {
    return {
        {"search", 1, 4096, RunSearch, SearchSeeds},
        {"segregation", 3, 4096, RunSegregation, SegregationSeeds},
        {"sort_by_serial", 4, 2048, RunSortBySerial, SortBySerialSeeds},
    };
}

}  // namespace nuv::fuzz
