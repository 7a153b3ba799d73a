#include "model/Tool.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace nuv {

void ConsoleDialogs::ShowMessage(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void Tool::Run(const std::function<void()>& handler, bool duringCommand) {
    if (!handler) return;
    if (running_ && !duringCommand) return;
    const bool outermost = !running_;
    running_ = true;
    try {
        handler();
    } catch (const std::exception& error) {
        dialogs.ShowMessage(error.what());
    }
    if (!outermost) return;
    running_ = false;
    // Clicks kept meanwhile now run, in the order they came.
    while (!deferred_.empty()) {
        Control* control = deferred_.front();
        deferred_.erase(deferred_.begin());
        Run(control->onClick, control->runsDuringCommand);
    }
}

std::int64_t Tool::TrendNowMs() {
    const std::int64_t nowNs = clock.NowNs();
    if (!trendAnchor_) trendAnchor_ = std::pair{clock.WallSeconds() * 1000, nowNs};
    return trendAnchor_->first + (nowNs - trendAnchor_->second) / 1'000'000;
}

void Tool::Click(Control& control) {
    if (running_ && !control.runsDuringCommand && control.deferredDuringCommand &&
        control.onClick) {
        if (std::find(deferred_.begin(), deferred_.end(), &control) == deferred_.end()) {
            deferred_.push_back(&control);
        }
        return;
    }
    Run(control.onClick, control.runsDuringCommand);
}

void Tool::DoubleClick(Control& control) {
    Run(control.onDoubleClick, control.runsDuringCommand);
}

}  // namespace nuv
