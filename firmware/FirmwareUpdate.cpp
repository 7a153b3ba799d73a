#include "firmware/FirmwareUpdate.hpp"

#include <stdexcept>

#include <algorithm>
#include <array>

#include "config/LineControl.hpp"
#include "core/MessageTable.hpp"
#include "firmware/BootLoaderInput.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "model/Tool.hpp"
#include "protocol/BootLoaderProtocol.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "protocol/ModbusTransaction.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kErasedBuild = 0xFFFF;

class Update {
  public:
    Update(Tool& tool, const FirmwareImage& image, FirmwareUpdateObserver* observer)
        : tool_(tool),
          panel_(tool.panel),
          link_(tool.link),
          log_(tool.log),
          observer_(observer),
          input_(tool.link),
          buffer_(image.bytes),
          description_(DescribeImage(image)) {
        // The carried build names itself: the module must name it back. A file's image may hold
        // any build.
        if (image.bytes == CarriedFirmwareImage().bytes) {
            report_.expectedBuild = CurrentFirmwareVersion;
        }
    }

    FirmwareUpdateReport Run();

  private:
    // Steps 1 to 10 of the update, to the boot loader's verdict.
    void Transfer();
    // The wait for '>': 0 when it came, else the code that ended the wait.
    LinkResult WaitForPrompt(bool& aborted);
    bool Identify();
    void WritePages();
    void FinalExchange();
    // The log line of the pages that did not go out whole, when any.
    void NoteMissingPages();
    // After 'V': the module's build, read in program mode, and what it means.
    void CheckBuild();
    // After a failure that followed the reset: where the module is, and what to do.
    void NoteBootLoader();
    // A line of its own at the end of the log.
    void AddLine(Rgb colour, const std::string& line);
    void Fail(FirmwareFailure failure, LinkResult code = result::Ok) {
        report_.failure = failure;
        report_.code = code;
    }
    void Trouble(PageTrouble::Kind kind, std::size_t page, std::uint8_t byte = 0) {
        report_.pageTroubles.push_back(PageTrouble{kind, page, byte});
    }

    void Stage(FirmwareStage stage) {
        if (observer_ != nullptr) observer_->OnStage(stage);
    }

    Tool& tool_;
    MainPanel& panel_;
    UsbLink& link_;
    MessageLog& log_;
    FirmwareUpdateObserver* observer_;
    BootLoaderInput input_;
    PageBuffer buffer_;
    std::string description_;
    BootLoaderKey key_{};
    FirmwareUpdateReport report_;
};

FirmwareUpdateReport Update::Run() {
    // Whatever happens: 9600 baud for the next command and the window enabled again. The open
    // port goes back to 9600 at once rather than idling at the boot loader's rate until the next
    // command reopens it (a pseudo-terminal's simulated module takes the switch to 115200 for
    // the reset, so it must see the port leave that rate between two updates).
    struct Restore {
        Tool& tool;
        ~Restore() {
            tool.link.SelectLinkBaud(UsbLink::kNormalBaud);
            if (tool.link.IsOpen()) tool.link.SetLinkBaud(UsbLink::kNormalBaud);
            tool.panel.windowEnabled = true;
        }
    } restore{tool_};
    Transfer();
    if (report_.outcome == FirmwareOutcome::Verified) {
        CheckBuild();
    } else if (!BootLoaderStateText(report_).empty()) {
        NoteBootLoader();
    }
    return report_;
}

