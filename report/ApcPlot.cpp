#include "report/ApcPlot.hpp"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "report/ServiceReport.hpp"

namespace nuv::pdf {
namespace {

constexpr double kTitleMm = 5.5;
constexpr double kAxisLeftMm = 10;
constexpr double kAxisBottomMm = 7;
constexpr double kPlotMm = 42;
constexpr double kLegendRowMm = 3.3;

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about `parts`.
double NiceStep(double range, int parts) {
    if (!(range > 0)) return 1;
    const double raw = range / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= factor * power) return factor * power;
    }
    return 10 * power;
}

QString Number(double value, double step) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    return QString::number(value, 'f', decimals);
}

QString Duration(std::int64_t ms) {
    const std::int64_t seconds = (ms + 500) / 1000;
    if (seconds < 60) return QString("%1 s").arg(seconds);
    return QString("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QFont SmallFont(double points, bool bold = false) {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

}  // namespace

unsigned CurveColour(std::size_t index) {
    static constexpr unsigned kPalette[] = {
        0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b, 0xe377c2, 0x17becf,
        0xbcbd22, 0x7f7f7f, 0x393b79, 0xad494a, 0x637939, 0xe7ba52, 0x7b4173, 0x3182bd};
    return kPalette[index % std::size(kPalette)];
}

double ApcFigureHeight(std::size_t curves) {
    return kTitleMm + kPlotMm + kAxisBottomMm + 1 +
           kLegendRowMm * static_cast<double>((curves + 1) / 2);
}

void DrawApcFigure(QPainter& painter, const QRectF& box, double unitsPerMm, const ApcFigure& figure,
                   const std::vector<std::string>& levelOrder) {
    const auto mm = [unitsPerMm](double value) { return value * unitsPerMm; };
    // The curves in the report's level order, then any others.
    std::vector<const ApcFigure::Curve*> curves;
    for (const std::string& serial : levelOrder) {
        for (const auto& curve : figure.curves) {
            if (curve.serial == serial) curves.push_back(&curve);
        }
    }
    for (const auto& curve : figure.curves) {
        if (std::find(curves.begin(), curves.end(), &curve) == curves.end()) {
            curves.push_back(&curve);
        }
    }
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const auto* curve : curves) {
        for (const TrendPoint& point : curve->points) {
            first = std::min(first, point.ms);
            last = std::max(last, point.ms);
            if (std::isfinite(point.value)) {
                low = std::min(low, point.value);
                high = std::max(high, point.value);
            }
        }
    }
    if (first > last) first = last = 0;
    if (!(low <= high)) low = high = 20;  // no value at all: an empty plot
    if (high - low < 2) {
        low -= 1;
        high += 1;
    }
    const double seconds = std::max(1.0, static_cast<double>(last - first) / 1000.0);
    const double yStep = NiceStep(high - low, 5);
    low = std::floor(low / yStep) * yStep;
    high = std::ceil(high / yStep) * yStep;
    const double xStep = NiceStep(seconds, 6);

    painter.setFont(SmallFont(8, true));
    painter.setPen(Qt::black);
    painter.drawText(
        QRectF(box.left(), box.top(), box.width(), mm(kTitleMm)), Qt::AlignLeft,
        QString("APC run, channel %1 (%2)").arg(figure.channel).arg(Duration(last - first)));
    const QRectF plot(box.left() + mm(kAxisLeftMm), box.top() + mm(kTitleMm),
                      box.width() - mm(kAxisLeftMm) - mm(1), mm(kPlotMm));
    const auto x = [&](double s) { return plot.left() + s / seconds * plot.width(); };
    const auto y = [&](double c) {
        return plot.bottom() - (c - low) / (high - low) * plot.height();
    };

    painter.setFont(SmallFont(5.5));
    for (double c = low; c <= high + yStep / 2; c += yStep) {
        painter.setPen(QPen(QColor(225, 225, 225), mm(0.15)));
        painter.drawLine(QPointF(plot.left(), y(c)), QPointF(plot.right(), y(c)));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(box.left(), y(c) - mm(2), mm(kAxisLeftMm - 1), mm(4)),
                         Qt::AlignRight | Qt::AlignVCenter, Number(c, yStep));
    }
    for (double s = 0; s <= seconds + 1e-9; s += xStep) {
        painter.setPen(QPen(QColor(225, 225, 225), mm(0.15)));
        painter.drawLine(QPointF(x(s), plot.top()), QPointF(x(s), plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x(s) - mm(6), plot.bottom() + mm(0.5), mm(12), mm(3)),
                         Qt::AlignHCenter | Qt::AlignTop, Number(s, xStep));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + mm(3.3), plot.width(), mm(3)),
                     Qt::AlignHCenter | Qt::AlignTop, "°C against seconds since the first reading");
    painter.setPen(QPen(Qt::black, mm(0.2)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);

    painter.save();
    painter.setClipRect(plot);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        QPainterPath path;
        bool drawing = false;
        for (const TrendPoint& point : curves[i]->points) {
            if (!std::isfinite(point.value)) {
                drawing = false;  // an error value is a gap
                continue;
            }
            const QPointF at(x(static_cast<double>(point.ms - first) / 1000.0), y(point.value));
            if (drawing) {
                path.lineTo(at);
            } else {
                path.moveTo(at);
                drawing = true;
            }
        }
        painter.setPen(QPen(QColor::fromRgb(CurveColour(i)), mm(0.35)));
        painter.drawPath(path);
    }
    painter.restore();

    const double legendTop = plot.bottom() + mm(kAxisBottomMm + 1);
    const double column = box.width() / 2;
    painter.setFont(SmallFont(6));
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const double left = box.left() + static_cast<double>(i % 2) * column + mm(2);
        const double top = legendTop + static_cast<double>(i / 2) * mm(kLegendRowMm);
        painter.setPen(QPen(QColor::fromRgb(CurveColour(i)), mm(0.6)));
        painter.drawLine(QPointF(left, top + mm(1.6)), QPointF(left + mm(4), top + mm(1.6)));
        const auto level = std::find(levelOrder.begin(), levelOrder.end(), curves[i]->serial);
        const QString name = QString::fromStdString(curves[i]->serial);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(left + mm(5), top, column - mm(7), mm(kLegendRowMm)),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         level == levelOrder.end()
                             ? name
                             : QString("%1. %2").arg(level - levelOrder.begin() + 1).arg(name));
    }
}

}  // namespace nuv::pdf
