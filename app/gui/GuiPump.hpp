#pragma once

#include <functional>

#include "link/Clock.hpp"

namespace nuv::gui {

// The event pump of the windowed tool: on every pass of a wait it brings the windows up to the
// model (the hook) and then lets Qt handle what is pending, so the windows stay drawn and
// responsive while a command waits on the module. The tool is built before its windows, so the
// hook is set once they exist.
class GuiPump final : public EventPump {
  public:
    void SetHook(std::function<void()> hook) { hook_ = std::move(hook); }
    void ProcessEvents() override;
    std::size_t Passes() const { return passes_; }

  private:
    std::function<void()> hook_;
    std::size_t passes_ = 0;
};

}  // namespace nuv::gui
