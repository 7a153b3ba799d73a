#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "mqtt/BrokerSettings.hpp"
#include "mqtt/Publisher.hpp"

namespace nuv::mqtt {

// Messages kept while the broker is unreachable, unless told otherwise: a reading of 16 sensors
// a channel is about 1.3 kB, so the queue holds some 13 MB at most.
inline constexpr std::size_t kDefaultQueueSize = 10000;

struct PublisherOptions {
    BrokerUrl broker;
    std::string clientId;
    // PREFIX/bridge: "online" (retained) once connected, "offline" as the will that the broker
    // publishes when the connection drops, and "offline" again before a clean disconnect.
    std::string bridgeTopic;
    std::optional<Credentials> credentials;
    // For mqtts: the certificate (PEM) of the authority that signed the broker's; none means
    // the system's authorities (/etc/ssl/certs).
    std::string caFile;
    std::size_t queueSize = kDefaultQueueSize;
    // Messages sent ahead of the broker's acknowledgements: the client library resends the
    // unacknowledged ones in their order after a reconnect, so order holds with more than one.
    std::size_t inFlight = 10;
    // Reconnecting backs off from `firstRetry`, doubling up to `maxRetry`.
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds maxRetry{30000};
    std::chrono::seconds keepAlive{30};
    // A connection attempt that has no answer by then is given up and tried again later.
    std::chrono::milliseconds connectTimeout{10000};
};

// The wait before the next attempt after `failures` failed ones in a row (1, 2, ...):
// `first`, doubling each time, at most `max`.
std::chrono::milliseconds RetryDelay(int failures, std::chrono::milliseconds first,
                                     std::chrono::milliseconds max);

// A publisher on libmosquitto (MQTT 5, QoS 1) that starts connecting at once. None, with the
// reason in words, when it cannot be set up (an unreadable CA file, for one).
std::unique_ptr<Publisher> StartMosquittoPublisher(const PublisherOptions& options,
                                                   std::string& reason);

}  // namespace nuv::mqtt
