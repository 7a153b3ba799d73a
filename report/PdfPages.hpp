#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <functional>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace nuv::pdf {

inline const QColor kInk{0, 0, 0};
inline const QColor kRed{200, 0, 0};
inline const QColor kGrey{110, 110, 110};

// The header and footer texts of every page.
struct PageFrame {
    QString title;     // left of the first header line
    QString tool;      // right of it
    QString identity;  // the second header line: the module
    QString footer;    // left of the footer; the page number goes right
};

// One cell of a table row.
struct Cell {
    QString text;
    QColor colour = kInk;
    bool mono = false;
    bool bold = false;
    double points = 9;
    int span = 1;       // columns it takes
    bool rule = false;  // a thin line under it (a column heading)
};

// Pages of A4 filled from top to bottom: headings, label-value lines, table rows, paragraphs and
// figures, each moved whole to a new page where it does not fit. A first pass without a painter
// counts the pages; the second draws them, "page n of N" in every footer. Lengths are in
// millimetres.
class PdfPages {
  public:
    PdfPages(QPagedPaintDevice& device, QPainter* painter, PageFrame frame, int pageCount);

    static constexpr double kPageWidth = 210;
    static constexpr double kPageHeight = 297;
    static constexpr double kLeft = 18;
    static constexpr double kRight = 192;
    static constexpr double kTop = 30;
    static constexpr double kBottom = 280;
    static constexpr double kLabelWidth = 48;

    int Pages() const { return page_; }
    double Y() const { return y_; }
    void Space(double mm) { y_ += mm; }
    // Starts a new page unless `mm` more fit on this one.
    void Need(double mm);

    QFont Font(double points, bool bold = false, bool mono = false) const;
    // The height of a text wrapped to a width.
    double TextHeight(const QString& text, const QFont& font, double width) const;
    // Draws a text wrapped into a box (nothing in the counting pass).
    void DrawText(const QRectF& box, const QString& text, const QFont& font, const QColor& colour,
                  int flags = 0);

    void Title(const QString& text, const QString& under);
    // A section's heading, kept on one page with `keepWith` mm of what follows.
    void Heading(const QString& text, double keepWith = 20);
    void SubHeading(const QString& text, double keepWith);
    void Field(const QString& label, const QString& value, const QColor& colour = kInk,
               bool mono = false);
    void Paragraph(const QString& text, const QColor& colour = kInk, double points = 9);
    // A table row over columns of these widths (mm, from the left margin on), each cell
    // wrapped in its column(s).
    void Row(const std::vector<Cell>& cells, const std::vector<double>& widths);
    double RowHeight() const;
    // A text broken into lines that fit `width` mm, at its own line breaks too.
    std::vector<QString> WrapLines(const QString& text, const QFont& font, double width) const;
    // The height of the box below for a text.
    double BoxHeight(const QString& text, double minimum) const;
    // A framed box of at least `minimum` mm for a text, going on over pages where it must.
    void Box(const QString& text, double minimum);
    // A line to sign on, with its caption under it.
    void SignatureLine(const std::vector<QString>& captions);
    // A figure `width` x `height` mm at `x` (mm from the left margin) in the current band; the
    // band ends with EndBand.
    void Figure(double x, double width, double height,
                const std::function<void(QPainter&, const QRectF&)>& draw);
    void EndBand();

    // Millimetres in the device's units.
    double Mm(double mm) const;

  private:
    void NewPage();
    void DrawFrame();

    QPagedPaintDevice& device_;
    QPainter* painter_;
    PageFrame frame_;
    int pageCount_;
    int page_ = 1;
    double y_ = kTop;
    double bandBottom_ = 0;
};

}  // namespace nuv::pdf
