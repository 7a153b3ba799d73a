#pragma once

#include <cstdint>
#include <vector>

#include "sim/SimFtdi.hpp"

namespace nuv::sim {

// A peer that plays a script: replies that follow a given number of received bytes, and bytes
// sent at fixed times. It records what it received and every change of the control lines.
class ScriptedPeer final : public Peer {
  public:
    struct LineChange {
        std::int64_t atNs;
        bool rts;
        bool dtr;
    };

    // When the `afterBytes`-th byte in all has arrived, send `bytes` `delayNs` later.
    void ReplyAfter(std::size_t afterBytes, std::vector<std::uint8_t> bytes,
                    std::int64_t delayNs = 0);
    // Send `bytes` from `atNs` on, unprompted.
    void SendAt(std::int64_t atNs, std::vector<std::uint8_t> bytes);

    const std::vector<std::uint8_t>& Received() const { return received_; }
    const std::vector<LineChange>& LineChanges() const { return lines_; }

    void OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) override;
    void OnLines(SimDevice& device, std::int64_t atNs) override;
    void OnTime(SimDevice& device, std::int64_t nowNs) override;
    std::optional<std::int64_t> NextEventNs() const override;

  private:
    struct Reply {
        std::size_t afterBytes;
        std::vector<std::uint8_t> bytes;
        std::int64_t delayNs;
        bool sent = false;
    };
    struct Timed {
        std::int64_t atNs;
        std::vector<std::uint8_t> bytes;
        bool sent = false;
    };

    std::vector<Reply> replies_;
    std::vector<Timed> timed_;
    std::vector<std::uint8_t> received_;
    std::vector<LineChange> lines_;
};

}  // namespace nuv::sim
