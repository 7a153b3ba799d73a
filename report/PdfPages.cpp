#include "report/PdfPages.hpp"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace nuv::pdf {
namespace {

constexpr double kRowPadding = 1.0;

}  // namespace

PdfPages::PdfPages(QPagedPaintDevice& device, QPainter* painter, PageFrame frame, int pageCount)
    : device_(device), painter_(painter), frame_(std::move(frame)), pageCount_(pageCount) {
    DrawFrame();
}

double PdfPages::Mm(double mm) const {
    return mm * device_.logicalDpiX() / 25.4;
}

QFont PdfPages::Font(double points, bool bold, bool mono) const {
    // DejaVu has every letter of the reports (Polish included); another font stands in where
    // it is not installed.
    QFont font(mono ? "DejaVu Sans Mono" : "DejaVu Sans");
    font.setStyleHint(mono ? QFont::Monospace : QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    // No ligatures: "fi" stays two letters for whoever copies or searches the text.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

double PdfPages::TextHeight(const QString& text, const QFont& font, double width) const {
    const QFontMetricsF metrics(font, &device_);
    if (text.isEmpty()) return metrics.height() * 25.4 / device_.logicalDpiY();
    const QRectF bounds =
        metrics.boundingRect(QRectF(0, 0, Mm(width), 1e9), Qt::TextWordWrap, text);
    return bounds.height() * 25.4 / device_.logicalDpiY();
}

void PdfPages::DrawText(const QRectF& box, const QString& text, const QFont& font,
                        const QColor& colour, int flags) {
    if (painter_ == nullptr) return;
    painter_->setFont(font);
    painter_->setPen(colour);
    painter_->drawText(QRectF(Mm(box.x()), Mm(box.y()), Mm(box.width()), Mm(box.height())),
                       flags | Qt::TextWordWrap, text);
}

void PdfPages::Need(double mm) {
    if (y_ + mm > kBottom && y_ > kTop) NewPage();
}

void PdfPages::NewPage() {
    ++page_;
    y_ = kTop;
    bandBottom_ = 0;
    if (painter_ != nullptr) {
        device_.newPage();
        DrawFrame();
    }
}

void PdfPages::DrawFrame() {
    if (painter_ == nullptr) return;
    const double width = kRight - kLeft;
    DrawText(QRectF(kLeft, 12, width / 2, 6), frame_.title, Font(10, true), kInk);
    DrawText(QRectF(kLeft + width / 2, 12.6, width / 2, 6), frame_.tool, Font(8), kGrey,
             Qt::AlignRight);
    DrawText(QRectF(kLeft, 18, width, 6), frame_.identity, Font(8.5), kInk);
    painter_->setPen(QPen(kGrey, Mm(0.3)));
    painter_->drawLine(QPointF(Mm(kLeft), Mm(24)), QPointF(Mm(kRight), Mm(24)));
    painter_->drawLine(QPointF(Mm(kLeft), Mm(284)), QPointF(Mm(kRight), Mm(284)));
    DrawText(QRectF(kLeft, 285.5, width / 2, 6), frame_.footer, Font(7.5), kGrey);
    DrawText(QRectF(kLeft + width / 2, 285.5, width / 2, 6),
             QString("Page %1 of %2").arg(page_).arg(pageCount_), Font(7.5), kGrey, Qt::AlignRight);
}

void PdfPages::Title(const QString& text, const QString& under) {
    const QFont big = Font(16, true);
    const double height = TextHeight(text, big, kRight - kLeft);
    DrawText(QRectF(kLeft, y_, kRight - kLeft, height), text, big, kInk);
    y_ += height + 1;
    if (!under.isEmpty()) Paragraph(under, kGrey, 8.5);
    y_ += 2;
}

void PdfPages::Heading(const QString& text, double keepWith) {
    const QFont font = Font(12, true);
    const double height = TextHeight(text, font, kRight - kLeft);
    y_ += 3;
    Need(height + 2 + keepWith);
    DrawText(QRectF(kLeft, y_, kRight - kLeft, height), text, font, kInk);
    y_ += height;
    if (painter_ != nullptr) {
        painter_->setPen(QPen(kInk, Mm(0.25)));
        painter_->drawLine(QPointF(Mm(kLeft), Mm(y_ + 0.5)), QPointF(Mm(kRight), Mm(y_ + 0.5)));
    }
    y_ += 2;
}

void PdfPages::SubHeading(const QString& text, double keepWith) {
    const QFont font = Font(10, true);
    const double height = TextHeight(text, font, kRight - kLeft);
    y_ += 1.5;
    Need(height + keepWith);
    DrawText(QRectF(kLeft, y_, kRight - kLeft, height), text, font, kInk);
    y_ += height + 0.5;
}

void PdfPages::Field(const QString& label, const QString& value, const QColor& colour, bool mono) {
    const QFont labelFont = Font(9);
    const QFont valueFont = Font(mono ? 8.5 : 9, false, mono);
    const double valueWidth = kRight - kLeft - kLabelWidth;
    const double height = std::max(TextHeight(label, labelFont, kLabelWidth - 2),
                                   TextHeight(value, valueFont, valueWidth)) +
                          kRowPadding;
    Need(height);
    DrawText(QRectF(kLeft, y_, kLabelWidth - 2, height), label, labelFont, kGrey);
    DrawText(QRectF(kLeft + kLabelWidth, y_, valueWidth, height), value, valueFont, colour);
    y_ += height;
}

void PdfPages::Paragraph(const QString& text, const QColor& colour, double points) {
    const QFont font = Font(points);
    const double line = QFontMetricsF(font, &device_).lineSpacing() * 25.4 / device_.logicalDpiY();
    // Line by line, so that no text is too long for a page.
    for (const QString& part : WrapLines(text, font, kRight - kLeft)) {
        Need(line);
        DrawText(QRectF(kLeft, y_, kRight - kLeft, line * 1.5), part, font, colour);
        y_ += line;
    }
    y_ += kRowPadding;
}

double PdfPages::RowHeight() const {
    return TextHeight("Ag", Font(9), 100) + kRowPadding;
}

void PdfPages::Row(const std::vector<Cell>& cells, const std::vector<double>& widths) {
    struct Placed {
        const Cell* cell;
        double x;
        double width;
    };
    std::vector<Placed> placed;
    double x = kLeft;
    std::size_t column = 0;
    for (const Cell& cell : cells) {
        double width = 0;
        for (int i = 0; i < cell.span && column < widths.size(); ++i) width += widths[column++];
        if (width <= 0) break;
        placed.push_back({&cell, x, width});
        x += width;
    }
    double height = 0;
    for (const Placed& p : placed) {
        const QFont font = Font(p.cell->points, p.cell->bold, p.cell->mono);
        height = std::max(height, TextHeight(p.cell->text, font, p.width - 2));
    }
    height += kRowPadding;
    Need(height);
    for (const Placed& p : placed) {
        const QFont font = Font(p.cell->points, p.cell->bold, p.cell->mono);
        DrawText(QRectF(p.x, y_, p.width - 2, height), p.cell->text, font, p.cell->colour);
        if (p.cell->rule && painter_ != nullptr) {
            painter_->setPen(QPen(kGrey, Mm(0.15)));
            painter_->drawLine(QPointF(Mm(p.x), Mm(y_ + height - 0.3)),
                               QPointF(Mm(p.x + p.width - 2), Mm(y_ + height - 0.3)));
        }
    }
    y_ += height;
}

std::vector<QString> PdfPages::WrapLines(const QString& text, const QFont& font,
                                         double width) const {
    std::vector<QString> lines;
    for (const QString& paragraph : text.split('\n')) {
        if (paragraph.isEmpty()) {
            lines.emplace_back();
            continue;
        }
        QTextLayout layout(paragraph, font, &device_);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(Mm(width));
            lines.push_back(paragraph.mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
    }
    return lines;
}

double PdfPages::BoxHeight(const QString& text, double minimum) const {
    const QFont font = Font(9);
    const double line = QFontMetricsF(font, &device_).lineSpacing() * 25.4 / device_.logicalDpiY();
    const std::size_t lines = text.isEmpty() ? 0 : WrapLines(text, font, kRight - kLeft - 4).size();
    return 4 + line * static_cast<double>(
                          std::max(lines, static_cast<std::size_t>((minimum - 4) / line)));
}

void PdfPages::Box(const QString& text, double minimum) {
    const QFont font = Font(9);
    const double inner = kRight - kLeft - 4;
    const double line = QFontMetricsF(font, &device_).lineSpacing() * 25.4 / device_.logicalDpiY();
    const std::vector<QString> lines =
        text.isEmpty() ? std::vector<QString>{} : WrapLines(text, font, inner);
    const auto rows = std::max(lines.size(), static_cast<std::size_t>((minimum - 4) / line));
    Need(std::min(4 + static_cast<double>(rows) * line, 40.0));
    double top = y_;
    auto frame = [&] {
        if (painter_ == nullptr) return;
        painter_->setPen(QPen(kGrey, Mm(0.3)));
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(QRectF(Mm(kLeft), Mm(top), Mm(kRight - kLeft), Mm(y_ - top)));
    };
    y_ += 2;
    // A box longer than the page goes on over the next one, line by line.
    for (std::size_t i = 0; i < rows; ++i) {
        if (y_ + line > kBottom - 2) {
            y_ += 1;
            frame();
            NewPage();
            top = y_;
            y_ += 2;
        }
        if (i < lines.size())
            DrawText(QRectF(kLeft + 2, y_, inner, line * 1.5), lines[i], font, kInk);
        y_ += line;
    }
    y_ += 2;
    frame();
    y_ += 2;
}

void PdfPages::SignatureLine(const std::vector<QString>& captions) {
    Need(18);
    y_ += 12;
    const double gap = 8;
    const double width = (kRight - kLeft - gap * static_cast<double>(captions.size() - 1)) /
                         static_cast<double>(captions.size());
    double x = kLeft;
    for (const QString& caption : captions) {
        if (painter_ != nullptr) {
            painter_->setPen(QPen(kInk, Mm(0.3)));
            painter_->drawLine(QPointF(Mm(x), Mm(y_)), QPointF(Mm(x + width), Mm(y_)));
        }
        DrawText(QRectF(x, y_ + 0.8, width, 5), caption, Font(8), kGrey);
        x += width + gap;
    }
    y_ += 6;
}

void PdfPages::Figure(double x, double width, double height,
                      const std::function<void(QPainter&, const QRectF&)>& draw) {
    if (bandBottom_ == 0) {
        Need(height);
        bandBottom_ = y_ + height;
    }
    if (painter_ != nullptr) {
        painter_->save();
        draw(*painter_, QRectF(Mm(kLeft + x), Mm(y_), Mm(width), Mm(height)));
        painter_->restore();
    }
    bandBottom_ = std::max(bandBottom_, y_ + height);
}

void PdfPages::EndBand() {
    if (bandBottom_ != 0) y_ = bandBottom_ + 3;
    bandBottom_ = 0;
}

}  // namespace nuv::pdf
