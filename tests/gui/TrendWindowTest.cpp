// The trend plot's window on the simulated module: series appear as readings come, error values
// and failed readings are gaps, a day of points stays a day, and the picture is saved as PNG.
#include <QChart>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QValueAxis>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "GuiFixture.hpp"
#include "app/gui/TrendWindow.hpp"
#include "measure/CyclicRecord.hpp"
#include "model/TimerDriver.hpp"
#include "sim/ModuleSimulator.hpp"

namespace nuv::gui::test {
namespace {

class TrendWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(moduleOwner);
        Open(false);
        timers = std::make_unique<TimerDriver>(
            clock, std::vector<Timer*>{&tool->panel.Timer1, &tool->panel.Timer3},
            [this](Timer& timer) { tool->Tick(timer); });
    }
    void TearDown() override {
        timers.reset();
        WindowTest::TearDown();
    }
    // Lets the virtual time run, firing the model's timers as they fall due.
    void RunFor(std::int64_t ms) {
        const std::int64_t end = clock.NowNs() + ms * 1'000'000;
        while (true) {
            const auto next = timers->NextDueNs();
            if (!next || *next > end) break;
            if (*next > clock.NowNs()) clock.AdvanceNs(*next - clock.NowNs());
            timers->Poll();
        }
        if (clock.NowNs() < end) clock.AdvanceNs(end - clock.NowNs());
        window->SyncAll();
    }
    TrendWindow* Trend() {
        Click("btnTrend", kPageMeasurement);
        window->SyncAll();
        return window->Trend();
    }
    // The y values of every point drawn for a series, stretch by stretch.
    std::vector<std::vector<double>> Drawn(TrendWindow* trend, const std::string& name) {
        std::vector<std::vector<double>> stretches;
        for (QLineSeries* segment : trend->Segments(name)) {
            std::vector<double> values;
            for (const QPointF& point : segment->points()) values.push_back(point.y());
            stretches.push_back(values);
        }
        return stretches;
    }
    int VisibleLegendEntries(TrendWindow* trend) {
        QApplication::processEvents();  // the legend lays itself out when the window draws
        int shown = 0;
        for (QLegendMarker* marker : trend->Chart()->legend()->markers()) {
            shown += marker->isVisible() ? 1 : 0;
        }
        return shown;
    }

    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    std::unique_ptr<TimerDriver> timers;
};

// The test screen is 800 pixels wide: the window, 960 wide as made, must fit it, frame and
// all, also when shown again after the technician moved it past an edge.
TEST_F(TrendWindowTest, TheWindowFitsTheScreensFreeArea) {
    TrendWindow* trend = Trend();
    const QRect room = trend->screen()->availableGeometry();
    ASSERT_LT(room.width(), 960);
    EXPECT_TRUE(room.contains(trend->frameGeometry()))
        << trend->frameGeometry().x() << "," << trend->frameGeometry().y() << " " << trend->width()
        << "x" << trend->height();
    EXPECT_GE(trend->width(), trend->minimumSizeHint().width());

    trend->close();
    trend->move(room.right() - 100, room.bottom() - 100);
    Click("btnTrend", kPageMeasurement);
    window->SyncAll();
    EXPECT_TRUE(trend->isVisible());
    EXPECT_TRUE(room.contains(trend->frameGeometry()));
}

