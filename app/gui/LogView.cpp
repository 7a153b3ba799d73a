#include "app/gui/LogView.hpp"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "app/gui/Fonts.hpp"

namespace nuv::gui {

LogView::LogView(MessageLog& log, QWidget* parent, bool runColours)
    : QPlainTextEdit(parent), log_(log), runColours_(runColours) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    log_.SetListener(this);
    LogReset();
}

LogView::~LogView() {
    log_.SetListener(nullptr);
}

void LogView::LogReset() {
    clear();
    for (const LogRun& run : log_.Runs()) Insert(run.text, run.colour);
    ScrollToEnd();
}

void LogView::LogAppended(std::string_view text, Rgb colour) {
    Insert(text, colour);
    ScrollToEnd();
}

void LogView::Insert(std::string_view text, Rgb colour) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    if (runColours_) format.setForeground(ToQColor(colour));
    cursor.insertText(ToQString(text), format);
}

void LogView::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

std::vector<ShownRun> LogView::Runs() const {
    std::vector<ShownRun> runs;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QColor colour = fragment.charFormat().foreground().color();
            for (const QChar character : fragment.text()) AddShown(runs, character, colour);
        }
        if (block.next().isValid()) AddShown(runs, QChar(u'\n'), QColor());
    }
    return runs;
}

void AddShown(std::vector<ShownRun>& runs, QChar character, const QColor& colour) {
    if (character == u'\n') {
        if (runs.empty()) runs.push_back(ShownRun{{}, QColor()});
        runs.back().text += character;
        return;
    }
    if (!runs.empty() && !runs.back().colour.isValid()) runs.back().colour = colour;
    if (runs.empty() || runs.back().colour != colour) runs.push_back(ShownRun{{}, colour});
    runs.back().text += character;
}

}  // namespace nuv::gui
