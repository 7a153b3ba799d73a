#include "tools/FirmwareCommand.hpp"

#include <ostream>

#include "core/MessageTable.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareFile.hpp"
#include "firmware/FirmwareUpdate.hpp"
#include "model/Tool.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli {
namespace {

constexpr int kBarWidth = 40;

// Stage lines, and the progress bar on a terminal.
class Printer final : public FirmwareUpdateObserver {
  public:
    Printer(Environment& environment) : env_(environment) {}

    void OnStage(FirmwareStage stage) override {
        // On a terminal the bar stays for the verdict: 98 % while it is awaited, 100 % with 'V'.
        if (stage == FirmwareStage::Verifying && barShown_) return;
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
            case FirmwareStage::CheckingBuild:
                Line("written and verified by the boot loader");
                Line("waiting for the module to start, then reading its firmware in program mode");
                break;
        }
    }

    void OnPage(std::size_t page, std::size_t pages, int percent) override {
        Bar(percent, page + 1, pages);
        // Once the pages go out the update is finished: a module stopped half-way would have no
        // firmware. Said once, so that the wait is not taken for a hang.
        if (env_.interrupted() && !stopSaid_) {
            EndBar();
            env_.err << "nuvctl: stopping once the update is finished: a module left half-written "
                        "would run no firmware\n";
            stopSaid_ = true;
        }
    }
    void OnVerified(std::size_t pages) override { Bar(100, pages, pages); }

    bool AbortRequested() override { return env_.interrupted(); }

    void EndBar() {
        if (!barShown_) return;
        env_.out << '\n';
        barShown_ = false;
    }
    void Line(const std::string& text) { env_.out << text << '\n' << std::flush; }

  private:
    void Bar(int percent, std::size_t page, std::size_t pages) {
        if (!env_.outIsTerminal) return;
        const int filled = percent * kBarWidth / 100;
        env_.out << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                 << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] "
                 << percent << " %  page " << page << " of " << pages << std::flush;
        barShown_ = true;
    }

    Environment& env_;
    bool barShown_ = false;
    bool stopSaid_ = false;
};

// What went wrong and what to do, in plain words: the window's log keeps its own texts, which
// name the driver's functions and pad their lines.
struct Explanation {
    std::string cause;
    std::vector<std::string> details;  // lines after the cause
    std::string remedy;                // what to do, a sentence or two
};

// A connect that failed: the module was not reached. The cause ends with the result code, as
// nuvctl's other failures do.
Explanation ExplainConnect(const Tool& tool, LinkResult code) {
    const std::string untouched = " Nothing was sent to the module.";
    Explanation e;
    switch (code) {
        case result::PortOpenFailed:
            e = {tool.link.OpenFailure().empty() ? "the port could not be opened"
                                                 : tool.link.OpenFailure(),
                 {},
                 "Check the port, its permissions and that no other program holds it." + untouched};
            break;
        case result::OpenFailed:
            e = {"the module's USB device could not be opened",
                 {},
                 "Plug the USB cable in again and repeat the update." + untouched};
            break;
        case result::LastDeviceBusy:
            e = {"the module's USB device is held by another program",
                 {},
                 "Close the other program and repeat the update." + untouched};
            break;
        case result::CountListFailed:
        case result::SerialListFailed:
            e = {"the USB devices could not be listed",
                 {},
                 "Plug the USB cable in again and repeat the update." + untouched};
            break;
        case result::NoDevice:
            e = {"no USB-serial device is attached",
                 {},
                 "Check the USB cable (or --port)." + untouched};
            break;
        case result::NoModuleDevice:
            e = {"no device described \"ORNEVA NUV\" or \"ORNEVA Terminal\" is attached",
                 {},
                 "Check the USB cable (or --port)." + untouched};
            break;
        case result::BaudRateFailed:
        case result::DataCharacteristicsFailed:
        case result::FlowControlFailed:
            e = {"the port could not be set up for the boot loader",
                 {},
                 "Plug the USB cable in again and repeat the update." + untouched};
            break;
        default:
            e = {"the port could not be opened",
                 {},
                 "Check the USB cable and the port." + untouched};
            break;
    }
    e.cause += " (result " + std::to_string(code) + ")";
    return e;
}

