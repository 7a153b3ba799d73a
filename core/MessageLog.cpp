#include "core/MessageLog.hpp"

#include "core/MessageTable.hpp"

namespace nuv {

void MessageLog::Reset() {
    runs_.clear();
    size_ = 0;
    colour_ = colour::LogDefault;
}

void MessageLog::SetText(std::string_view text) {
    Reset();
    if (!text.empty()) {
        runs_.push_back(LogRun{std::string(text), colour_});
        size_ = text.size();
    }
    if (listener_ != nullptr) listener_->LogReset();
}

void MessageLog::Clear() {
    Reset();
    if (listener_ != nullptr) listener_->LogReset();
}

void MessageLog::Append(std::string_view text) {
    if (text.empty()) return;
    if (!runs_.empty() && runs_.back().colour == colour_) {
        runs_.back().text.append(text);
    } else {
        runs_.push_back(LogRun{std::string(text), colour_});
    }
    size_ += text.size();
    if (listener_ != nullptr) listener_->LogAppended(text, colour_);
}

void MessageLog::AppendLine(std::string_view line) {
    // As a line list sees the text: after a line break the new line follows with its own line
    // break; after an unfinished line it starts a line of its own and stays unfinished.
    std::string piece;
    piece.reserve(line.size() + 1);
    if (Empty() || EndsWithLineBreak()) {
        piece.append(line);
        piece.push_back('\n');
    } else {
        piece.push_back('\n');
        piece.append(line);
    }
    Append(piece);
}

void MessageLog::AppendText(std::string_view piece) {
    Append(piece);
}

void MessageLog::ReportError(LinkResult code, std::string_view text) {
    // Every caller passes an empty text: the message comes from the table. A given text is
    // printed instead, so that the parameter means something.
    SetColour(colour::ErrorRed);
    AppendLine(ErrorCodeLine(code));
    const std::string message = text.empty() ? MessageTable(code) : std::string(text);
    AppendLine(message);
}

std::string MessageLog::Text() const {
    std::string text;
    text.reserve(size_);
    for (const LogRun& run : runs_) text += run.text;
    return text;
}

}  // namespace nuv
