#include "app/gui/QtDialogs.hpp"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "app/gui/Fonts.hpp"
#include "app/gui/ServiceReportDialog.hpp"

namespace nuv::gui {

std::optional<std::string> QtDialogs::ChooseSaveFile(const SaveFileRequest& request) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const SaveFileRequest::Filter& filter : request.filters) {
        filters << ToQString(filter.name);
    }
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(ToQString(request.defaultExtension));
    if (!request.folder.empty()) dialog.setDirectory(ToQString(request.folder));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void QtDialogs::ShowMessage(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), ToQString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

std::optional<std::string> QtDialogs::ChooseFileToOpen(std::string_view title,
                                                       std::string_view filter,
                                                       std::string_view folder) {
    const QString path = QFileDialog::getOpenFileName(parent_, ToQString(title), ToQString(folder),
                                                      ToQString(filter));
    if (path.isEmpty()) return std::nullopt;
    return ToStdString(path);
}

std::optional<ServiceReportRequest> QtDialogs::AskServiceReport(const SaveFileRequest& file) {
    ServiceReportDialog dialog(
        file, [this, file] { return ChooseSaveFile(file); },
        [this, file] {
            return ChooseFileToOpen("Report of the last visit",
                                    "JSON report (*.json);;All files (*)", file.folder);
        },
        parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

}  // namespace nuv::gui
