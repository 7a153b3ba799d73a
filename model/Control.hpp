#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Rgb.hpp"

namespace nuv {

enum class ControlKind {
    Button,
    CheckBox,
    Label,
    Edit,
    Memo,
    ComboBox,
    ListBox,
    Panel,
    GroupBox,
    Grid,
    ProgressBar,
};

// One control of a window as the commands see it: its window name and the properties that
// commands read and write. The window draws it and feeds user input back; every change bumps
// the revision so that the window knows what to redraw.
class Control {
  public:
    Control(std::string name, ControlKind kind, std::string caption = {})
        : name_(std::move(name)), kind_(kind), caption_(std::move(caption)) {}
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }

    // Caption of buttons, labels, boxes and groups; the text of edits, memos and combo boxes.
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { Set(caption_, std::move(caption)); }
    const std::string& Text() const { return caption_; }
    void SetText(std::string text) { Set(caption_, std::move(text)); }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { Set(enabled_, enabled); }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { Set(visible_, visible); }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked) { Set(checked_, checked); }

    // Background colour; none: the window's face colour.
    const std::optional<Rgb>& Colour() const { return colour_; }
    void SetColour(std::optional<Rgb> colour) { Set(colour_, colour); }
    const std::optional<Rgb>& TextColour() const { return textColour_; }
    void SetTextColour(std::optional<Rgb> colour) { Set(textColour_, colour); }
    bool Bold() const { return bold_; }
    void SetBold(bool bold) { Set(bold_, bold); }
    const std::string& Hint() const { return hint_; }
    void SetHint(std::string hint) { Set(hint_, std::move(hint)); }

    // Items of lists and combo boxes, with the selected index (-1: none).
    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(std::vector<std::string> items) {
        Set(items_, std::move(items));
        if (index_ >= static_cast<int>(items_.size())) SetIndex(-1);
    }
    void AddItem(std::string item) {
        items_.push_back(std::move(item));
        ++revision_;
    }
    int Index() const { return index_; }
    // Selecting an item of a combo box also shows it as the box's text.
    void SetIndex(int index);

    // Position of a progress bar, 0..100.
    int Position() const { return position_; }
    void SetPosition(int position) { Set(position_, position); }

    // The handlers behind the control, wired by the tool. Empty: the control has no action.
    std::function<void()> onClick;
    std::function<void()> onChange;
    std::function<void()> onDoubleClick;
    // Whether its handler may run while another command waits on the module (it does not use
    // the link, as "Stop" or clearing a text); other clicks in that time are not acted on.
    bool runsDuringCommand = false;
    // Whether a click in that time is kept and acted on once the command has ended (a command
    // that must not be lost, such as ending a procedure), rather than dropped.
    bool deferredDuringCommand = false;

    std::size_t Revision() const { return revision_; }

  protected:
    void Touch() { ++revision_; }

  private:
    template <typename T, typename U>
    void Set(T& field, U&& value) {
        if (field == value) return;
        field = std::forward<U>(value);
        ++revision_;
    }

    std::string name_;
    ControlKind kind_;
    std::string caption_;
    bool enabled_ = true;
    bool visible_ = true;
    bool checked_ = false;
    std::optional<Rgb> colour_;
    std::optional<Rgb> textColour_;
    bool bold_ = false;
    std::string hint_;
    std::vector<std::string> items_;
    int index_ = -1;
    int position_ = 0;
    std::size_t revision_ = 0;
};

inline void Control::SetIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    Set(index_, index);
    if (kind_ == ControlKind::ComboBox && index_ >= 0)
        SetText(items_[static_cast<std::size_t>(index_)]);
}

// A window timer: its interval and whether it runs. The window (or a test on the virtual clock)
// makes it tick.
class Timer {
  public:
    Timer(std::string name, unsigned intervalMs) : name_(std::move(name)), interval_(intervalMs) {}
    const std::string& Name() const { return name_; }
    unsigned Interval() const { return interval_; }
    // A new interval or switching the timer on starts its count anew, from that moment.
    void SetInterval(unsigned intervalMs) {
        if (interval_ == intervalMs) return;
        interval_ = intervalMs;
        Changed();
    }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) {
        if (enabled_ == enabled) return;
        enabled_ = enabled;
        Changed();
    }
    // Whether it ticks: enabled with an interval above 0 (a 0 ms timer never fires).
    bool Running() const { return enabled_ && interval_ > 0; }
    std::size_t Revision() const { return revision_; }
    std::function<void()> onTimer;
    // Told of every change, by whatever makes the timer tick.
    std::function<void()> onChanged;

  private:
    void Changed() {
        ++revision_;
        if (onChanged) onChanged();
    }

  public:
  private:
    std::string name_;
    unsigned interval_;
    bool enabled_ = false;
    std::size_t revision_ = 0;
};

}  // namespace nuv
