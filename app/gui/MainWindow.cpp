#include "app/gui/MainWindow.hpp"

#include <QCloseEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtGlobal>

#include "app/gui/ApcWindow.hpp"
#include "app/gui/Fonts.hpp"
#include "app/gui/GridView.hpp"
#include "app/gui/GuiPump.hpp"
#include "app/gui/Layout.hpp"
#include "app/gui/LogView.hpp"
#include "app/gui/TrendWindow.hpp"
#include "model/Tool.hpp"

namespace nuv::gui {

namespace {

constexpr int kLogHeight = 201;
constexpr int kPagesY = 211;
constexpr int kPagesHeight = 389;

// Tabs with narrower side padding, so that the five captions leave room for the RS485 buttons
// at the right end of the tab row.
class CompactTabStyle final : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 12;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The error logger: the tool's logger text in the control's colours.
class LoggerView final : public ControlView {
  public:
    LoggerView(ViewContext& context, Control& control, MessageLog& logger, QWidget* parent)
        : ControlView(context, control, new LogView(logger, parent, false)) {
        backgroundRole_ = QPalette::Base;
        textRole_ = QPalette::Text;
        fillsBackground_ = false;
    }
};

// The strip under the pages that scrolls the window sideways: five pixels high, as the window
// leaves no more below the page control.
constexpr const char* kScrollStripStyle =
    "QScrollBar:horizontal { height: 5px; margin: 0; border: none; background: #d4d0c8; }"
    "QScrollBar::handle:horizontal { background: #808080; min-width: 40px; border-radius: 2px; }"
    "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal"
    " { width: 0; border: none; background: none; }"
    "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: none; }";

}  // namespace

TForm1::TForm1(Tool& tool, GuiPump* pump)
    : QWidget(nullptr), tool_(tool), pump_(pump), context_(tool) {
    setObjectName("Form1");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(WindowFont());
    context_.syncAll = [this] { SyncAll(); };

    BuildContainers();
    for (Control* control : tool_.panel.All()) EnsureView(*control);
    // "Turn ON" lies over "Turn OFF" while both are shown.
    if (QWidget* on = ControlWidget("ButtonA")) on->raise();
    if (QWidget* indicator = ControlWidget("pnl6")) indicator->raise();

    for (Timer* timer : {&tool_.panel.Timer1, &tool_.panel.Timer2, &tool_.panel.Timer3}) {
        auto* qtimer = new QTimer(this);
        qtimer->setObjectName(ToQString(timer->Name()));
        QObject::connect(qtimer, &QTimer::timeout, this,
                         [this, timer] { context_.Act([this, timer] { tool_.Tick(*timer); }); });
        timers_.push_back(TimerView{timer, qtimer});
    }

    form2_ = new TForm2(context_, this);
    trend_ = new TrendWindow(tool_, this);
    if (pump_ != nullptr) pump_->SetHook([this] { SyncAll(); });
    SyncAll();
}

TForm1::~TForm1() {
    if (pump_ != nullptr) pump_->SetHook(nullptr);
}

void TForm1::BuildContainers() {
    scroller_ = new QScrollArea(this);
    scroller_->setObjectName("ClientScroll");
    scroller_->setGeometry(0, 0, kClientWidth, kClientHeight);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroller_->horizontalScrollBar()->setStyleSheet(kScrollStripStyle);
    scroller_->setWidgetResizable(false);

    client_ = new QWidget;
    client_->setObjectName(ToQString(kClient));
    client_->setFixedSize(kContentWidth, kPagesY + kPagesHeight);
    scroller_->setWidget(client_);
    containers_.emplace(kClient, client_);

    log_ = new LogView(tool_.log, client_);
    log_->setObjectName("RichEdit1");
    log_->setGeometry(1, 0, 679, kLogHeight);
    log_->setFont(LogFont());
    QPalette logPalette;
    logPalette.setResolveMask(0);
    logPalette.setColor(QPalette::Base, ToQColor(colour::Black));
    logPalette.setColor(QPalette::Text, ToQColor(colour::LogDefault));
    log_->setPalette(logPalette);

    pages_ = new QTabWidget(client_);
    pages_->setObjectName("pgcTabSheet");
    pages_->setGeometry(0, kPagesY, kClientWidth, kPagesHeight);
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(pages_);
    pages_->tabBar()->setStyle(tabStyle);
    pages_->tabBar()->setExpanding(false);
    pages_->setUsesScrollButtons(false);
    for (std::size_t index = 0; index < kPageCaptions.size(); ++index) {
        auto* page = new QWidget;
        page->setObjectName(ToQString(kPageNames[index]));
        pages_->addTab(page, QString::fromUtf8(kPageCaptions[index]));
        containers_.emplace(kPageNames[index], page);
    }
    QObject::connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (syncing_) return;
        tool_.panel.activePage = index;
        shownPage_ = index;
    });

    auto* strip = new QWidget(client_);
    strip->setObjectName(ToQString(kServiceArea));
    strip->setGeometry(kServiceAreaX, 0, kServiceAreaWidth, kPagesY + kPagesHeight);
    containers_.emplace(kServiceArea, strip);
}

