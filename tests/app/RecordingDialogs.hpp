#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Dialogs.hpp"

namespace nuv::test {

// The window's dialogs for tests: messages are kept, file dialogs answer as told.
class RecordingDialogs final : public Dialogs {
  public:
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    // Answers the next save dialog with `savePath` (none: cancelled), and keeps the request.
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override {
        saveRequests.push_back(request);
        return savePath;
    }
    std::optional<std::string> savePath;
    std::vector<SaveFileRequest> saveRequests;
    std::optional<std::string> ChooseFileToOpen(std::string_view, std::string_view,
                                                std::string_view) override {
        ++filesAsked;
        return fileToOpen;
    }
    // Answers the "Service report…" dialog with this when set, and keeps the file request;
    // unset, only the file is asked for.
    std::optional<ServiceReportRequest> AskServiceReport(const SaveFileRequest& file) override {
        if (!serviceReport) return Dialogs::AskServiceReport(file);
        saveRequests.push_back(file);
        return serviceReport;
    }
    std::optional<ServiceReportRequest> serviceReport;
    std::vector<std::string> messages;
    // The file the user picks in the open dialog; none: the user cancels.
    std::optional<std::string> fileToOpen;
    int filesAsked = 0;
};

}  // namespace nuv::test
