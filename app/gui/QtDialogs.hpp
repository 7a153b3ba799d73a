#pragma once

#include <QPointer>
#include <QWidget>

#include "model/Dialogs.hpp"

namespace nuv::gui {

// The tool's dialogs as Qt message boxes over the main window.
class QtDialogs final : public Dialogs {
  public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(std::string_view text) override;
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
    std::optional<std::string> ChooseFileToOpen(std::string_view title, std::string_view filter,
                                                std::string_view folder) override;
    // The "Service report…" dialog of ServiceReportDialog.
    std::optional<ServiceReportRequest> AskServiceReport(const SaveFileRequest& file) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace nuv::gui
