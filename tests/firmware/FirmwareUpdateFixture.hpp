#pragma once

#include <string>
#include <vector>

#include "app/MessageTable.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "firmware/Sha256.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {

// Every piece of text the log was given, even what a later status text replaced.
class LogRecorder final : public MessageLogListener {
  public:
    explicit LogRecorder(const MessageLog& log) : log_(log) {}
    void LogReset() override { all.append("|" + log_.Text()); }
    void LogAppended(std::string_view text, Rgb) override { all.append(text); }
    std::string all;

  private:
    const MessageLog& log_;
};

// The tool with the simulated module, whose boot loader takes the update, on a virtual clock.
// Every pass of a wait records the progress bar and whether the window took input.
class FirmwareUpdateTest : public ModuleTest {
  protected:
    FirmwareUpdateTest() {
        module.firmwareBuild = 0x47;  // an older build than the carried one
        tool.log.SetListener(&recorder);
        pump.onEvents = [this] {
            if (progress.empty() || progress.back() != panel.ProgressBar1.Position()) {
                progress.push_back(panel.ProgressBar1.Position());
            }
            if (panel.windowEnabled) enabledDuringUpdate = true;
            if (duringUpdate) duringUpdate();
        };
    }

    // The page numbers of the frames on the wire after the start byte, and the bytes left
    // after them (the end marker).
    std::vector<std::size_t> PagesOnTheWire(std::vector<std::uint8_t>* rest = nullptr) const {
        const std::vector<std::uint8_t>& written = device.Written();
        std::vector<std::size_t> pages;
        std::size_t at = 1;
        while (at + 259 <= written.size()) {
            pages.push_back(static_cast<std::size_t>(written[at] << 8U | written[at + 1]));
            at += 259;
        }
        if (rest != nullptr)
            rest->assign(written.begin() + static_cast<std::ptrdiff_t>(at), written.end());
        return pages;
    }
    static std::vector<std::size_t> Range(std::size_t from, std::size_t to) {
        std::vector<std::size_t> pages;
        for (std::size_t p = from; p <= to; ++p) pages.push_back(p);
        return pages;
    }
    std::string Description() const { return DescribeImage(CarriedFirmwareImage()); }
    static std::string Report(LinkResult code) {
        return ErrorCodeLine(code) + "\n" + MessageTable(code);
    }

    sim::BootLoaderSimulator& loader = module.bootLoader;
    LogRecorder recorder{tool.log};
    std::vector<int> progress;
    bool enabledDuringUpdate = false;
    std::function<void()> duringUpdate;
};

}  // namespace nuv::test
