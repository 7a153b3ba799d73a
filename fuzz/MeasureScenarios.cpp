// Harnesses of the normal mode's Modbus replies: temperatures, power, outputs, diagnostics.
#include "fuzz/Scenarios.hpp"

#include <algorithm>

#include "measure/BusScan.hpp"
#include "measure/Temperatures.hpp"
#include "tools/ModbusErrors.hpp"

namespace nuv::fuzz {
namespace {

constexpr int kAddresses = 247;
// The simulated module answers at address 2: list position 1.
constexpr std::uint8_t kModuleAddressIndex = 1;

void SelectAddress(MainPanel& panel, std::uint8_t option) {
    panel.ComboBox2.SetIndex(option % kAddresses);
}

// Options: sensors per channel (10, 12, 16 by the value modulo 3), the address's list position,
// then bit 0: by the cyclic measurement's tick rather than "Make"; bit 1: a second reading.
void RunTemperatures(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    p.ComboBox6.SetIndex(options[0] % 3);
    tool.Change(p.ComboBox6);
    SelectAddress(p, options[1]);
    const bool cyclic = (options[2] & 0x01U) != 0;
    const int readings = (options[2] & 0x02U) != 0 ? 2 : 1;
    if (cyclic) Press(tool, p.btn5);
    for (int i = 0; i < readings; ++i) {
        if (cyclic) {
            if (p.Timer1.Running()) tool.Tick(p.Timer1);
        } else {
            Press(tool, p.btn3);
        }
    }
    if (cyclic) Press(tool, p.btn6);
}

std::vector<Seed> TemperatureSeeds() {
    auto layout = [](int sensors) {
        return [sensors](sim::ModuleSimulator& m) { m.sensorsPerChannel = sensors; };
    };
    return {
        {"10-sensors", {0, kModuleAddressIndex, 0}, layout(10)},
        {"12-sensors", {1, kModuleAddressIndex, 0}, layout(12)},
        {"16-sensors-split", {2, kModuleAddressIndex, 0}, layout(16)},
        {"16-sensors-cyclic-twice", {2, kModuleAddressIndex, 3}, layout(16)},
        {"10-sensors-cyclic", {0, kModuleAddressIndex, 1}, layout(10)},
        {"error-values",
         {0, kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) {
             m.SensorAt(0, 0).fixedRaw = 0xF040;  // short circuit
             m.SensorAt(1, 1).fixedRaw = 0xF050;  // CRC
             m.SensorAt(2, 2).fixedRaw = 0xF060;  // presence
             m.SensorAt(4, 4).fixedRaw = 0xFF5E;  // -10.125 degrees
             m.shorted[3] = true;
         }},
        // The module keeps 10 sensors a channel, the tool asks for 16: an exception answer.
        {"exception", {2, kModuleAddressIndex, 0}, layout(10)},
        {"crc-corrupt",
         {0, kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) { m.faults.corruptCrc = 1; }},
        {"noise-ahead",
         {0, kModuleAddressIndex, 2},
         [](sim::ModuleSimulator& m) { m.faults.noise = 1; }},
        {"byte-dropped",
         {1, kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) {
             m.sensorsPerChannel = 12;
             m.faults.dropByte = 1;
         }},
        {"other-address",
         {0, kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) {
             m.address = 5;
             m.faults.answerAsAnyAddress = true;
         }},
    };
}

// Options: the address's list position.
void RunPower(FuzzSession& session, Options options) {
    SelectAddress(session.tool.panel, options[0]);
    Press(session.tool, session.tool.panel.Button8);
}

std::vector<Seed> PowerSeeds() {
    return {
        {"values", {kModuleAddressIndex}},
        {"extremes",
         {kModuleAddressIndex},
         [](sim::ModuleSimulator& m) { m.powerRaw = {0xFFFF, 0xFFFF, 0, 0x8000, 1, 0x7FFF, 2}; }},
        {"crc-corrupt",
         {kModuleAddressIndex},
         [](sim::ModuleSimulator& m) { m.faults.corruptCrc = 1; }},
        {"other-address",
         {kModuleAddressIndex},
         [](sim::ModuleSimulator& m) {
             m.address = 9;
             m.faults.answerAsAnyAddress = true;
         }},
    };
}

// Options: the address's list position, then bit 7: set the outputs of bits 0..3 by a click on
// an output box; else "Read Outputs".
void RunOutputs(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    SelectAddress(p, options[0]);
    if ((options[1] & 0x80U) == 0) {
        Press(tool, p.Button40);
        return;
    }
    const auto boxes = p.OutputBoxes();
    for (std::size_t bit = 0; bit < boxes.size(); ++bit) {
        boxes[bit]->SetChecked((options[1] >> bit & 1U) != 0);
    }
    Press(tool, *boxes[0]);
}

std::vector<Seed> OutputSeeds() {
    return {
        {"read", {kModuleAddressIndex, 0}, [](sim::ModuleSimulator& m) { m.outputs = 0x05; }},
        {"write", {kModuleAddressIndex, 0x8A}},
        {"noise-ahead",
         {kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) { m.faults.noise = 1; }},
    };
}

// Options: the address's list position, then bit 0: "Clear" rather than "Read".
void RunDiagnostics(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    SelectAddress(tool.panel, options[0]);
    Press(tool, (options[1] & 0x01U) != 0 ? tool.panel.Button14 : tool.panel.Button7);
}

std::vector<Seed> DiagnosticSeeds() {
    return {
        {"read",
         {kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) { m.resetCounters = {12, 1, 2, 3, 4, 0xFFFF}; }},
        {"clear", {kModuleAddressIndex, 1}},
        {"byte-dropped",
         {kModuleAddressIndex, 0},
         [](sim::ModuleSimulator& m) { m.faults.dropByte = 1; }},
    };
}

// Options: the first address of the scan (1..247 by the value), the number of addresses (1..4
// by the value modulo 4), then bit 0: a temperature reading at the first address afterwards,
// its failure put in nuvctl's words.
void RunBusScan(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    const int from = options[0] % kAddresses + 1;
    const int to = std::min(kAddresses, from + options[1] % 4);
    const ScanResult scan =
        ScanBus(tool, static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), 100);
    for (const ScanHit& hit : scan.hits) {
        Require(hit.address >= from && hit.address <= to, "a scan lists an address it asked");
        Require(!hit.Describe().empty(), "a listed address is described");
    }
    if ((options[2] & 0x01U) != 0) {
        // nuvctl's words read what was collected: the sanitizers watch them.
        const LinkResult code = ReadTemperatures(tool, static_cast<std::uint8_t>(from));
        static_cast<void>(cli::detail::ExplainModbusFailure(tool, code));
    }
}

std::vector<Seed> BusScanSeeds() {
    constexpr std::uint8_t kFrom1 = 0;  // addresses 1..4, the module at 2
    return {
        {"found", {kFrom1, 3, 1}},
        {"noise", {kFrom1, 3, 1}, [](sim::ModuleSimulator& m) { m.faults.noise = 1; }},
        {"crc-corrupt", {kFrom1, 3, 1}, [](sim::ModuleSimulator& m) { m.faults.corruptCrc = -1; }},
        {"other-address",
         {kFrom1, 1, 1},
         [](sim::ModuleSimulator& m) {
             m.address = 7;
             m.faults.answerAsAnyAddress = true;
         }},
        // The reading asks for more sensors than the module keeps: an exception answer.
        {"exception", {1, 0, 1}, [](sim::ModuleSimulator& m) { m.sensorsPerChannel = 10; }},
    };
}

}  // namespace

std::vector<Scenario> MeasureScenarios() {
    return {
        {"temperatures", 3, 1024, RunTemperatures, TemperatureSeeds},
        {"power", 1, 256, RunPower, PowerSeeds},
        {"outputs", 2, 256, RunOutputs, OutputSeeds},
        {"diagnostics", 2, 256, RunDiagnostics, DiagnosticSeeds},
        {"bus_scan", 3, 1024, RunBusScan, BusScanSeeds},
    };
}

}  // namespace nuv::fuzz
