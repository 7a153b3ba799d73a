#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "protocol/BootLoaderProtocol.hpp"
#include "sim/SimFtdi.hpp"

namespace nuv::sim {

// The module's boot loader on the wire. A reset (the DTR pulse) starts it: after its start-up
// time it prompts with '>' and waits a bounded time for the start byte '<'; without it the
// module goes on to its firmware. After '<' it sends its identification and asks for the pages
// one by one with '!', taking a flash time for each; it unscrambles a page with the key of its
// identification and checks its check byte. The end marker FF FF ends the transfer: it verifies
// the flash against every page it took and answers 'V', or '#' when a page failed. It reads
// only bytes sent at 115200 baud. Usable alone as a device's peer, or inside the simulated
// module, which hands it the line after a reset.
class BootLoaderSimulator final : public Peer {
  public:
    static constexpr std::int64_t kMs = 1'000'000;
    // The application section below the boot loader, whose pages can be written.
    static constexpr std::size_t kFlashSize = 0x1F700;

    struct Faults {
        // Bytes that arrive just ahead of the prompt, as from another device on the bus.
        std::vector<std::uint8_t> noiseBeforePrompt;
        // The identification goes out with this byte altered; -1: none.
        int wrongIdentificationByte = -1;
        // Only this many identification bytes go out; -1: all eight.
        int identificationBytes = -1;
        // Requests count from 0, one a page, and the one after the last page asks for the end
        // marker. This request goes out as `replacement` ('@': the page cannot be prepared);
        // the next one follows a flash time later. -1: none.
        int replacedRequest = -1;
        std::uint8_t replacement = bootloader::kFlashError;
        // This request never goes out: the boot loader hangs. -1: none.
        int missingRequest = -1;
        // A flash cell of this page does not take its value; the verification finds it. -1: none.
        int corruptPage = -1;
        // In place of the verdict: this byte (0: the verdict itself), or nothing at all.
        std::uint8_t verdict = 0;
        bool verdictSilent = false;
    };

    BootLoaderSimulator();

    BootLoaderKey identification;
    std::int64_t startUpNs = 65 * kMs;      // from the reset to the prompt
    std::int64_t startWaitNs = 300 * kMs;   // how long the prompt waits for '<'
    std::int64_t flashPageNs = 9 * kMs;     // erase and write of one page
    std::int64_t idleLimitNs = 2000 * kMs;  // silence in the middle of a transfer ends it
    std::int64_t turnaroundNs = 50'000;     // from a byte to the answer it starts
    Faults faults;
    // A quick boot loader: its first request goes out in one batch with its identification, and
    // the request after a '@' right behind the '@', as a USB packet of the cable delivers bytes
    // sent close together. Otherwise each request waits for the flash time.
    bool quickRequests = false;
    // Told when the boot loader verified the flash ('V'), with the flash.
    std::function<void(const std::vector<std::uint8_t>& flash)> onVerified;

    // The reset: the boot loader starts anew, and whatever it was doing is dropped.
    void Reset(SimDevice& device, std::int64_t atNs);
    // Whether it holds the line (from the reset until it hands over to the firmware).
    bool Active() const { return state_ != State::Idle; }
    // Whether it is starting up or prompting, before a start byte came.
    bool Prompting() const { return state_ == State::Prompted; }
    void Receive(SimDevice& device, std::uint8_t byte, std::int64_t atNs);
    void Advance(SimDevice& device, std::int64_t nowNs);

    const std::vector<std::uint8_t>& Flash() const { return flash_; }
    // Pages written since the last reset, in order of arrival.
    const std::vector<std::size_t>& PagesWritten() const { return pagesWritten_; }
    // The last verdict sent ('V' or '#'), if any since the reset.
    std::optional<std::uint8_t> Verdict() const { return verdict_; }
    std::size_t Sessions() const { return sessions_; }

    // As a device's own peer: a rising DTR resets, bytes and time go to the boot loader.
    void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) override;
    void OnLines(SimDevice& device, std::int64_t atNs) override;
    void OnTime(SimDevice& device, std::int64_t nowNs) override;
    // Its next byte due, or the end of its wait.
    std::optional<std::int64_t> NextEventNs() const override;

  private:
    enum class State { Idle, Prompted, Transfer };

    // A byte due at `atNs`; `withPrevious`: it reaches the tool in one batch with the byte
    // scheduled last for the same time.
    void Schedule(std::int64_t atNs, std::uint8_t byte, bool withPrevious = false);
    void Request(std::int64_t atNs, bool withPrevious = false);
    void PageComplete(std::int64_t atNs);
    void Finish(std::int64_t atNs);
    void Leave();

    State state_ = State::Idle;
    std::int64_t promptAtNs_ = 0;
    std::int64_t deadlineNs_ = 0;
    struct Pending {
        std::int64_t atNs;
        std::vector<std::uint8_t> bytes;
        bool batch;  // they arrive at once, not one byte time after another
    };
    std::deque<Pending> pending_;
    std::vector<std::uint8_t> frame_;
    std::size_t requests_ = 0;
    std::vector<std::uint8_t> flash_;
    std::vector<std::optional<PageBytes>> taken_;  // what each page should hold
    bool failed_ = false;
    std::vector<std::size_t> pagesWritten_;
    std::optional<std::uint8_t> verdict_;
    std::size_t sessions_ = 0;
    bool dtr_ = false;
};

}  // namespace nuv::sim