void Update::Transfer() {
    // From here to the end nothing else may reach the line: the reset below enables the normal
    // commands, and a click or a tick would send Modbus frames into the boot loader.
    const UsbLink::ExchangeGuard session(link_, "the boot loader's session");
    panel_.windowEnabled = false;
    const bool cyclicRunning = panel_.Timer1.Enabled();
    const bool apcPolling = panel_.Timer3.Enabled();
    panel_.Timer1.SetEnabled(false);
    panel_.Timer3.SetEnabled(false);

    link_.SelectLinkBaud(bootloader::kBaud);
    tool_.firmware.abortFlag = kAbortFlagRunning;
    panel_.ProgressBar1.SetPosition(0);
    panel_.Edit4.SetText(std::to_string(buffer_.ImageSize()));
    panel_.Edit3.SetText(std::to_string(buffer_.Pages()));

    Stage(FirmwareStage::Connecting);
    LinkResult code = link_.ConnectModule();  // opens at 115200
    if (code != result::Ok) {
        log_.ReportError(code);  // besides the connect's own report
        Fail(FirmwareFailure::Connect, code);
        // Nothing reached the module: what ran before the update goes on, and the log keeps
        // what it showed.
        panel_.Timer1.SetEnabled(cyclicRunning);
        panel_.Timer3.SetEnabled(apcPolling);
        return;
    }
    log_.SetText(description_);
    if (link_.SetLinkBaud(link_.LinkBaud()) != result::Ok) {
        log_.ReportError(result::ChangeBaudFailed);
        report_.baudNotSet = true;
    }

    Stage(FirmwareStage::Resetting);
    log_.SetText(description_ + "\nWaiting for ORNEVA NUV device reset...");
    // Input that waits from before must not pass for the prompt.
    link_.DiscardInput();
    Button20Click(tool_);
    report_.reset = true;

    bool aborted = false;
    code = WaitForPrompt(aborted);
    if (aborted) {
        log_.SetText("Firmware update aborted: the module was reset, but no firmware was sent");
        Fail(FirmwareFailure::Aborted);
        return;
    }
    if (code != result::Ok) {
        log_.SetText("Not complete input data");
        log_.ReportError(code);
        Fail(FirmwareFailure::Prompt, code);
        return;
    }
    log_.AppendText(" OK\n");

    Stage(FirmwareStage::Identifying);
    if (!Identify()) return;

    Stage(FirmwareStage::Writing);
    log_.SetText(description_ + "\nWriting Firmware...");
    WritePages();

    Stage(FirmwareStage::Verifying);
    FinalExchange();
}

LinkResult Update::WaitForPrompt(bool& aborted) {
    // Every batch that arrives is searched for '>' as a whole; a failed status query or read
    // ends the wait as a time-out does.
    Clock& clock = tool_.clock;
    const std::int64_t start = clock.NowMs();
    std::int64_t lastByte = start;
    while (true) {
        tool_.pump.ProcessEvents();
        if (tool_.firmware.abortFlag != kAbortFlagRunning ||
            (observer_ != nullptr && observer_->AbortRequested())) {
            aborted = true;
            return result::Ok;
        }
        const LinkResult code = link_.DrainReceive();
        const std::int64_t now = clock.NowMs();
        if (code == result::Ok) {
            const auto batch = link_.RxBuffer().first(link_.LastReadCount());
            const auto prompt = std::find(batch.begin(), batch.end(), bootloader::kPrompt);
            if (prompt != batch.end()) {
                // What came behind the prompt is the boot loader's too: examined in its turn.
                input_.Keep(batch.subspan(static_cast<std::size_t>(prompt - batch.begin()) + 1));
                return result::Ok;
            }
            lastByte = now;
        } else if (code != result::NoData) {
            return code;
        }
        if (now - lastByte >= kPromptByteLimitMs || now - start >= kPromptWaitLimitMs) {
            return result::FirstByteTimeout;
        }
        const std::int64_t leftMs =
            std::min(kPromptByteLimitMs - (now - lastByte), kPromptWaitLimitMs - (now - start));
        link_.WaitForData(link_.SilencePauseMs(1, leftMs * 1'000'000));
    }
}

bool Update::Identify() {
    const std::array<std::uint8_t, 1> start{bootloader::kStart};
    LinkResult code = link_.WriteBytes(start);
    if (code != result::Ok) {
        log_.SetText("Send error - 0x3C");
        log_.ReportError(code);
        Fail(FirmwareFailure::StartByte, code);
        return false;
    }
    code = input_.Read(bootloader::kIdentificationSize, kIdentificationLimitMs);
    if (code != result::Ok) {
        log_.SetText("Not complete input data (5B)");
        log_.ReportError(code);
        Fail(FirmwareFailure::Identification, code);
        report_.identificationBytes = input_.Bytes().size();
        return false;
    }
    const BootLoaderKey& expected = CarriedBootLoaderIdentification();
    for (std::size_t i = 0; i < key_.size(); ++i) {
        key_[i] = input_.Bytes()[i];
        if (key_[i] != expected[i]) {
            log_.SetText(
                "This function support 10-channel ORNEVA NUV devices only!\n(note, RS485 "
                "interface have to be disconnected!)");
            Fail(FirmwareFailure::OtherDevice);
            return false;
        }
    }
    return true;
}

