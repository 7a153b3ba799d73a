#pragma once

#include <QPalette>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Control.hpp"

namespace nuv {
class Tool;
}

namespace nuv::gui {

// What the views of one tool share: the tool, and how a user action reaches the model. An
// action (a click, a typed text, a tick) changes the model and runs its handler; afterwards every
// window is brought up to the model.
class ViewContext {
  public:
    explicit ViewContext(Tool& tool_) : tool(tool_) {}
    ViewContext(const ViewContext&) = delete;
    ViewContext& operator=(const ViewContext&) = delete;

    void Act(const std::function<void()>& action);

    Tool& tool;
    std::function<void()> syncAll;
};

// The widget of one control. The control is the truth: Sync() copies whatever changed since the
// last sync into the widget; user input goes to the control and its handler through the context.
class ControlView {
  public:
    ControlView(ViewContext& context, Control& control, QWidget* widget);
    virtual ~ControlView() = default;
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;

    Control& Model() const { return control_; }
    QWidget* Widget() const { return widget_; }
    // Copies the control into the widget when it changed since the last sync, or when forced.
    void Sync(bool force = false);

  protected:
    // Copies every property; the kinds add theirs to the common ones.
    virtual void Apply();
    // Whether a choice that runs `handler` is acted on now: not while another command waits on
    // the module, unless the control may run then. A choice that is not acted on is undone in
    // the widget, so that it keeps showing the model.
    bool Accepts(const std::function<void()>& handler);

    ViewContext& context_;
    Control& control_;
    // The palette roles of the background and the text colour.
    QPalette::ColorRole backgroundRole_ = QPalette::Window;
    QPalette::ColorRole textRole_ = QPalette::WindowText;
    // Whether a background colour fills the widget (plain widgets draw none of their own).
    bool fillsBackground_ = true;

  private:
    QPointer<QWidget> widget_;
    std::size_t seen_ = 0;
    bool synced_ = false;
};

// The widget of a control of any kind but a grid, created under `parent` and not yet placed.
std::unique_ptr<ControlView> MakeControlView(ViewContext& context, Control& control,
                                             QWidget* parent);

}  // namespace nuv::gui
