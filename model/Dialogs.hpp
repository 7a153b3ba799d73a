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

// What the "Service report…" dialog asks: the report's file (its name's ending chooses text,
// JSON or PDF), the technician's remarks, and the report of the last visit to compare with.
struct ServiceReportRequest {
    std::string path;
    std::string remarks;
    std::string previous;  // empty: no comparison
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
    // The "Service report…" dialog, which offers `file` for the report; none when the user
    // cancelled. Without a dialog of its own only the file is asked for.
    virtual std::optional<ServiceReportRequest> AskServiceReport(const SaveFileRequest& file) {
        auto path = ChooseSaveFile(file);
        if (!path) return std::nullopt;
        return ServiceReportRequest{*path, "", ""};
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