QWidget* TForm1::Container(std::string_view name) {
    if (const auto it = containers_.find(name); it != containers_.end()) return it->second;
    if (Control* control = tool_.panel.Find(std::string(name)))
        return EnsureView(*control).Widget();
    qWarning("nuvtool: no container %.*s", static_cast<int>(name.size()), name.data());
    return client_;
}

ControlView& TForm1::EnsureView(Control& control) {
    if (const auto it = byName_.find(control.Name()); it != byName_.end()) return *it->second;
    const Placement* placement = FindPlacement(control.Name());
    if (placement == nullptr) {
        qWarning("nuvtool: no place for control %s", control.Name().c_str());
    }
    QWidget* parent = placement != nullptr ? Container(placement->parent) : client_;

    std::unique_ptr<ControlView> view;
    MainPanel& panel = tool_.panel;
    if (&control == &panel.StringGrid1) {
        view = std::make_unique<GridView>(context_, panel.StringGrid1, parent,
                                          GridView::Options{0, true, true});
    } else if (&control == &panel.StringGrid2 || &control == &panel.StringGrid3) {
        view = std::make_unique<GridView>(context_, static_cast<StringGrid&>(control), parent,
                                          GridView::Options{1, false, true});
    } else if (&control == &panel.Memo2) {
        view = std::make_unique<LoggerView>(context_, control, tool_.logger, parent);
    } else {
        view = MakeControlView(context_, control, parent);
    }
    if (placement != nullptr) {
        view->Widget()->setGeometry(placement->x, placement->y, placement->width,
                                    placement->height);
    } else {
        view->Widget()->setGeometry(0, 0, 0, 0);
    }
    ControlView& added = *view;
    byName_.emplace(control.Name(), view.get());
    views_.push_back(std::move(view));
    return added;
}

QWidget* TForm1::ControlWidget(std::string_view name) const {
    const auto it = byName_.find(name);
    return it != byName_.end() ? it->second->Widget() : nullptr;
}

GridView* TForm1::Grid(std::string_view name) const {
    const auto it = byName_.find(name);
    return it != byName_.end() ? dynamic_cast<GridView*>(it->second) : nullptr;
}

QTimer* TForm1::TimerOf(std::string_view name) const {
    for (const TimerView& view : timers_) {
        if (view.model->Name() == name) return view.timer;
    }
    return nullptr;
}

void TForm1::SyncAll() {
    if (syncing_) return;
    syncing_ = true;
    for (const auto& view : views_) view->Sync();
    if (tool_.panel.title != shownTitle_) {
        shownTitle_ = tool_.panel.title;
        setWindowTitle(ToQString(shownTitle_));
    }
    if (tool_.panel.activePage != shownPage_) {
        shownPage_ = tool_.panel.activePage;
        pages_->setCurrentIndex(shownPage_);
    }
    // The whole content, log and strip included, takes no input while the window is disabled.
    if (tool_.panel.windowEnabled != shownEnabled_) {
        shownEnabled_ = tool_.panel.windowEnabled;
        scroller_->setEnabled(shownEnabled_);
    }
    SyncTimers();
    if (form2_ != nullptr) form2_->Sync();
    if (trend_ != nullptr) trend_->Sync();
    syncing_ = false;
}

void TForm1::SyncTimers() {
    for (TimerView& view : timers_) {
        if (view.synced && view.seen == view.model->Revision()) continue;
        view.synced = true;
        view.seen = view.model->Revision();
        // A change starts the count anew; a 0 ms timer never fires.
        if (view.model->Enabled() && view.model->Interval() > 0) {
            view.timer->start(static_cast<int>(view.model->Interval()));
        } else {
            view.timer->stop();
        }
    }
}

void TForm1::ScrollToServiceArea() {
    QScrollBar* bar = scroller_->horizontalScrollBar();
    bar->setValue(bar->maximum());
}

void TForm1::closeEvent(QCloseEvent* event) {
    tool_.FormClose();
    form2_->hide();
    trend_->hide();
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    if (const QScreen* shown = screen()) {
        const QRect area = shown->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

}  // namespace nuv::gui