void Update::WritePages() {
    using Kind = PageTrouble::Kind;
    const std::size_t pages = buffer_.Pages();
    std::vector<bool> whole(pages, false);
    for (std::size_t p = 0; p < pages; ++p) {
        if (input_.Read(1, kRequestLimitMs) != result::Ok) {
            log_.AppendLine("01 @ PageNumber: " + std::to_string(p));
            Trouble(Kind::NoRequest, p);
            break;
        }
        const std::uint8_t answer = input_.First();
        if (answer == bootloader::kFlashError) {
            log_.AppendLine("@ - writing flash page error!");
            Trouble(Kind::FlashError, p);
            continue;
        }
        if (answer != bootloader::kRequest) {
            log_.SetText("Wrong data (expect: '0x21' or '0x40'), received: 0x" + HexByte(answer));
            Trouble(Kind::UnexpectedByte, p, answer);
            continue;
        }
        if (link_.WriteBytes(PageNumberBytes(static_cast<std::uint16_t>(p))) != result::Ok) {
            log_.AppendLine("Blad w wysylaniu danych FTDI po '!'");
            Trouble(Kind::NumberNotSent, p);
            break;
        }
        const auto plain = buffer_.Page(p);
        const PageBytes sent = ScramblePage(plain, key_);
        const std::array<std::uint8_t, 1> check{PageCheckByte(plain)};
        // A page counts as written only when its bytes and its check byte went out.
        const bool pageOut = link_.WriteBytes(sent) == result::Ok;
        const bool checkOut = link_.WriteBytes(check) == result::Ok;
        whole[p] = pageOut && checkOut;
        ++report_.pagesSent;
        if (!whole[p]) Trouble(Kind::BytesNotSent, p);
        const auto percent = static_cast<int>((p + 1) * 100 / (pages + 1));
        panel_.ProgressBar1.SetPosition(percent);
        panel_.Edit2.SetText(std::to_string(p + 1));
        if (observer_ != nullptr) observer_->OnPage(p, pages, percent);
    }
    for (std::size_t p = 0; p < pages; ++p) {
        if (!whole[p]) report_.pagesNotWritten.push_back(p);
    }
}

void Update::FinalExchange() {
    LinkResult code = input_.Read(1, kRequestLimitMs);
    if (code != result::Ok) {
        log_.SetText("");
        log_.ReportError(code);
        Fail(FirmwareFailure::FinalRequest, code);
        NoteMissingPages();
        return;
    }
    if (input_.First() != bootloader::kRequest) {
        log_.SetText(" Veryfication error - 0x" + HexByte(input_.First()));
        log_.ReportError(code);
        Fail(FirmwareFailure::FinalByte, code);
        report_.byte = input_.First();
        NoteMissingPages();
        return;
    }
    const std::array<std::uint8_t, 2> marker{bootloader::kEndMarkerByte,
                                             bootloader::kEndMarkerByte};
    link_.WriteBytes(marker);
    code = input_.Read(1, kRequestLimitMs);
    if (code != result::Ok) {
        // Nothing came: the time-out says so, rather than a "received" byte that never was.
        log_.ReportError(code);
        Fail(FirmwareFailure::Verdict, code);
        NoteMissingPages();
        return;
    }
    const std::uint8_t verdict = input_.First();
    report_.verdict = verdict;
    if (verdict == bootloader::kVerified) {
        if (report_.pagesNotWritten.empty()) {
            panel_.ProgressBar1.SetPosition(100);
            log_.AppendText(" OK\n\n");
            tool_.firmware.abortFlag = kAbortFlagRunning;
            report_.outcome = FirmwareOutcome::Verified;
            if (observer_ != nullptr) observer_->OnVerified(buffer_.Pages());
            return;
        }
        // The boot loader verified what it got, but the module's firmware lacks pages.
        log_.AppendText(" Not all pages were written - repeat the update!\n");
        report_.outcome = FirmwareOutcome::Incomplete;
        Fail(FirmwareFailure::PagesMissing);
    } else if (verdict == bootloader::kVerifyFailed) {
        log_.AppendText(" Page veryfication error 1F700 !!!\n\n");
        Fail(FirmwareFailure::VerifyFailed);
    } else {
        log_.AppendText("Wrong data (expect: '0x56' or '0x23'), received: 0x" + HexByte(verdict));
        Fail(FirmwareFailure::OtherVerdict);
        report_.byte = verdict;
    }
    NoteMissingPages();
}

