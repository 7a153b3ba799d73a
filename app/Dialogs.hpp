#pragma once

#include <string>
#include <string_view>

namespace nuv {

// The window's dialogs, injected so that commands can be tested without a display.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A message box with an OK button; returns when the user has closed it.
    virtual void ShowMessage(std::string_view text) = 0;
};

// Dialogs of a program without a window: messages go to standard error.
class ConsoleDialogs final : public Dialogs {
  public:
    void ShowMessage(std::string_view text) override;
};

}  // namespace nuv
