#include "app/gui/TrendWindow.hpp"

#include <QBuffer>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/gui/Fonts.hpp"
#include "core/AtomicFile.hpp"
#include "measure/CyclicRecord.hpp"
#include "measure/ReadingRow.hpp"
#include "model/Tool.hpp"

namespace nuv::gui {
namespace {

constexpr int kChannels = 10;
constexpr int kLevels = 16;
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
// A window manager's border and title bar, allowed for until the real frame is known.
constexpr QMargins kAssumedFrame{8, 32, 8, 8};

// Colours that tell apart on white, for the first series; further ones go round the hues.
QColor SeriesColour(int index) {
    static constexpr QRgb kPalette[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b,
                                        0xe377c2, 0x17becf, 0xbcbd22, 0x7f7f7f, 0x393b79, 0xad494a,
                                        0x637939, 0xe7ba52, 0x7b4173, 0x3182bd};
    constexpr int kCount = static_cast<int>(std::size(kPalette));
    if (index < kCount) return QColor(kPalette[index]);
    // The golden angle keeps every new hue far from the ones before it.
    return QColor::fromHsv(static_cast<int>(std::fmod((index - kCount) * 137.508, 360.0)), 200,
                           180 - 40 * ((index / 7) % 2));
}

}  // namespace

TrendWindow::TrendWindow(Tool& tool, QWidget* owner) : QWidget(owner), tool_(tool) {
    setObjectName("TrendWindow");
    setWindowFlags(Qt::Window);
    setWindowTitle("NUV Trend");
    setFont(WindowFont());
    resize(960, 560);

    auto* controls = new QVBoxLayout;
    auto* sourceBox = new QGroupBox("Show");
    auto* sourceLayout = new QVBoxLayout(sourceBox);
    cyclic_ = new QRadioButton("Cyclic measurement");
    apc_ = new QRadioButton("APC run (found sensors)");
    cyclic_->setChecked(true);
    auto* sources = new QButtonGroup(this);
    sources->addButton(cyclic_);
    sources->addButton(apc_);
    sourceLayout->addWidget(cyclic_);
    sourceLayout->addWidget(apc_);
    controls->addWidget(sourceBox);

    auto tickBox = [this](const QString& text, bool checked) {
        auto* box = new QCheckBox(text);
        box->setChecked(checked);
        QObject::connect(box, &QCheckBox::toggled, this, [this] { Redraw(); });
        return box;
    };
    auto* channelBox = new QGroupBox("Channels");
    ticks_.push_back(channelBox);
    auto* channelGrid = new QGridLayout(channelBox);
    for (int c = 0; c < kChannels; ++c) {
        channels_.push_back(tickBox("Ch " + QString::number(c), c == 0));
        channels_.back()->setObjectName("trendChannel" + QString::number(c));
        channelGrid->addWidget(channels_.back(), c / 2, c % 2);
    }
    controls->addWidget(channelBox);
    auto* levelBox = new QGroupBox("Levels");
    ticks_.push_back(levelBox);
    auto* levelGrid = new QGridLayout(levelBox);
    for (int level = 1; level <= kLevels; ++level) {
        levels_.push_back(tickBox(QString::number(level), level <= 4));
        levels_.back()->setObjectName("trendLevel" + QString::number(level));
        levelGrid->addWidget(levels_.back(), (level - 1) / 4, (level - 1) % 4);
    }
    controls->addWidget(levelBox);
    module_ = tickBox("Module temperature", true);
    ticks_.push_back(module_);
    controls->addWidget(module_);
    controls->addStretch();
    save_ = new QPushButton("Save picture…");
    QObject::connect(save_, &QPushButton::clicked, this, [this] { SaveClicked(); });
    controls->addWidget(save_);
    status_ = new QLabel;
    status_->setWordWrap(true);
    status_->setMinimumWidth(180);
    controls->addWidget(status_);
    QObject::connect(sources, &QButtonGroup::buttonToggled, this, [this] { Redraw(); });

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setAnimationOptions(QChart::NoAnimation);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTitleText("Local time");
    timeAxis_->setFormat("HH:mm:ss");
    valueAxis_ = new QValueAxis;
    valueAxis_->setTitleText("°C");
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    // An axis that first shows without a series stays hidden in Qt Charts: an empty series holds
    // both axes from the start, without a legend entry.
    auto* anchor = new QLineSeries;
    chart_->addSeries(anchor);
    anchor->attachAxis(timeAxis_);
    anchor->attachAxis(valueAxis_);
    for (QLegendMarker* marker : chart_->legend()->markers(anchor)) marker->setVisible(false);
    view_ = new QChartView(chart_);
    view_->setObjectName("TrendChart");
    view_->setRenderHint(QPainter::Antialiasing, false);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(view_, 1);
    hide();
}

TrendWindow::~TrendWindow() = default;

const TrendModel& TrendWindow::Model() const {
    return Shown() == Source::Apc ? tool_.sensors.apcTrend : tool_.measure.cyclicTrend;
}

TrendWindow::Source TrendWindow::Shown() const {
    return apc_->isChecked() ? Source::Apc : Source::Cyclic;
}

void TrendWindow::Show(Source source) {
    (source == Source::Apc ? apc_ : cyclic_)->setChecked(true);
}

void TrendWindow::Sync() {
    // The plot follows whichever measurement brings new points while it runs.
    if (tool_.sensors.apcTrend.Revision() != seenApc_) {
        seenApc_ = tool_.sensors.apcTrend.Revision();
        if (tool_.panel.Timer3.Enabled() && tool_.sensors.apcTrend.FrameCount() != 0)
            Show(Source::Apc);
        dirty_ = true;
    }
    if (tool_.measure.cyclicTrend.Revision() != seenCyclic_) {
        seenCyclic_ = tool_.measure.cyclicTrend.Revision();
        if (tool_.panel.Timer1.Enabled()) Show(Source::Cyclic);
        dirty_ = true;
    }
    if (tool_.trendWindow.revision != seenWindow_) {
        seenWindow_ = tool_.trendWindow.revision;
        if (tool_.trendWindow.visible) {
            // The first time beside the main window's top left corner, as the APC window is;
            // later where the technician left it. Either way whole on the screen.
            QPoint place = frameGeometry().topLeft();
            if (!placed_ && parentWidget() != nullptr) {
                place = parentWidget()->frameGeometry().topLeft() + QPoint(60, 60);
                placed_ = true;
            }
            FitOnScreen(place);
            show();
            raise();
            activateWindow();
        } else {
            hide();
        }
    }
    if (dirty_ && isVisible()) Redraw();
}

void TrendWindow::FitOnScreen(QPoint frameTopLeft) {
    const QWidget* owner = parentWidget();
    const QScreen* screen = owner != nullptr ? owner->screen() : this->screen();
    if (screen == nullptr) {
        move(frameTopLeft);
        return;
    }
    const QRect room = screen->availableGeometry();
    // The frame that the window manager draws around it, as far as it is known; before the
    // window was first framed, room for a usual border and title bar.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(std::max(inner.left() - outer.left(), kAssumedFrame.left()),
                         std::max(inner.top() - outer.top(), kAssumedFrame.top()),
                         std::max(outer.right() - inner.right(), kAssumedFrame.right()),
                         std::max(outer.bottom() - inner.bottom(), kAssumedFrame.bottom()));
    // No larger than the free area, frame and all (the layout's least size stays the least)...
    resize(size().boundedTo(room.size().shrunkBy(frame)));
    // ...and within it.
    QRect place(frameTopLeft, size().grownBy(frame));
    place.moveRight(std::min(place.right(), room.right()));
    place.moveBottom(std::min(place.bottom(), room.bottom()));
    place.moveLeft(std::max(place.left(), room.left()));
    place.moveTop(std::max(place.top(), room.top()));
    move(place.topLeft());
}

