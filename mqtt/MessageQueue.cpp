#include "mqtt/MessageQueue.hpp"

#include <algorithm>

namespace nuv::mqtt {

MessageQueue::MessageQueue(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void MessageQueue::Push(MqttMessage message) {
    if (message.retain && !retainedTopics_.insert(message.topic).second) {
        // The earlier one is near the end when statuses come every cycle: search from there.
        const auto earlier = std::find_if(messages_.rbegin(), messages_.rend(), [&](const auto& m) {
            return m.retain && m.topic == message.topic;
        });
        if (earlier != messages_.rend()) messages_.erase(std::next(earlier).base());
    }
    messages_.push_back(std::move(message));
    while (messages_.size() > capacity_) {
        Forget(messages_.front());
        messages_.pop_front();
        ++dropped_;
    }
}

MqttMessage MessageQueue::PopFront() {
    MqttMessage front = std::move(messages_.front());
    messages_.pop_front();
    Forget(front);
    return front;
}

void MessageQueue::Forget(const MqttMessage& message) {
    if (message.retain) retainedTopics_.erase(message.topic);
}

}  // namespace nuv::mqtt
