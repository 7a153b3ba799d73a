#include "app/gui/QtDialogs.hpp"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "app/gui/Fonts.hpp"

namespace nuv::gui {

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

}  // namespace nuv::gui