TEST_F(TrendWindowTest, SeriesAppearAsReadingsCome) {
    TrendWindow* trend = Trend();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_TRUE(tool->trendWindow.visible);
    EXPECT_TRUE(trend->ShownSeries().empty());  // nothing measured yet

    module.SensorAt(0, 0).fixedRaw = 0x0190;  // 25 degrees
    Click("btn5", kPageMeasurement);
    RunFor(150);
    // Channel 0, levels 1 to 4 and the module are ticked at first.
    EXPECT_EQ(trend->ShownSeries(),
              (std::vector<std::string>{"c0s1", "c0s2", "c0s3", "c0s4", "module"}));
    EXPECT_EQ(Drawn(trend, "c0s1"), (std::vector<std::vector<double>>{{25.0}}));
    RunFor(8000);
    EXPECT_EQ(Drawn(trend, "c0s1"), (std::vector<std::vector<double>>{{25.0, 25.0, 25.0}}));
    EXPECT_EQ(Drawn(trend, "module"), (std::vector<std::vector<double>>{{31.25, 31.25, 31.25}}));
    EXPECT_EQ(VisibleLegendEntries(trend), 5);

    // Ticking a channel adds its levels, with a colour each.
    trend->ChannelBox(3)->setChecked(true);
    EXPECT_EQ(trend->ShownSeries().size(), 9U);
    EXPECT_EQ(VisibleLegendEntries(trend), 9);
    EXPECT_NE(trend->Segments("c3s1").front()->color(), trend->Segments("c0s1").front()->color());
    trend->ModuleBox()->setChecked(false);
    trend->LevelBox(1)->setChecked(false);
    EXPECT_EQ(trend->ShownSeries(),
              (std::vector<std::string>{"c0s2", "c0s3", "c0s4", "c3s2", "c3s3", "c3s4"}));

    // The time axis spans the readings in local time.
    auto* axis = qobject_cast<QDateTimeAxis*>(trend->Chart()->axes(Qt::Horizontal).front());
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->min().toMSecsSinceEpoch(), tool->measure.cyclicTrend.FirstMs());
    EXPECT_EQ(axis->min().timeSpec(), Qt::LocalTime);
    EXPECT_EQ(tool->measure.cyclicTrend.LastMs() - tool->measure.cyclicTrend.FirstMs(), 8000);
}

