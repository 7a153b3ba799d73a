#pragma once

#include <QWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QValueAxis;

namespace nuv {
class Tool;
class TrendModel;
}  // namespace nuv

namespace nuv::gui {

// The trend plot: temperatures over time, of the channels and levels the technician ticks (and
// the module's own) while the cyclic measurement runs, and of the found sensors during an APC
// run. Local time on the x axis, one colour per series with a legend; an error value or a failed
// reading leaves a gap in the line. The plot is thinned to a few points per pixel, so a day of
// readings draws as fast as a minute. "Save picture…" writes the plot as PNG.
class TrendWindow final : public QWidget {
    Q_OBJECT

  public:
    TrendWindow(Tool& tool, QWidget* owner);
    ~TrendWindow() override;
    TrendWindow(const TrendWindow&) = delete;
    TrendWindow& operator=(const TrendWindow&) = delete;

    // Follows the model: shown or hidden, and new points.
    void Sync();

    enum class Source { Cyclic, Apc };
    Source Shown() const;
    void Show(Source source);

    // For tests and pictures.
    QChart* Chart() const { return chart_; }
    QChartView* View() const { return view_; }
    QCheckBox* ChannelBox(int channel) const { return channels_.at(static_cast<size_t>(channel)); }
    QCheckBox* LevelBox(int level) const { return levels_.at(static_cast<size_t>(level - 1)); }
    QCheckBox* ModuleBox() const { return module_; }
    QPushButton* SaveButton() const { return save_; }
    QLabel* Status() const { return status_; }
    // The names of the series drawn now, in legend order.
    std::vector<std::string> ShownSeries() const;
    // The lines of one series: one per unbroken stretch (a gap splits the line).
    std::vector<QLineSeries*> Segments(const std::string& name) const;
    // Draws the plot now, as it would be at the next sync.
    void Redraw();
    // Writes the plot as PNG to `path`, whole or not at all; none, or the reason it failed.
    std::optional<std::string> SavePicture(const std::string& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Drawn {
        std::vector<QLineSeries*> segments;
        // What its segments were styled with; restyled only when these change.
        std::string label;
        QColor colour;
    };
    const TrendModel& Model() const;
    // The series to draw, with their legend labels.
    std::vector<std::pair<std::string, std::string>> Wanted() const;
    // Draws one series; widens [low, high] to its values.
    void Draw(const std::string& name, const std::string& label, int index, std::int64_t fromMs,
              std::int64_t toMs, double& low, double& high);
    void SaveClicked();
    // Puts the window, frame and all, with its frame's top left at `frameTopLeft` or as near as
    // fits on its screen's free area, made smaller where it is larger than that.
    void FitOnScreen(QPoint frameTopLeft);

    Tool& tool_;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    QRadioButton* cyclic_ = nullptr;
    QRadioButton* apc_ = nullptr;
    std::vector<QCheckBox*> channels_;
    std::vector<QCheckBox*> levels_;
    QCheckBox* module_ = nullptr;
    std::vector<QWidget*> ticks_;
    bool placed_ = false;
    QPushButton* save_ = nullptr;
    QLabel* status_ = nullptr;
    std::map<std::string, Drawn> drawn_;
    std::size_t seenWindow_ = 0;
    std::size_t seenCyclic_ = static_cast<std::size_t>(-1);
    std::size_t seenApc_ = static_cast<std::size_t>(-1);
    bool dirty_ = true;
};

}  // namespace nuv::gui
