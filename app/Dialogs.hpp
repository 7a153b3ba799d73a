#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nuv {

// The window's dialogs, injected so that commands can be tested without a display.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A message box with an OK button; returns when the user has closed it.
    virtual void ShowMessage(std::string_view text) = 0;
    // A file chosen to be read, starting in `folder`; nothing when the user cancelled. `filter`
    // lists the offered kinds as "Name (*.a *.b);;All files (*)". Without a file dialog there
    // is nothing to choose.
    virtual std::optional<std::string> ChooseFileToOpen(std::string_view /*title*/,
                                                        std::string_view /*filter*/,
                                                        std::string_view /*folder*/) {
        return std::nullopt;
    }
};

// Dialogs of a program without a window: messages go to standard error.
class ConsoleDialogs final : public Dialogs {
  public:
    void ShowMessage(std::string_view text) override;
};

}  // namespace nuv
