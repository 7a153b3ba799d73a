#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/LinkResult.hpp"
#include "core/Rgb.hpp"

namespace nuv {

// A stretch of log text in one colour. Text may span several lines ('\n').
struct LogRun {
    std::string text;
    Rgb colour;
};

// Told about every change of a MessageLog, so that a view can follow it incrementally instead of
// redrawing the whole text on every append.
class MessageLogListener {
  public:
    virtual ~MessageLogListener() = default;
    // The whole text was replaced or cleared; read it again from the log.
    virtual void LogReset() = 0;
    // `text` in `colour` was added at the end.
    virtual void LogAppended(std::string_view text, Rgb colour) = 0;
};

// The main message log: coloured text that commands replace, append to and clear. Appending
// costs amortised O(1) however long the log has grown; only Text() walks the whole log.
class MessageLog {
  public:
    // Replace the whole text (status lines); it is written in the default colour, which also
    // becomes the insertion colour again.
    void SetText(std::string_view text);
    // Add one line at the end, in the insertion colour: the line and a line break when the text
    // is empty or ends with one; else a line break and the line.
    void AppendLine(std::string_view line);
    // Add a piece to the end of the text as it stands (pieces usually begin with "\n").
    void AppendText(std::string_view piece);
    void Clear();
    // The colour of the text inserted next.
    void SetColour(Rgb colour) { colour_ = colour; }
    Rgb Colour() const { return colour_; }
    // Insert at the insertion point, which is always the end of the text.
    void Insert(std::string_view text) { Append(text); }

    // The two red lines of a result code: "Error: HH.LL", then the code's message.
    void ReportError(LinkResult code, std::string_view text = {});

    std::string Text() const;
    const std::vector<LogRun>& Runs() const { return runs_; }
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    bool EndsWithLineBreak() const { return size_ != 0 && runs_.back().text.back() == '\n'; }

    void SetListener(MessageLogListener* listener) { listener_ = listener; }

  private:
    void Append(std::string_view text);
    void Reset();

    std::vector<LogRun> runs_;
    std::size_t size_ = 0;
    Rgb colour_ = colour::LogDefault;
    MessageLogListener* listener_ = nullptr;
};

}  // namespace nuv
