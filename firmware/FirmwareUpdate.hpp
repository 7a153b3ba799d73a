#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/LinkResult.hpp"
#include "firmware/BuildReadBack.hpp"
#include "firmware/FirmwareImage.hpp"
#include "firmware/FirmwareState.hpp"

namespace nuv {

class Tool;

// Limits of the boot loader exchange. The prompt may take 5000 ms after the last byte that
// came, and the whole wait for it is bounded too, so that a line that keeps sending other
// bytes (an RS485 bus left connected) cannot hold the update.
inline constexpr std::uint16_t kPromptByteLimitMs = 5000;
inline constexpr std::int64_t kPromptWaitLimitMs = 10000;
inline constexpr std::uint16_t kIdentificationLimitMs = 500;
inline constexpr std::uint16_t kRequestLimitMs = 500;
// From the boot loader's verdict to the entry frame of program mode: the module starts the
// firmware it was given. Left open by the module's documents; two seconds are ample for its
// start and cost the operator little after an update of several seconds.
inline constexpr std::int64_t kModuleStartUpMs = 2000;

enum class FirmwareStage {
    Connecting,     // the link opens at 115200 baud
    Resetting,      // the reset by DTR, then the wait for the prompt
    Identifying,    // the prompt came: start byte and identification
    Writing,        // the pages
    Verifying,      // the end marker and the boot loader's verdict
    CheckingBuild,  // verified: the module starts and is asked for its build in program mode
};

// Follows an update from outside the window (the command line).
class FirmwareUpdateObserver {
  public:
    virtual ~FirmwareUpdateObserver() = default;
    virtual void OnStage(FirmwareStage /*stage*/) {}
    // Page `page` of `pages` went out; the progress bar is at `percent`.
    virtual void OnPage(std::size_t /*page*/, std::size_t /*pages*/, int /*percent*/) {}
    // The boot loader verified the whole image: the progress bar is at 100.
    virtual void OnVerified(std::size_t /*pages*/) {}
    // Asked while waiting for the prompt: true ends the update there, before anything is sent.
    virtual bool AbortRequested() { return false; }
};

enum class FirmwareOutcome {
    Verified,    // every page went out whole, the boot loader answered 'V', and the module did
                 // not name a build that was not written (it may not have answered at all)
    Incomplete,  // 'V', but pages were not written
    WrongBuild,  // verified, but the module then named no firmware (FF.FF) or another build
    Failed,
};

// Where an update that did not succeed ended.
enum class FirmwareFailure {
    None,
    Connect,         // the link did not open (`code`); nothing was sent, the module not reset
    Prompt,          // no prompt after the reset (`code`: 21, or 15/16 from the driver)
    Aborted,         // stopped while waiting for the prompt
    StartByte,       // the start byte could not be written (`code`)
    Identification,  // fewer than 8 identification bytes came (`code`, `identificationBytes`)
    OtherDevice,     // the identification differs: not the boot loader of this module
    FinalRequest,    // no request for the end marker (`code`)
    FinalByte,       // `byte` came in place of that request
    Verdict,         // no verdict after the end marker (`code`)
    VerifyFailed,    // '#': the boot loader's check of the flash failed
    OtherVerdict,    // `byte` came in place of the verdict
    PagesMissing,    // 'V', but `pagesNotWritten`
    BuildErased,     // verified, then the module named firmware FF.FF
    OtherBuild,      // verified, then the module named another build than the carried one
};

// Something that kept a page from going out whole.
struct PageTrouble {
    enum class Kind {
        NoRequest,       // no request for the page in time: the transfer ended
        NumberNotSent,   // its number could not be written: the transfer ended
        BytesNotSent,    // its bytes or check byte could not be written
        FlashError,      // the boot loader answered '@'
        UnexpectedByte,  // `byte` came in place of the request
    };
    Kind kind;
    std::size_t page;
    std::uint8_t byte = 0;
};

struct FirmwareUpdateReport {
    FirmwareOutcome outcome = FirmwareOutcome::Failed;
    FirmwareFailure failure = FirmwareFailure::None;
    // The result code of the step that failed, where it has one.
    LinkResult code = result::Ok;
    // The byte that came in place of the one expected (FinalByte, OtherVerdict).
    std::uint8_t byte = 0;
    // Identification bytes that came, when they were fewer than eight.
    std::size_t identificationBytes = 0;
    // The port's rate could not be set to the boot loader's (reported as code 32); the update
    // went on.
    bool baudNotSet = false;
    // The module was reset: from here on it is in its boot loader's hands.
    bool reset = false;
    // Pages whose bytes went out (whole or not).
    std::size_t pagesSent = 0;
    std::vector<PageTrouble> pageTroubles;
    // Pages that did not go out whole, once the page transfer had begun.
    std::vector<std::size_t> pagesNotWritten;
    // The boot loader's answer to the end marker, when one came.
    std::optional<std::uint8_t> verdict;
    // What the module named in program mode after a verified update.
    ModuleBuild build;
    // The build the module must name: that of the carried image, when that was written.
    std::optional<std::uint16_t> expectedBuild;
};

// Writes `image` into the module through its boot loader: 115200 baud, the reset by DTR, the
// prompt, the identification, the pages on request, the end marker and the verdict, with every
// text in the log and the progress bar. After a verified update the module is asked for its
// build (ReadModuleBuild) and a line in the log says what it named; after a failure that
// follows the reset, a line says that the module waits in its boot loader and what to do. The
// window stays disabled and the cyclic and APC timers stopped from the start to the end (a
// connect that fails leaves the module as it was: the timers run again); whatever happens, the
// link baud rate is 9600 again and the window enabled at the end.
FirmwareUpdateReport UpdateFirmware(Tool& tool, const FirmwareImage& image,
                                    FirmwareUpdateObserver* observer = nullptr);

// After a failure that followed the reset: that the module (may) wait in its boot loader, and
// that the update can be repeated or the module powered off and on. Empty for an update that
// succeeded, failed before the reset, or ended with the boot loader's 'V'.
std::string BootLoaderStateText(const FirmwareUpdateReport& report);

}  // namespace nuv