// A read from the boot loader that failed, as the end of a sentence.
std::string ReadFailure(LinkResult code) {
    switch (code) {
        case result::ReadFailed:
            return "reading from the port failed";
        case result::StatusFailed:
            return "the port's receive status could not be read";
        default:
            return "nothing came (result " + std::to_string(code) + ")";
    }
}

std::string PageTroubleText(const FirmwareUpdateReport& report, PageTrouble::Kind kind) {
    std::vector<std::size_t> pages;
    std::uint8_t firstByte = 0;
    for (const PageTrouble& trouble : report.pageTroubles) {
        if (trouble.kind != kind) continue;
        if (pages.empty()) firstByte = trouble.byte;
        pages.push_back(trouble.page);
    }
    if (pages.empty()) return {};
    const bool one = pages.size() == 1;
    const std::string which = (one ? "page " : "pages ") + PageRanges(pages);
    switch (kind) {
        case PageTrouble::Kind::NoRequest:
            return "the boot loader did not ask for " + which + " within 500 ms";
        case PageTrouble::Kind::NumberNotSent:
            return "the number of " + which + " could not be written to the port";
        case PageTrouble::Kind::BytesNotSent:
            return "the bytes of " + which + " could not be written to the port";
        case PageTrouble::Kind::FlashError:
            return "the boot loader could not write flash " + which + " ('@')";
        case PageTrouble::Kind::UnexpectedByte:
            return one ? "the boot loader sent 0x" + HexByte(firstByte) +
                             " instead of asking for " + which
                       : "the boot loader sent other bytes (first 0x" + HexByte(firstByte) +
                             ") instead of asking for " + which;
    }
    return {};
}

Explanation Explain(const Tool& tool, const FirmwareUpdateReport& report) {
    using Kind = PageTrouble::Kind;
    const std::string usbAgain = "Check the USB cable and repeat the update.";
    const std::string rs485 = "Disconnect the RS485 interface and repeat the update.";
    Explanation e;
    // A transfer that ended early: its page names the cause, not the missing end that follows.
    std::optional<Kind> ending;
    if (!report.pageTroubles.empty()) {
        const Kind last = report.pageTroubles.back().kind;
        if (last == Kind::NoRequest || last == Kind::NumberNotSent) ending = last;
    }
    switch (report.failure) {
        case FirmwareFailure::None:
            e.cause = "the update ended without a verdict";
            break;
        case FirmwareFailure::Connect:
            return ExplainConnect(tool, report.code);
        case FirmwareFailure::Prompt:
            if (report.code == result::FirstByteTimeout) {
                e.cause = "the module's boot loader did not prompt within 5 s of the reset";
                e.remedy =
                    "Disconnect the RS485 interface, press SW1 on the module and repeat the "
                    "update.";
            } else {
                e.cause = ReadFailure(report.code) + " while waiting for the boot loader";
                e.remedy = usbAgain;
            }
            break;
        case FirmwareFailure::Aborted:
            e.cause =
                "interrupted while waiting for the boot loader's prompt; no firmware was sent";
            break;
        case FirmwareFailure::StartByte:
            e.cause = "the start byte could not be written to the port";
            e.remedy = usbAgain;
            break;
        case FirmwareFailure::Identification:
            if (report.code == result::FirstByteTimeout || report.code == result::ReplyTimeout) {
                e.cause = "the boot loader's identification stopped short: " +
                          std::to_string(report.identificationBytes) +
                          " of 8 bytes came within 500 ms";
                e.remedy = rs485;
            } else {
                e.cause = ReadFailure(report.code) + " while the boot loader identified itself";
                e.remedy = usbAgain;
            }
            break;
        case FirmwareFailure::OtherDevice:
            e.cause =
                "the device that answered is not the boot loader of a 10-channel NUV module "
                "(its identification differs); no page was sent";
            e.remedy = rs485;
            break;
        case FirmwareFailure::FinalRequest:
            e.cause = ending ? PageTroubleText(report, *ending)
                             : "the boot loader did not ask for the end marker within 500 ms";
            break;
        case FirmwareFailure::FinalByte:
            e.cause = "the boot loader sent 0x" + HexByte(report.byte) +
                      " instead of asking for the end marker";
            break;
        case FirmwareFailure::Verdict:
            e.cause = "the boot loader gave no verdict within 500 ms of the end marker";
            break;
        case FirmwareFailure::VerifyFailed:
            e.cause = "the boot loader's check of the written flash failed ('#')";
            break;
        case FirmwareFailure::OtherVerdict:
            e.cause = "the boot loader sent 0x" + HexByte(report.byte) + " instead of its verdict";
            break;
        case FirmwareFailure::PagesMissing:
            e.cause = "the boot loader verified, but pages were not written";
            e.remedy = "Repeat the update.";
            break;
        case FirmwareFailure::BuildErased:
            e.cause = "after the update the module reports firmware FF.FF: " +
                      std::string(report.expectedBuild ? "no firmware runs"
                                                       : "the image written is no firmware it "
                                                         "can run");
            e.remedy = report.expectedBuild ? "Repeat the update."
                                            : "Write the carried build: nuvctl firmware";
            break;
        case FirmwareFailure::OtherBuild:
            e.cause = "after the update the module reports firmware " +
                      FirmwareVersionText(report.build.version) + ", not the build written (" +
                      FirmwareVersionText(report.expectedBuild.value_or(0)) + ")";
            e.remedy = "The update did not take: repeat it.";
            break;
    }
    for (const Kind kind : {Kind::NoRequest, Kind::NumberNotSent, Kind::BytesNotSent,
                            Kind::FlashError, Kind::UnexpectedByte}) {
        if (report.failure == FirmwareFailure::FinalRequest && ending == kind) continue;
        if (std::string text = PageTroubleText(report, kind); !text.empty()) {
            e.details.push_back(std::move(text));
        }
    }
    if (!report.pagesNotWritten.empty()) {
        e.details.push_back("pages not written: " + PageRanges(report.pagesNotWritten));
    }
    // Where the module is now, after the reset.
    const std::string state = BootLoaderStateText(report);
    if (!state.empty()) e.remedy += (e.remedy.empty() ? "" : "\n") + state;
    return e;
}

