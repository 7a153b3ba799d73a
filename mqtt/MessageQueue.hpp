#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>

#include "mqtt/MqttMessage.hpp"

namespace nuv::mqtt {

// The messages waiting for the broker, oldest first, at most `capacity` of them: beyond it the
// oldest is dropped and counted. A retained message replaces a retained message of the same
// topic that still waits (the broker would keep only the newer one anyway), so a module's status
// takes one place however long the broker is away.
class MessageQueue {
  public:
    explicit MessageQueue(std::size_t capacity);

    void Push(MqttMessage message);
    MqttMessage PopFront();

    bool Empty() const { return messages_.empty(); }
    std::size_t Size() const { return messages_.size(); }
    std::size_t Capacity() const { return capacity_; }
    const MqttMessage& Front() const { return messages_.front(); }
    // Messages dropped for want of room since the queue was made.
    std::uint64_t Dropped() const { return dropped_; }

  private:
    void Forget(const MqttMessage& message);

    std::size_t capacity_;
    std::deque<MqttMessage> messages_;
    std::unordered_set<std::string> retainedTopics_;  // of the retained messages waiting
    std::uint64_t dropped_ = 0;
};

}  // namespace nuv::mqtt
