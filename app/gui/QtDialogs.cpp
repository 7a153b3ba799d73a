#include "app/gui/QtDialogs.hpp"

#include <QGuiApplication>
#include <QMessageBox>

#include "app/gui/Fonts.hpp"

namespace nuv::gui {

void QtDialogs::ShowMessage(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), ToQString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

}  // namespace nuv::gui
