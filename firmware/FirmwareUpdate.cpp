#include "firmware/FirmwareUpdate.hpp"

#include <stdexcept>

#include <algorithm>
#include <array>

#include "app/MessageTable.hpp"
#include "app/Tool.hpp"
#include "config/LineControl.hpp"
#include "firmware/CarriedFirmware.hpp"
#include "protocol/BootLoaderProtocol.hpp"

namespace nuv {
namespace {

class Update {
  public:
    Update(Tool& tool, const FirmwareImage& image, FirmwareUpdateObserver* observer)
        : tool_(tool),
          panel_(tool.panel),
          link_(tool.link),
          log_(tool.log),
          observer_(observer),
          buffer_(image.bytes),
          description_(DescribeImage(image)) {}

    FirmwareUpdateReport Run();

  private:
    // The wait for '>': 0 when it came, else the code that ended the wait.
    LinkResult WaitForPrompt(bool& aborted);
    bool Identify();
    void WritePages();
    void FinalExchange();
    // The log line of the pages that did not go out whole, when any.
    void NoteMissingPages();

    void Stage(FirmwareStage stage) {
        if (observer_ != nullptr) observer_->OnStage(stage);
    }
    std::uint8_t FirstByte() const { return link_.RxBuffer()[0]; }

    Tool& tool_;
    MainPanel& panel_;
    UsbLink& link_;
    MessageLog& log_;
    FirmwareUpdateObserver* observer_;
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
    // From here to the end nothing else may reach the line: the reset below enables the normal
    // commands, and a click or a tick would send Modbus frames into the boot loader.
    panel_.windowEnabled = false;
    panel_.Timer1.SetEnabled(false);
    panel_.Timer3.SetEnabled(false);

    link_.SelectLinkBaud(bootloader::kBaud);
    tool_.firmwareAbortFlag = kAbortFlagRunning;
    panel_.ProgressBar1.SetPosition(0);
    panel_.Edit4.SetText(std::to_string(buffer_.ImageSize()));
    panel_.Edit3.SetText(std::to_string(buffer_.Pages()));
    log_.SetText(description_);

    Stage(FirmwareStage::Connecting);
    LinkResult code = link_.ConnectModule();  // opens at 115200
    if (code != result::Ok) {
        log_.ReportError(code);  // besides the connect's own report
        return report_;
    }
    if (link_.SetLinkBaud(link_.LinkBaud()) != result::Ok) {
        log_.ReportError(result::ChangeBaudFailed);
    }

    Stage(FirmwareStage::Resetting);
    log_.SetText(description_ + "\nWaiting for ORNEVA NUV device reset...");
    // Input that waits from before must not pass for the prompt.
    link_.DiscardInput();
    Button20Click(tool_);

    bool aborted = false;
    code = WaitForPrompt(aborted);
    if (aborted) {
        log_.SetText("Firmware update aborted: the module was reset, but no firmware was sent");
        return report_;
    }
    if (code != result::Ok) {
        log_.SetText("Not complete input data");
        log_.ReportError(code);
        return report_;
    }
    log_.AppendText(" OK\n");

    Stage(FirmwareStage::Identifying);
    if (!Identify()) return report_;

    Stage(FirmwareStage::Writing);
    log_.SetText(description_ + "\nWriting Firmware...");
    WritePages();

