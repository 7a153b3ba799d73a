// The trend plot with a day of readings: the cost of adding a reading to the model, its memory,
// and the time the plot window takes to draw all 161 series of a day (thinned to its width).
// Usage: trend_bench [seconds-between-readings]   (default 1: 86400 readings in the day)
// Runs off screen when no display is set.
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui/QtDialogs.hpp"
#include "app/gui/TrendWindow.hpp"
#include "measure/CyclicRecord.hpp"
#include "measure/ReadingRow.hpp"
#include "model/Tool.hpp"
#include "sim/SimFtdi.hpp"

#include "bench/Measures.hpp"

namespace {

using nuv::bench::CpuSeconds;
using nuv::bench::ResidentKilobytes;

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const int step = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;

    nuv::VirtualClock clock;
    nuv::NullEventPump pump;
    nuv::sim::SimFtdi driver{clock};
    nuv::gui::QtDialogs dialogs;
    nuv::Tool tool(driver, clock, pump, dialogs);

    // 16 levels on 10 channels and the module: 161 series, as many as a reading can have.
    std::vector<std::pair<std::string, float>> values;
    for (int c = 0; c < 10; ++c) {
        for (int level = 1; level <= 16; ++level)
            values.emplace_back(nuv::SensorColumnName(c, level), 0.0F);
    }
    values.emplace_back(nuv::kModuleSeries, 31.25F);
    const long before = ResidentKilobytes();
    const int readings = 86'400 / step;
    const auto addStart = std::chrono::steady_clock::now();
    for (int i = 0; i < readings; ++i) {
        for (std::size_t s = 0; s + 1 < values.size(); ++s) {
            values[s].second = 20.0F + static_cast<float>((i + static_cast<int>(s)) % 100) / 25.0F;
        }
        tool.measure.cyclicTrend.Add(
            1'767'225'600'000LL + static_cast<std::int64_t>(i) * step * 1000, values);
    }
    const double addSeconds = Seconds(std::chrono::steady_clock::now() - addStart);
    const long after = ResidentKilobytes();
    std::printf(
        "model: %d readings of %zu series, %.2f us per reading, %.1f MB resident for them\n",
        readings, values.size(), addSeconds / readings * 1e6, (after - before) / 1024.0);

    nuv::gui::TrendWindow window(tool, nullptr);
    window.resize(960, 560);
    window.show();
    for (int c = 0; c < 10; ++c) window.ChannelBox(c)->setChecked(true);
    for (int level = 1; level <= 16; ++level) window.LevelBox(level)->setChecked(true);
    QApplication::processEvents();
    auto draw = [&window] {
        constexpr int kRounds = 5;
        const auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < kRounds; ++round) {
            window.Redraw();
            window.repaint();
            QApplication::processEvents();
        }
        const double seconds = Seconds(std::chrono::steady_clock::now() - start) / kRounds;
        std::printf("window: %zu series of a day drawn in %.0f ms (model thinned, chart painted)\n",
                    window.ShownSeries().size(), seconds * 1000);
    };
    draw();
    // What a technician usually ticks: one channel's ten levels and the module.
    for (int c = 1; c < 10; ++c) window.ChannelBox(c)->setChecked(false);
    for (int level = 11; level <= 16; ++level) window.LevelBox(level)->setChecked(false);
    QApplication::processEvents();
    draw();
    return 0;
}
