#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "firmware/FirmwareImage.hpp"

namespace nuv {

class Tool;

// The abort flag of an update: kept at kAbortFlagRunning while it runs; any other value ends
// the wait for the boot loader's prompt ("Wyjscie" sets kAbortFlagStop).
inline constexpr std::uint8_t kAbortFlagRunning = 0xAA;
inline constexpr std::uint8_t kAbortFlagStop = 0xFF;

// Limits of the boot loader exchange. The prompt may take 5000 ms after the last byte that
// came, and the whole wait for it is bounded too, so that a line that keeps sending other
// bytes (an RS485 bus left connected) cannot hold the update.
inline constexpr std::uint16_t kPromptByteLimitMs = 5000;
inline constexpr std::int64_t kPromptWaitLimitMs = 10000;
inline constexpr std::uint16_t kIdentificationLimitMs = 500;
inline constexpr std::uint16_t kRequestLimitMs = 500;

enum class FirmwareStage {
    Connecting,   // the link opens at 115200 baud
    Resetting,    // the reset by DTR, then the wait for the prompt
    Identifying,  // the prompt came: start byte and identification
    Writing,      // the pages
    Verifying,    // the end marker and the boot loader's verdict
};

// Follows an update from outside the window (the command line).
class FirmwareUpdateObserver {
  public:
    virtual ~FirmwareUpdateObserver() = default;
    virtual void OnStage(FirmwareStage /*stage*/) {}
    // Page `page` of `pages` went out; the progress bar is at `percent`.
    virtual void OnPage(std::size_t /*page*/, std::size_t /*pages*/, int /*percent*/) {}
    // Asked while waiting for the prompt: true ends the update there, before anything is sent.
    virtual bool AbortRequested() { return false; }
};

enum class FirmwareOutcome {
    Verified,    // every page went out whole and the boot loader answered 'V'
    Incomplete,  // 'V', but pages were not written
    Failed,
};

struct FirmwareUpdateReport {
    FirmwareOutcome outcome = FirmwareOutcome::Failed;
    // Pages that did not go out whole, once the page transfer had begun.
    std::vector<std::size_t> pagesNotWritten;
    // The boot loader's answer to the end marker, when one came.
    std::optional<std::uint8_t> verdict;
};

// Writes `image` into the module through its boot loader: 115200 baud, the reset by DTR, the
// prompt, the identification, the pages on request, the end marker and the verdict, with every
// text in the log and the progress bar. The window stays disabled and the cyclic and APC timers
// stopped from the start to the end; whatever happens, the link baud rate is 9600 again and the
// window enabled at the end.
FirmwareUpdateReport UpdateFirmware(Tool& tool, const FirmwareImage& image,
                                    FirmwareUpdateObserver* observer = nullptr);

}  // namespace nuv
