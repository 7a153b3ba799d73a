#pragma once

#include <QCoreApplication>

#include "link/Clock.hpp"

namespace nuv {

// Lets the Qt event loop handle what is pending, so the window stays responsive during a wait.
class QtEventPump final : public EventPump {
  public:
    void ProcessEvents() override { QCoreApplication::processEvents(); }
};

}  // namespace nuv