std::vector<std::pair<std::string, std::string>> TrendWindow::Wanted() const {
    std::vector<std::pair<std::string, std::string>> wanted;
    const TrendModel& model = Model();
    if (Shown() == Source::Apc) {
        // Every found sensor of the run, named by its serial.
        for (const std::string& name : model.SeriesNames()) wanted.emplace_back(name, name);
        return wanted;
    }
    for (int c = 0; c < kChannels; ++c) {
        if (!channels_[static_cast<std::size_t>(c)]->isChecked()) continue;
        for (int level = 1; level <= kLevels; ++level) {
            if (!levels_[static_cast<std::size_t>(level - 1)]->isChecked()) continue;
            const std::string name = SensorColumnName(c, level);
            if (model.Has(name)) {
                wanted.emplace_back(name, "Ch " + std::to_string(c) + " L" + std::to_string(level));
            }
        }
    }
    if (module_->isChecked() && model.Has(kModuleSeries)) {
        wanted.emplace_back(kModuleSeries, "Module");
    }
    return wanted;
}

std::vector<std::string> TrendWindow::ShownSeries() const {
    std::vector<std::string> names;
    for (const auto& [name, label] : Wanted()) {
        if (drawn_.count(name) != 0) names.push_back(name);
    }
    return names;
}

std::vector<QLineSeries*> TrendWindow::Segments(const std::string& name) const {
    const auto found = drawn_.find(name);
    if (found == drawn_.end()) return {};
    std::vector<QLineSeries*> shown;
    for (QLineSeries* segment : found->second.segments) {
        if (segment->count() != 0) shown.push_back(segment);
    }
    return shown;
}