// The module's build after a verified update: a line on standard output, or a warning.
void PrintBuild(const FirmwareUpdateReport& report, Printer& printer, std::ostream& err) {
    const ModuleBuild& build = report.build;
    switch (build.state) {
        case BuildReadBack::Named:
            printer.Line("the module runs firmware " + FirmwareVersionText(build.version) +
                         (report.expectedBuild ? ", the build written" : ""));
            break;
        case BuildReadBack::NoAnswer:
            err << "nuvctl: warning: the module did not answer in program mode after the update, "
                   "so its firmware could not be read: check that the RS485 interface is "
                   "disconnected and the USB cable is plugged in, then run: nuvctl info\n";
            break;
        case BuildReadBack::Unnamed:
            err << "nuvctl: warning: the module entered program mode after the update but did "
                   "not name its firmware; run: nuvctl info\n";
            break;
        case BuildReadBack::Stopped:
            err << "nuvctl: interrupted after the verified update: the module's firmware was not "
                   "read back; run: nuvctl info\n";
            break;
        case BuildReadBack::NotTried:
            break;
    }
    if (!build.left) {
        err << "nuvctl: warning: the module may still be in program mode: run 'nuvctl normal' "
               "once it answers, or power it off and on\n";
    }
}

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
    if (report.baudNotSet) {
        environment.err << "nuvctl: warning: the port's rate could not be set to 115200 baud; "
                           "the update went on\n";
    }
    if (report.outcome == FirmwareOutcome::Verified) {
        PrintBuild(report, printer, environment.err);
        return kExitDone;
    }
    const Explanation e = Explain(tool, report);
    environment.err << "nuvctl: the firmware update failed: " << e.cause << '\n';
    for (const std::string& line : e.details) environment.err << line << '\n';
    if (!e.remedy.empty()) environment.err << e.remedy << '\n';
    return kExitFailure;
}

}  // namespace nuv::cli
