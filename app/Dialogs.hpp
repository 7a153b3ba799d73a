#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// What a save-file dialog offers.
struct SaveFileRequest {
    struct Filter {
        std::string name;     // "Binary Data Files (*.dat)"
        std::string pattern;  // "*.dat"
    };
    std::vector<Filter> filters;   // the first is preselected
    std::string defaultExtension;  // added to a name typed without one ("dat")
    std::string folder;            // where the dialog starts; empty: its default folder
};

// The window's dialogs, injected so that commands can be tested without a display.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A message box with an OK button; returns when the user has closed it.
    virtual void ShowMessage(std::string_view text) = 0;
    // A save-file dialog: the chosen path, or none when the user cancelled.
    virtual std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) = 0;
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
    // Without a window there is nobody to ask: the save is cancelled.
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return {}; }
};

}  // namespace nuv
