#include "tools/FirmwareCommand.hpp"

#include <ostream>

#include "app/Tool.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareFile.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli {
namespace {

constexpr int kBarWidth = 40;

// Stage lines, and the progress bar on a terminal.
class Printer final : public FirmwareUpdateObserver {
  public:
    Printer(Environment& environment) : env_(environment) {}

    void OnStage(FirmwareStage stage) override {
        EndBar();
        switch (stage) {
            case FirmwareStage::Connecting:
                Line("connecting at 115200 baud");
                break;
            case FirmwareStage::Resetting:
                Line("resetting the module by DTR and waiting for its boot loader");
                break;
            case FirmwareStage::Identifying:
                Line("boot loader prompted; checking its identification");
                break;
            case FirmwareStage::Writing:
                Line("writing the pages");
                break;
            case FirmwareStage::Verifying:
                Line("waiting for the boot loader's verdict");
                break;
        }
    }

    void OnPage(std::size_t page, std::size_t pages, int percent) override {
        if (!env_.outIsTerminal) return;
        const int filled = percent * kBarWidth / 100;
        env_.out << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                 << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] "
                 << percent << " %  page " << page + 1 << " of " << pages << std::flush;
        barShown_ = true;
    }

    bool AbortRequested() override { return env_.interrupted(); }

    void EndBar() {
        if (!barShown_) return;
        env_.out << '\n';
        barShown_ = false;
    }
    void Line(const std::string& text) { env_.out << text << '\n' << std::flush; }

  private:
    Environment& env_;
    bool barShown_ = false;
};

}  // namespace

int FirmwareCommand(Tool& tool, const std::vector<std::string>& args, Environment& environment,
                    bool verbose) {
    const detail::CommandOptions opts("firmware", args, {}, {"--image"});
    const std::string imagePath = opts.Has("--image") ? opts.Value("--image") : "";

    FirmwareImage image;
    if (imagePath.empty()) {
        image = CarriedFirmwareImage();
    } else {
        FirmwareFileResult loaded = LoadFirmwareFile(imagePath);
        if (!loaded.image) {
            environment.err << "nuvctl: firmware file " << imagePath << " " << loaded.error
                            << "; nothing has been sent to the module\n";
            return kExitFailure;
        }
        image = std::move(*loaded.image);
    }

    Printer printer(environment);
    printer.Line(DescribeImage(image));
    const FirmwareUpdateReport report = UpdateFirmware(tool, image, &printer);
    printer.EndBar();
    if (verbose) environment.err << tool.log.Text() << '\n';
    if (report.outcome == FirmwareOutcome::Verified) {
        printer.Line("written and verified by the boot loader");
        return kExitDone;
    }
    environment.err << "nuvctl: the firmware update failed";
    if (report.outcome == FirmwareOutcome::Incomplete) {
        environment.err << ": the boot loader verified, but pages were not written";
    }
    environment.err << "\n" << tool.log.Text();
    if (!tool.log.EndsWithLineBreak()) environment.err << '\n';
    return kExitFailure;
}

}  // namespace nuv::cli
