#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;

namespace nuv::mqtt::testing {

struct Received {
    std::string topic;
    std::string payload;
    bool retain = false;
};

struct SubscriberOptions {
    int port = 0;
    std::string topicFilter = "#";
    std::string clientId = "nuv-test-subscriber";
    // A session the broker keeps while the subscriber is away (with persistence, across the
    // broker's restarts too): the QoS 1 messages of that time wait for it.
    bool keepSession = true;
    std::optional<std::string> user;
    std::optional<std::string> password;
};

// A subscriber on libmosquitto's own thread that keeps every message it gets, in order, and
// reconnects by itself (every second) when the broker goes away.
class Subscriber {
  public:
    explicit Subscriber(SubscriberOptions options);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Connects and waits until the subscription is in place (5 s at most).
    bool Start(std::string& reason);

    std::vector<Received> Messages() const;
    // The messages of one topic.
    std::vector<Received> On(const std::string& topic) const;
    // Waits at most `limit` until `done` holds for the messages so far.
    bool WaitUntil(const std::function<bool(const std::vector<Received>&)>& done,
                   std::chrono::milliseconds limit) const;
    bool WaitForCount(const std::string& topic, std::size_t count,
                      std::chrono::milliseconds limit) const;

  private:
    SubscriberOptions options_;
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Received> messages_;
    int subscriptions_ = 0;
};

}  // namespace nuv::mqtt::testing