void TrendWindow::Redraw() {
    dirty_ = false;
    // An APC run shows every sensor it found; the ticks choose among the cyclic series only.
    for (QWidget* ticks : ticks_) ticks->setEnabled(Shown() == Source::Cyclic);
    const TrendModel& model = Model();
    const auto wanted = Wanted();
    // Series no longer wanted go.
    for (auto it = drawn_.begin(); it != drawn_.end();) {
        const bool keep = std::any_of(wanted.begin(), wanted.end(),
                                      [&](const auto& entry) { return entry.first == it->first; });
        if (keep) {
            ++it;
            continue;
        }
        for (QLineSeries* segment : it->second.segments) {
            chart_->removeSeries(segment);
            delete segment;
        }
        it = drawn_.erase(it);
    }
    std::int64_t from = model.FirstMs();
    std::int64_t to = model.LastMs();
    if (to - from < 60'000) to = from + 60'000;  // at least a minute wide
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    int index = 0;
    for (const auto& [name, label] : wanted) Draw(name, label, index++, from, to, low, high);
    timeAxis_->setFormat(to - from > kDayMs / 2 ? "dd.MM HH:mm" : "HH:mm:ss");
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    if (low > high) {
        low = 0;
        high = 30;
    }
    const double margin = std::max(0.5, (high - low) * 0.05);
    valueAxis_->setRange(std::floor(low - margin), std::ceil(high + margin));
}

void TrendWindow::Draw(const std::string& name, const std::string& label, int index,
                       std::int64_t fromMs, std::int64_t toMs, double& low, double& high) {
    Drawn& drawn = drawn_[name];
    // A few points per two pixels of the plot are all it can show.
    const auto buckets = static_cast<std::size_t>(std::max(200.0, chart_->plotArea().width() / 2));
    const std::vector<TrendPoint> points = Model().Thinned(name, fromMs, toMs, buckets);
    // Unbroken stretches: a gap ends one.
    std::vector<QList<QPointF>> runs(1);
    for (const TrendPoint& point : points) {
        if (std::isnan(point.value)) {
            if (!runs.back().isEmpty()) runs.emplace_back();
            continue;
        }
        runs.back().append(QPointF(static_cast<double>(point.ms), point.value));
        low = std::min(low, point.value);
        high = std::max(high, point.value);
    }
    if (runs.size() > 1 && runs.back().isEmpty()) runs.pop_back();
    const QColor colour = SeriesColour(index);
    // A thin cosmetic pen: the fast path of the painter, for thousands of points a series.
    QPen pen(colour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    const auto style = [&](QLineSeries* segment, std::size_t i) {
        segment->setPen(pen);
        segment->setColor(colour);
        segment->setName(ToQString(label));
        // One legend entry per series, on its first stretch.
        for (QLegendMarker* marker : chart_->legend()->markers(segment)) marker->setVisible(i == 0);
    };
    // The order of the wanted series, and with it the colours, changes with the ticks.
    if (drawn.colour != colour || drawn.label != label) {
        for (std::size_t i = 0; i < drawn.segments.size(); ++i) style(drawn.segments[i], i);
        drawn.colour = colour;
        drawn.label = label;
    }
    while (drawn.segments.size() < runs.size()) {
        auto* segment = new QLineSeries;
        chart_->addSeries(segment);
        segment->attachAxis(timeAxis_);
        segment->attachAxis(valueAxis_);
        style(segment, drawn.segments.size());
        drawn.segments.push_back(segment);
    }
    while (drawn.segments.size() > runs.size()) {
        chart_->removeSeries(drawn.segments.back());
        delete drawn.segments.back();
        drawn.segments.pop_back();
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        QLineSeries* segment = drawn.segments[i];
        // A stretch of one reading has no line to draw: it shows as a dot.
        segment->setPointsVisible(runs[i].size() == 1);
        segment->replace(runs[i]);
    }
}

std::optional<std::string> TrendWindow::SavePicture(const std::string& path) {
    Redraw();
    const QPixmap picture = view_->grab();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) return std::string("the picture could not be made");
    return WriteFileAtomically(path,
                               std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                         static_cast<std::size_t>(bytes.size())));
}

void TrendWindow::SaveClicked() {
    SaveFileRequest request;
    request.filters = {{"PNG pictures (*.png)", "*.png"}};
    request.defaultExtension = "png";
    request.folder = tool_.saveFolder;
    const auto path = tool_.dialogs.ChooseSaveFile(request);
    if (!path) return;
    QPalette palette = status_->palette();
    if (const auto failure = SavePicture(*path)) {
        palette.setColor(QPalette::WindowText, Qt::red);
        status_->setText(ToQString("Cannot write " + *path + ": " + *failure));
    } else {
        palette.setColor(QPalette::WindowText, Qt::darkGreen);
        status_->setText(ToQString("Saved " + *path));
    }
    status_->setPalette(palette);
}

void TrendWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    tool_.trendWindow.Show(false);
    seenWindow_ = tool_.trendWindow.revision;
}

void TrendWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    dirty_ = true;
}

}  // namespace nuv::gui
