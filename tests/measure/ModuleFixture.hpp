#pragma once

#include "model/TimerDriver.hpp"
#include "sim/ModuleSimulator.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {

// The tool with the simulated module on its cable, started; the window's timers tick on the
// virtual clock.
class ModuleTest : public ToolTest {
  protected:
    ModuleTest() {
        device.AttachPeer(moduleOwner);
        clock.SetTimeOfDay(12, 0, 0);
        Start();
        tool.log.Clear();
    }

    // Lets the virtual time run for `ms`, firing the timers as they fall due.
    void RunFor(std::int64_t ms) {
        const std::int64_t end = clock.NowNs() + ms * kMs;
        while (true) {
            const auto next = timers.NextDueNs();
            if (!next || *next > end) break;
            if (*next > clock.NowNs()) clock.AdvanceNs(*next - clock.NowNs());
            timers.Poll();
        }
        if (clock.NowNs() < end) clock.AdvanceNs(end - clock.NowNs());
    }
    std::vector<std::string> LoggerLines() const {
        std::vector<std::string> lines;
        const std::string text = tool.logger.Text();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        if (start < text.size()) lines.push_back(text.substr(start));
        return lines;
    }

    static constexpr std::int64_t kMs = 1'000'000;
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    TimerDriver timers{clock, {&panel.Timer1, &panel.Timer3}, [this](Timer& t) { tool.Tick(t); }};
};

}  // namespace nuv::test