void Update::NoteMissingPages() {
    if (report_.pagesNotWritten.empty()) return;
    log_.SetColour(colour::ErrorRed);
    log_.AppendLine("Pages not written: " + PageRanges(report_.pagesNotWritten));
}

void Update::AddLine(Rgb colour, const std::string& line) {
    log_.SetColour(colour);
    if (!log_.Empty() && !log_.EndsWithLineBreak()) log_.AppendText("\n");
    log_.AppendText(line + "\n");
}

void Update::CheckBuild() {
    Stage(FirmwareStage::CheckingBuild);
    // The firmware speaks at 9600 baud again.
    link_.SelectLinkBaud(UsbLink::kNormalBaud);
    if (link_.IsOpen()) link_.SetLinkBaud(UsbLink::kNormalBaud);
    report_.build = ReadModuleBuild(tool_);
    const ModuleBuild& build = report_.build;
    const std::string named = FirmwareVersionText(build.version);
    switch (build.state) {
        case BuildReadBack::Named:
            if (build.version == kErasedBuild) {
                report_.outcome = FirmwareOutcome::WrongBuild;
                Fail(FirmwareFailure::BuildErased);
                AddLine(colour::ErrorRed,
                        report_.expectedBuild
                            ? "The module reports firmware FF.FF after the update: no firmware "
                              "runs. Repeat the update."
                            : "The module reports firmware FF.FF after the update: the image "
                              "written is no firmware it can run. Write the carried build "
                              "(Update Firmware).");
            } else if (report_.expectedBuild && build.version != *report_.expectedBuild) {
                report_.outcome = FirmwareOutcome::WrongBuild;
                Fail(FirmwareFailure::OtherBuild);
                AddLine(colour::ErrorRed, "The module reports firmware " + named +
                                              " after the update, not the build written (" +
                                              FirmwareVersionText(*report_.expectedBuild) +
                                              "): the update did not take. Repeat the update.");
            } else {
                AddLine(colour::LogDefault,
                        "The module runs firmware " + named +
                            (report_.expectedBuild ? ", the build written." : "."));
            }
            break;
        case BuildReadBack::NoAnswer:
            AddLine(colour::Hint,
                    "The module did not answer in program mode after the update, so its firmware "
                    "could not be read: check that the RS485 interface is disconnected and the "
                    "USB cable is plugged in, then read the firmware with PROGRAM MODE.");
            break;
        case BuildReadBack::Unnamed:
            AddLine(colour::Hint,
                    "The module entered program mode after the update but did not name its "
                    "firmware: read it with PROGRAM MODE.");
            break;
        case BuildReadBack::Stopped:
            AddLine(colour::Hint,
                    "Stopped before the module's firmware was read back: read it with PROGRAM "
                    "MODE.");
            break;
        case BuildReadBack::NotTried:
            break;
    }
    if (!build.left) {
        AddLine(colour::Hint,
                "The module may still be in program mode: press NORMAL MODE, or power the module "
                "off and on.");
    }
}

void Update::NoteBootLoader() {
    AddLine(colour::Hint, BootLoaderStateText(report_));
}

}  // namespace

std::string BootLoaderStateText(const FirmwareUpdateReport& report) {
    if (!report.reset || report.outcome != FirmwareOutcome::Failed) return {};
    // Before a page went out the flash is as it was; the boot loader may also have given up
    // waiting and started that firmware.
    if (report.pagesSent == 0) {
        return "The module was reset and may wait in its boot loader; its firmware is unchanged. "
               "Repeat the update, or power the module off and on.";
    }
    return "The module waits in its boot loader and its firmware is incomplete: repeat the "
           "update, or power the module off and on.";
}

FirmwareUpdateReport UpdateFirmware(Tool& tool, const FirmwareImage& image,
                                    FirmwareUpdateObserver* observer) {
    if (image.bytes.empty() || image.bytes.size() > kPageBufferSize) {
        throw std::invalid_argument("a firmware image must hold 1 to 131072 bytes");
    }
    Update update(tool, image, observer);
    return update.Run();
}

}  // namespace nuv