TEST_F(TrendWindowTest, ErrorValuesAndFailedReadingsAreGaps) {
    TrendWindow* trend = Trend();
    Click("btn5", kPageMeasurement);
    module.SensorAt(0, 1).fixedRaw = 0x0190;
    RunFor(150);
    module.SensorAt(0, 1).fixedRaw = 0xF040;  // shorted: -252 on the wire
    RunFor(4000);
    module.SensorAt(0, 1).fixedRaw = 0x0190;
    RunFor(4000);
    RunFor(4000);
    // Two stretches, the first a single reading shown as a dot; no -252 anywhere.
    EXPECT_EQ(Drawn(trend, "c0s2"), (std::vector<std::vector<double>>{{25.0}, {25.0, 25.0}}));
    EXPECT_TRUE(trend->Segments("c0s2")[0]->pointsVisible());
    EXPECT_FALSE(trend->Segments("c0s2")[1]->pointsVisible());
    auto* values = qobject_cast<QValueAxis*>(trend->Chart()->axes(Qt::Vertical).front());
    EXPECT_GT(values->min(), 0.0);
    EXPECT_EQ(VisibleLegendEntries(trend), 5);  // still one entry for the series

    // A reading that fails leaves a gap in every series.
    module.faults.silent = 1;
    RunFor(4000);
    RunFor(4000);
    EXPECT_EQ(Drawn(trend, "c0s2").size(), 3U);
    EXPECT_EQ(Drawn(trend, "module").size(), 2U);
    EXPECT_EQ(Drawn(trend, "module")[1].size(), 1U);

    // A stopped and restarted run is not joined across the pause.
    Click("btn6", kPageMeasurement);
    RunFor(60'000);
    Click("btn5", kPageMeasurement);
    RunFor(4150);
    EXPECT_EQ(Drawn(trend, "module").size(), 3U);
}

TEST_F(TrendWindowTest, TheDayLimitHoldsAndThePlotStaysThin) {
    TrendWindow* trend = Trend();
    // Two days of readings a second, as a long cyclic run would leave them.
    const std::int64_t start = 1'767'225'600'000;
    for (std::int64_t second = 0; second < 2 * 86'400; ++second) {
        const float value = second % 1000 == 500 ? std::nanf("") : 20.0F + (second % 60) / 10.0F;
        tool->measure.cyclicTrend.Add(start + second * 1000, {{"c0s1", value}, {"module", 30.0F}});
    }
    EXPECT_EQ(tool->measure.cyclicTrend.FrameCount(), TrendModel::kMaxFrames);
    EXPECT_LE(tool->measure.cyclicTrend.LastMs() - tool->measure.cyclicTrend.FirstMs(),
              TrendModel::kSpanMs);
    EXPECT_EQ(tool->measure.cyclicTrend.LastMs(), start + (2 * 86'400 - 1) * 1000);
    window->SyncAll();
    trend->Redraw();
    std::size_t points = 0;
    for (QLineSeries* segment : trend->Segments("c0s1")) points += segment->count();
    const auto width = static_cast<std::size_t>(trend->Chart()->plotArea().width());
    EXPECT_LE(points, 4 * std::max<std::size_t>(200, width));
    // The gaps survive the thinning: one every 1000 s, 86 or 87 of them in the day.
    EXPECT_GE(trend->Segments("c0s1").size(), 86U);
    auto* axis = qobject_cast<QDateTimeAxis*>(trend->Chart()->axes(Qt::Horizontal).front());
    EXPECT_EQ(axis->format(), QString("dd.MM HH:mm"));
}

TEST_F(TrendWindowTest, SavePictureWritesAPng) {
    TrendWindow* trend = Trend();
    Click("btn5", kPageMeasurement);
    RunFor(8150);
    const std::string path =
        ::testing::TempDir() + "nuv-trend-" + std::to_string(::getpid()) + ".png";
    dialogs.savePath = path;
    QTest::mouseClick(trend->SaveButton(), Qt::LeftButton);
    ASSERT_EQ(dialogs.saveRequests.size(), 1U);
    EXPECT_EQ(dialogs.saveRequests[0].defaultExtension, "png");
    std::ifstream in(path, std::ios::binary);
    char magic[8] = {};
    in.read(magic, 8);
    EXPECT_EQ(std::string(magic, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(trend->Status()->text().toStdString(), "Saved " + path);
    std::filesystem::remove(path);

    dialogs.savePath = "/nonexistent-folder/trend.png";
    QTest::mouseClick(trend->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(trend->Status()->text().toStdString(),
              "Cannot write /nonexistent-folder/trend.png: No such file or directory");
}

TEST_F(TrendWindowTest, AnApcRunPlotsTheFoundSensorsHeatingAndCooling) {
    TrendWindow* trend = Trend();
    module.sensorCount[0] = 3;
    Click("Button38", kPageConfiguration);
    ASSERT_TRUE(module.programMode);
    Click("Button10", kPageConfiguration);  // APC0
    for (int step = 0; step < 400 && tool->panel.Timer3.Enabled(); ++step) RunFor(100);
    EXPECT_FALSE(tool->panel.Timer3.Enabled());  // the run has ended
    EXPECT_EQ(trend->Shown(), TrendWindow::Source::Apc);
    EXPECT_FALSE(trend->ChannelBox(0)->isEnabled());  // the run shows every sensor it found
    const auto shown = trend->ShownSeries();
    ASSERT_EQ(shown.size(), 3U);  // one series per found sensor, named by serial
    for (const std::string& serial : shown) {
        EXPECT_EQ(serial.size(), 16U);
        double low = 1e9;
        double high = -1e9;
        for (const auto& stretch : Drawn(trend, serial)) {
            for (double value : stretch) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
        // Each was heated by some degrees and cooled again.
        EXPECT_GT(high - low, 4.0) << serial;
    }
    // Back to the cyclic measurement's series on request.
    trend->Show(TrendWindow::Source::Cyclic);
    EXPECT_TRUE(trend->ShownSeries().empty());
    EXPECT_TRUE(trend->ChannelBox(0)->isEnabled());
}

}  // namespace
}  // namespace nuv::gui::test
