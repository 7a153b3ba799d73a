#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sensors/SensorCommon.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {

// Records the tones asked for, as (frequency, length) pairs.
class RecordingTone final : public Tone {
  public:
    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        beeps.emplace_back(frequencyHz, durationMs);
    }
    std::vector<std::pair<unsigned, unsigned>> beeps;
};

// The tool in program mode on the simulated module.
class SensorTest : public ModuleTest {
  protected:
    SensorTest() { tool.tone = &tone; }
    // Enters program mode with a firmware of this class (capacity in the low nibble).
    void EnterProgramMode(std::uint8_t firmwareClass = 0x00) {
        module.firmwareClass = firmwareClass;
        Click(panel.Button38);
        ASSERT_TRUE(module.programMode) << tool.log.Text();
        tool.log.Clear();
    }
    // The serial the module keeps at a physical level of a channel, as the window shows it.
    std::string Serial(int channel, int level) {
        return SerialText(module.SensorAt(channel, level).serial);
    }
    // The serials of a channel in the order the module keeps its levels.
    std::vector<std::string> Stored(int channel) {
        std::vector<std::string> serials;
        for (int level : module.Order(channel)) serials.push_back(Serial(channel, level));
        return serials;
    }
    // Column c of StringGrid2 from row 1 for `rows` rows.
    std::vector<std::string> Column(const StringGrid& grid, std::size_t column, std::size_t rows) {
        std::vector<std::string> cells;
        for (std::size_t row = 1; row <= rows; ++row) cells.push_back(grid.Cell(column, row));
        return cells;
    }

    RecordingTone tone;
};

}  // namespace nuv::test
