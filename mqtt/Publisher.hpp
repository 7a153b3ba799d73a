#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/MqttMessage.hpp"

namespace nuv::mqtt {

// What a publisher has done so far.
struct PublisherStats {
    bool connected = false;
    std::size_t queued = 0;       // waiting, not yet handed to the connection
    std::size_t inFlight = 0;     // sent, the broker's acknowledgement not yet in
    std::uint64_t delivered = 0;  // acknowledged by the broker
    std::uint64_t dropped = 0;    // the oldest, dropped for want of room in the queue
    std::uint64_t connects = 0;   // connections made, the first included
};

// How the first connection went, after a wait.
enum class ConnectionState {
    Connecting,  // no answer yet, or the broker is unreachable: tries go on, messages wait
    Connected,
    Failed,  // refused for good (login, certificate, permissions): see Failure()
};

// What a shutdown achieved.
struct CloseReport {
    std::size_t undelivered = 0;    // messages that never reached the broker
    bool offlinePublished = false;  // "offline" replaced "online" before a clean disconnect
};

// Hands messages to an MQTT broker in the background. Publish never waits on the network:
// messages wait in a bounded queue while the broker is away and go out in their order when it is
// back. All calls come from one thread (the program's); the network has a thread of its own.
class Publisher {
  public:
    virtual ~Publisher() = default;

    // Queues a message (QoS 1, retained or not). Beyond the queue's size the oldest is dropped.
    virtual void Publish(MqttMessage message) = 0;

    // Waits at most `limit` for the first connection to be made or refused.
    virtual ConnectionState WaitForConnection(std::chrono::milliseconds limit) = 0;

    virtual PublisherStats Stats() const = 0;

    // Why the broker refused the bridge for good (a refused login, a certificate that does not
    // verify, a topic the bridge may not publish on), with the broker's reason; none while all is
    // well. Nothing more is sent after it; the program should stop with a failure.
    virtual std::optional<std::string> Failure() const = 0;

    // The lines for the program's log since the last call: connection made, lost, back; the
    // queue overflowing. Each says so once, not at every attempt.
    virtual std::vector<std::string> TakeEvents() = 0;

    // Delivers what is queued, for at most `limit`, then replaces the bridge's "online" by
    // "offline" and disconnects cleanly (when connected). Returns within `limit`, apart from a
    // host name lookup under way. Publish must not be called after it.
    virtual CloseReport Close(std::chrono::milliseconds limit) = 0;
};

}  // namespace nuv::mqtt
