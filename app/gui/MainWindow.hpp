#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/gui/ControlViews.hpp"

class QScrollArea;
class QTabWidget;
class QTimer;

namespace nuv {
class Timer;
class Tool;
}  // namespace nuv

namespace nuv::gui {

class GridView;
class GuiPump;
class LogView;
class TForm2;
class TrendWindow;

// The main window `Form1`: the message log, the progress bar, the five pages with the RS485
// buttons at the end of their tabs, and the service strip right of the window's width, reached
// by scrolling sideways. Every control of the tool's panel has one widget named as the control.
// It creates the APC window `Form2` with itself.
class TForm1 final : public QWidget {
    Q_OBJECT

  public:
    // With a pump, every pass of a wait brings the windows up to the model.
    explicit TForm1(Tool& tool, GuiPump* pump = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Brings both windows up to the model: every control that changed since the last sync, the
    // title, the shown page, the timers and the APC window.
    void SyncAll();

    Tool& ToolModel() const { return tool_; }
    TForm2* ApcWindow() const { return form2_; }
    // The trend plot's window.
    TrendWindow* Trend() const { return trend_; }
    // The widget of a control of the main window, by the control's name.
    QWidget* ControlWidget(std::string_view name) const;
    GridView* Grid(std::string_view name) const;
    LogView* Log() const { return log_; }
    QScrollArea* Scroller() const { return scroller_; }
    QTabWidget* Pages() const { return pages_; }
    QWidget* Client() const { return client_; }
    // The Qt timer that makes a model timer tick.
    QTimer* TimerOf(std::string_view name) const;
    // Scrolls sideways to the service strip.
    void ScrollToServiceArea();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    struct TimerView {
        Timer* model;
        QTimer* timer;
        std::size_t seen = 0;
        bool synced = false;
    };

    void BuildContainers();
    ControlView& EnsureView(Control& control);
    QWidget* Container(std::string_view name);
    void SyncTimers();

    Tool& tool_;
    GuiPump* pump_;
    ViewContext context_;
    QScrollArea* scroller_ = nullptr;
    QWidget* client_ = nullptr;
    QTabWidget* pages_ = nullptr;
    LogView* log_ = nullptr;
    TForm2* form2_ = nullptr;
    TrendWindow* trend_ = nullptr;
    std::map<std::string, QWidget*, std::less<>> containers_;
    std::vector<std::unique_ptr<ControlView>> views_;
    std::map<std::string, ControlView*, std::less<>> byName_;
    std::vector<TimerView> timers_;
    std::string shownTitle_;
    int shownPage_ = -1;
    bool shownEnabled_ = true;
    bool syncing_ = false;
    bool centred_ = false;
};

using MainWindow = TForm1;

}  // namespace nuv::gui
