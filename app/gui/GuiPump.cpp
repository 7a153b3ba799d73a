#include "app/gui/GuiPump.hpp"

#include <QCoreApplication>

namespace nuv::gui {

void GuiPump::ProcessEvents() {
    ++passes_;
    if (hook_) hook_();
    QCoreApplication::processEvents();
}

}  // namespace nuv::gui
