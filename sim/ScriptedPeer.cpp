#include "sim/ScriptedPeer.hpp"

namespace nuv::sim {

void ScriptedPeer::ReplyAfter(std::size_t afterBytes, std::vector<std::uint8_t> bytes,
                              std::int64_t delayNs) {
    replies_.push_back(Reply{afterBytes, std::move(bytes), delayNs});
}

void ScriptedPeer::SendAt(std::int64_t atNs, std::vector<std::uint8_t> bytes) {
    timed_.push_back(Timed{atNs, std::move(bytes)});
}

void ScriptedPeer::OnReceive(SimDevice& device, std::uint8_t byte, std::int64_t atNs) {
    received_.push_back(byte);
    for (Reply& reply : replies_) {
        if (!reply.sent && reply.afterBytes == received_.size()) {
            reply.sent = true;
            device.Send(reply.bytes, atNs + reply.delayNs);
        }
    }
}

void ScriptedPeer::OnLines(SimDevice& device, std::int64_t atNs) {
    lines_.push_back(LineChange{atNs, device.Rts(), device.Dtr()});
}

void ScriptedPeer::OnTime(SimDevice& device, std::int64_t nowNs) {
    for (Timed& timed : timed_) {
        if (!timed.sent && timed.atNs <= nowNs) {
            timed.sent = true;
            device.Send(timed.bytes, timed.atNs);
        }
    }
}

std::optional<std::int64_t> ScriptedPeer::NextEventNs() const {
    std::optional<std::int64_t> next;
    for (const Timed& timed : timed_) {
        if (!timed.sent && (!next || timed.atNs < *next)) next = timed.atNs;
    }
    return next;
}

}  // namespace nuv::sim