    Stage(FirmwareStage::Verifying);
    FinalExchange();
    return report_;
}

LinkResult Update::WaitForPrompt(bool& aborted) {
    // Every batch that arrives is searched for '>' as a whole; a failed status query or read
    // ends the wait as a time-out does.
    Clock& clock = tool_.clock;
    const std::int64_t start = clock.NowMs();
    std::int64_t lastByte = start;
    while (true) {
        tool_.pump.ProcessEvents();
        if (tool_.firmwareAbortFlag != kAbortFlagRunning ||
            (observer_ != nullptr && observer_->AbortRequested())) {
            aborted = true;
            return result::Ok;
        }
        const LinkResult code = link_.DrainReceive();
        const std::int64_t now = clock.NowMs();
        if (code == result::Ok) {
            const auto batch = link_.RxBuffer().first(link_.LastReadCount());
            if (std::find(batch.begin(), batch.end(), bootloader::kPrompt) != batch.end()) {
                return result::Ok;
            }
            lastByte = now;
        } else if (code != result::NoData) {
            return code;
        }
        if (now - lastByte >= kPromptByteLimitMs || now - start >= kPromptWaitLimitMs) {
            return result::FirstByteTimeout;
        }
        link_.WaitForData(1);
    }
}

bool Update::Identify() {
    const std::array<std::uint8_t, 1> start{bootloader::kStart};
    LinkResult code = link_.WriteBytes(start);
    if (code != result::Ok) {
        log_.SetText("Send error - 0x3C");
        log_.ReportError(code);
        return false;
    }
    code = link_.ReadTimed(bootloader::kIdentificationSize, kIdentificationLimitMs);
    if (code != result::Ok) {
        log_.SetText("Not complete input data (5B)");
        log_.ReportError(code);
        return false;
    }
    const BootLoaderKey& expected = CarriedBootLoaderIdentification();
    for (std::size_t i = 0; i < key_.size(); ++i) {
        key_[i] = link_.RxBuffer()[i];
        if (key_[i] != expected[i]) {
            log_.SetText(
                "This function support 10-channel ORNEVA NUV devices only!\n(note, RS485 "
                "interface have to be disconnected!)");
            return false;
        }
    }
    return true;
}

void Update::WritePages() {
    const std::size_t pages = buffer_.Pages();
    std::vector<bool> whole(pages, false);
    for (std::size_t p = 0; p < pages; ++p) {
        if (link_.ReadTimed(1, kRequestLimitMs) != result::Ok) {
            log_.AppendLine("01 @ PageNumber: " + std::to_string(p));
            break;
        }
        const std::uint8_t answer = FirstByte();
        if (answer == bootloader::kFlashError) {
            log_.AppendLine("@ - writing flash page error!");
            continue;
        }
        if (answer != bootloader::kRequest) {
            log_.SetText("Wrong data (expect: '0x21' or '0x40'), received: 0x" + HexByte(answer));
            continue;
        }
        if (link_.WriteBytes(PageNumberBytes(static_cast<std::uint16_t>(p))) != result::Ok) {
            log_.AppendLine("Blad w wysylaniu danych FTDI po '!'");
            break;
        }
        const auto plain = buffer_.Page(p);
        const PageBytes sent = ScramblePage(plain, key_);
        const std::array<std::uint8_t, 1> check{PageCheckByte(plain)};
        // A page counts as written only when its bytes and its check byte went out.
        const bool pageOut = link_.WriteBytes(sent) == result::Ok;
        const bool checkOut = link_.WriteBytes(check) == result::Ok;
        whole[p] = pageOut && checkOut;
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
    LinkResult code = link_.ReadTimed(1, kRequestLimitMs);
    if (code != result::Ok) {
        log_.SetText("");
        log_.ReportError(code);
        NoteMissingPages();
        return;
    }
    if (FirstByte() != bootloader::kRequest) {
        log_.SetText(" Veryfication error - 0x" + HexByte(FirstByte()));
        log_.ReportError(code);
        NoteMissingPages();
        return;
    }
    const std::array<std::uint8_t, 2> marker{bootloader::kEndMarkerByte,
                                             bootloader::kEndMarkerByte};
    link_.WriteBytes(marker);
    code = link_.ReadTimed(1, kRequestLimitMs);
    if (code != result::Ok) {
        // Nothing came: the time-out says so, rather than a "received" byte that never was.
        log_.ReportError(code);
        NoteMissingPages();
        return;
    }
    const std::uint8_t verdict = FirstByte();
    report_.verdict = verdict;
    if (verdict == bootloader::kVerified) {
        if (report_.pagesNotWritten.empty()) {
            panel_.ProgressBar1.SetPosition(100);
            log_.AppendText(" OK\n\n");
            tool_.firmwareAbortFlag = kAbortFlagRunning;
            report_.outcome = FirmwareOutcome::Verified;
            return;
        }
        // The boot loader verified what it got, but the module's firmware lacks pages.
        log_.AppendText(" Not all pages were written - repeat the update!\n");
        report_.outcome = FirmwareOutcome::Incomplete;
    } else if (verdict == bootloader::kVerifyFailed) {
        log_.AppendText(" Page veryfication error 1F700 !!!\n\n");
    } else {
        log_.AppendText("Wrong data (expect: '0x56' or '0x23'), received: 0x" + HexByte(verdict));
    }
    NoteMissingPages();
}

void Update::NoteMissingPages() {
    if (report_.pagesNotWritten.empty()) return;
    log_.SetColour(colour::ErrorRed);
    log_.AppendLine("Pages not written: " + PageRanges(report_.pagesNotWritten));
}

}  // namespace

FirmwareUpdateReport UpdateFirmware(Tool& tool, const FirmwareImage& image,
                                    FirmwareUpdateObserver* observer) {
    if (image.bytes.empty() || image.bytes.size() > kPageBufferSize) {
        throw std::invalid_argument("a firmware image must hold 1 to 131072 bytes");
    }
    Update update(tool, image, observer);
    return update.Run();
}

}  // namespace nuv
