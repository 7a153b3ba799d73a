// Harnesses of the program-mode replies: the block exchange itself, entering and leaving program
// mode, the configuration commands and the memory reads.
#include "fuzz/Scenarios.hpp"
#include "protocol/ProgramExchange.hpp"

namespace nuv::fuzz {
namespace {

constexpr std::uint16_t kBlockLimitMs = 600;

// Options: the number of exchanges (1..4), bit 0: a command whose reply is not examined
// (expected 0 bytes) rather than a whole reply of 128, the command byte (the sub-command counts
// the exchanges from 0).
void RunProgramExchange(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    const std::size_t exchanges = 1 + options[0] % 4;
    const std::uint16_t expected = (options[1] & 0x01U) != 0 ? 0 : kProgramWireSize;
    for (std::size_t i = 0; i < exchanges; ++i) {
        tool.Run([&] {
            const ProgramBlock block = MakeProgramBlock(options[2], static_cast<std::uint8_t>(i));
            const std::uint8_t code = tool.program.Exchange(block, kBlockLimitMs, expected);
            if (code != 0 || expected == 0) return;
            // Accepted means a reply that passed both checks and says so in its status byte.
            const std::uint8_t status = tool.link.RxBuffer()[0];
            Require(
                status == reply_status::Accepted || status == reply_status::AcceptedWithDuplicates,
                "an accepted program-mode reply carries an accepting status");
            Require(tool.program.LastStatus() == status, "the status kept is the reply's");
        });
    }
}

std::vector<Seed> ProgramExchangeSeeds() {
    auto inProgramMode = [](sim::ModuleSimulator& m) { m.programMode = true; };
    return {
        {"identification", {0, 0, 0x30}, inProgramMode},
        {"identification-and-configuration", {1, 0, 0x30}, inProgramMode},
        {"search-four-channels", {3, 0, 0x60}, inProgramMode},
        {"not-examined", {0, 1, 0x20}, inProgramMode},
        {"refused", {0, 0, 0x55}, inProgramMode},
        {"refused-by-fault",
         {0, 0, 0x30},
         [](sim::ModuleSimulator& m) {
             m.programMode = true;
             m.faults.refuse = 1;
         }},
        {"checksum-corrupt",
         {1, 0, 0x30},
         [](sim::ModuleSimulator& m) {
             m.programMode = true;
             m.faults.corruptCrc = 1;
         }},
    };
}

// Options: bit 0: the pass-through is on ("Activate USB-RS485 function" checked); bit 1: leave
// program mode again.
void RunProgramMode(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    tool.panel.chk5.SetChecked((options[0] & 0x01U) != 0);
    EnterProgramMode(session);
    // Program mode is shown only after a whole answer to the entry frame.
    Require(!tool.panel.Button39.Enabled() || tool.modbus.Collected().size() >= 6,
            "program mode is entered on a whole answer of six bytes");
    if ((options[0] & 0x02U) != 0) Press(tool, tool.panel.Button39);
}

std::vector<Seed> ProgramModeSeeds() {
    auto firmware = [](std::uint8_t firmwareClass, std::uint8_t build) {
        return [=](sim::ModuleSimulator& m) {
            m.firmwareClass = firmwareClass;
            m.firmwareBuild = build;
        };
    };
    return {
        {"enter-and-leave", {2}, firmware(0x00, 0x48)},
        {"enter-12-sensors", {0}, firmware(0x01, 0x48)},
        {"enter-16-sensors-pass-through", {1}, firmware(0x02, 0x48)},
        {"multicore-12", {2}, firmware(0x11, 0x48)},
        {"liros-16-old-build", {0}, firmware(0x22, 0x30)},
        {"supertech-10", {0}, firmware(0x30, 0x48)},
        {"unknown-standard", {0}, firmware(0x40, 0x48)},
        {"unknown-capacity", {0}, firmware(0x0F, 0x48)},
        {"address-and-interval-out-of-range",
         {0},
         [](sim::ModuleSimulator& m) {
             m.address = 0;
             m.intervalSeconds = 0;
         }},
        {"identification-corrupt", {0}, [](sim::ModuleSimulator& m) { m.faults.corruptCrc = 1; }},
    };
}

// Options: the command by its value modulo 5 ("Read Firmware ver.", "Save Address",
// "Save Interval", "SAVE ALL CONFIGURATIONS", " RST via CODE"), bit 7: "NORMAL MODE" afterwards;
// then the list positions + 1 of the address and of the interval chosen (0: as program mode
// showed them).
void RunConfiguration(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    EnterProgramMode(session);
    if (options[1] != 0) p.ComboBox1.SetIndex(options[1] - 1);
    if (options[2] != 0) p.ComboBox3.SetIndex(options[2] - 1);
    Control* commands[] = {&p.Button17, &p.btn12, &p.btn11, &p.btn15, &p.Button0};
    Press(tool, *commands[options[0] % 5]);
    if ((options[0] & 0x80U) != 0) Press(tool, p.Button39);
}

std::vector<Seed> ConfigurationSeeds() {
    return {
        {"firmware-version", {0x80, 0, 0}},
        {"save-address", {1, 5, 0}},
        {"save-interval", {2, 0, 10}},
        {"save-all", {3, 0, 0}},
        {"reset-by-code", {4, 0, 0}},
        // After the save the module starts again in normal mode: leaving gets no answer.
        {"save-all-then-leave", {0x83, 0, 0}},
    };
}

// Options: the command by its value modulo 3 ("Read EEPROM", "READ_EEPROM_126B", "SPI Read"),
// then the address list's position + 1 that "SPI Read" sends (0: as program mode showed it).
void RunMemory(FuzzSession& session, Options options) {
    Tool& tool = session.tool;
    MainPanel& p = tool.panel;
    EnterProgramMode(session);
    if (options[1] != 0) p.ComboBox1.SetIndex(options[1] - 1);
    Control* commands[] = {&p.Button42, &p.btn10, &p.btn14};
    Press(tool, *commands[options[0] % 3]);
}

std::vector<Seed> MemorySeeds() {
    return {
        {"read-eeprom", {0, 0}},
        {"read-126-bytes", {1, 0}},
        {"spi-read", {2, 3}},
        {"read-eeprom-16-sensors", {0, 0}, [](sim::ModuleSimulator& m) { m.firmwareClass = 0x02; }},
    };
}

}  // namespace

std::vector<Scenario> ProgramScenarios() {
    return {
        {"program_exchange", 3, 1024, RunProgramExchange, ProgramExchangeSeeds},
        {"program_mode", 1, 1024, RunProgramMode, ProgramModeSeeds},
        {"configuration", 3, 1024, RunConfiguration, ConfigurationSeeds},
        {"memory", 2, 9216, RunMemory, MemorySeeds},
    };
}

}  // namespace nuv::fuzz
