#pragma once

#include <string>
#include <vector>

#include "core/MessageTable.hpp"
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
    // after them (the end marker, and what program mode sent after a verified update).
    std::vector<std::size_t> PagesOnTheWire(std::vector<std::uint8_t>* rest = nullptr) const {
        const std::vector<std::uint8_t>& written = device.Written();
        std::vector<std::size_t> pages;
        std::size_t at = 1;
        // No page is numbered FF FF: that is the end marker.
        while (at + 259 <= written.size() && !(written[at] == 0xFF && written[at + 1] == 0xFF)) {
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
    // The lines after a failure that followed the reset: before a page went out, and after.
    static constexpr const char* kMayWaitInBootLoader =
        "The module was reset and may wait in its boot loader; its firmware is unchanged. Repeat "
        "the update, or power the module off and on.\n";
    static constexpr const char* kWaitsInBootLoader =
        "The module waits in its boot loader and its firmware is incomplete: repeat the update, "
        "or power the module off and on.\n";
    // The line after the carried build was written and read back.
    static constexpr const char* kCarriedBuildRuns =
        "The module runs firmware 00.48, the build written.\n";
    // The log of an update that went out whole and was verified, up to the lines that follow.
    std::string VerifiedLog() const { return Description() + "\nWriting Firmware... OK\n\n"; }
    bool LogStartsWith(const std::string& head) const {
        return tool.log.Text().compare(0, head.size(), head) == 0;
    }
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
