#include "mqtt/testing/Subscriber.hpp"

#include <mosquitto.h>

namespace nuv::mqtt::testing {

Subscriber::Subscriber(SubscriberOptions options) : options_(std::move(options)) {
    mosquitto_lib_init();
}

Subscriber::~Subscriber() {
    if (mosq_ == nullptr) return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

bool Subscriber::Start(std::string& reason) {
    mosq_ = mosquitto_new(options_.clientId.c_str(), !options_.keepSession, this);
    if (mosq_ == nullptr) {
        reason = "mosquitto_new failed";
        return false;
    }
    if (options_.user) {
        mosquitto_username_pw_set(mosq_, options_.user->c_str(),
                                  options_.password ? options_.password->c_str() : nullptr);
    }
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* mosq, void* self, int code) {
        auto* subscriber = static_cast<Subscriber*>(self);
        if (code == 0) {
            mosquitto_subscribe(mosq, nullptr, subscriber->options_.topicFilter.c_str(), 1);
        }
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
        auto* subscriber = static_cast<Subscriber*>(self);
        {
            std::lock_guard lock(subscriber->mutex_);
            ++subscriber->subscriptions_;
        }
        subscriber->changed_.notify_all();
    });
    mosquitto_message_callback_set(
        mosq_, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* subscriber = static_cast<Subscriber*>(self);
            {
                std::lock_guard lock(subscriber->mutex_);
                subscriber->messages_.push_back(
                    {message->topic,
                     std::string(static_cast<const char*>(message->payload),
                                 static_cast<std::size_t>(message->payloadlen)),
                     message->retain});
            }
            subscriber->changed_.notify_all();
        });
    int rc = mosquitto_connect(mosq_, "127.0.0.1", options_.port, 10);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = std::string("subscriber: ") + mosquitto_strerror(rc);
        return false;
    }
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return subscriptions_ > 0; })) {
        reason = "subscriber: no subscription within 5 s";
        return false;
    }
    return true;
}

std::vector<Received> Subscriber::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<Received> Subscriber::On(const std::string& topic) const {
    std::vector<Received> found;
    for (const Received& m : Messages()) {
        if (m.topic == topic) found.push_back(m);
    }
    return found;
}

bool Subscriber::WaitUntil(const std::function<bool(const std::vector<Received>&)>& done,
                           std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(messages_); });
}

bool Subscriber::WaitForCount(const std::string& topic, std::size_t count,
                              std::chrono::milliseconds limit) const {
    return WaitUntil(
        [&](const std::vector<Received>& messages) {
            std::size_t n = 0;
            for (const Received& m : messages) n += m.topic == topic ? 1 : 0;
            return n >= count;
        },
        limit);
}

}  // namespace nuv::mqtt::testing
