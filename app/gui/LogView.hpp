#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "core/MessageLog.hpp"

namespace nuv::gui {

// Shown text of one colour.
struct ShownRun {
    QString text;
    QColor colour;
    friend bool operator==(const ShownRun&, const ShownRun&) = default;
};

// Adds one shown character to runs of one colour. A line break takes no colour of its own: it
// joins the run it follows (or the one that the next character starts).
void AddShown(std::vector<ShownRun>& runs, QChar character, const QColor& colour);

// A read-only text widget that follows a MessageLog: an append inserts the new text at the end
// in its colour, so appending costs the same however long the log has grown; a reset redraws
// the whole log from its runs. Without run colours every text takes the widget's text colour.
class LogView final : public QPlainTextEdit, public MessageLogListener {
  public:
    LogView(MessageLog& log, QWidget* parent, bool runColours = true);
    ~LogView() override;
    LogView(const LogView&) = delete;
    LogView& operator=(const LogView&) = delete;

    void LogReset() override;
    void LogAppended(std::string_view text, Rgb colour) override;

    // The shown text in runs of one colour, as drawn (see AddShown).
    std::vector<ShownRun> Runs() const;
    // Redraws from the log (after the log changed while detached).
    void Redraw() { LogReset(); }

  private:
    void Insert(std::string_view text, Rgb colour);
    void ScrollToEnd();

    MessageLog& log_;
    bool runColours_;
};

}  // namespace nuv::gui
