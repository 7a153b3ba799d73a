#include "mqtt/MessageQueue.hpp"

#include <gtest/gtest.h>

#include "mqtt/MosquittoPublisher.hpp"

namespace nuv::mqtt {
namespace {

MqttMessage Reading(int n) {
    return {"nuv/s/4/reading", std::to_string(n), false};
}
MqttMessage Status(int address, int n) {
    return {"nuv/s/" + std::to_string(address) + "/status", std::to_string(n), true};
}

std::vector<std::string> Drain(MessageQueue& queue) {
    std::vector<std::string> payloads;
    while (!queue.Empty()) payloads.push_back(queue.PopFront().payload);
    return payloads;
}

TEST(MessageQueue, KeepsTheOrderAndDropsTheOldestBeyondItsSize) {
    MessageQueue queue(3);
    for (int n = 1; n <= 5; ++n) queue.Push(Reading(n));
    EXPECT_EQ(queue.Size(), 3U);
    EXPECT_EQ(queue.Dropped(), 2U);
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"3", "4", "5"}));
    queue.Push(Reading(6));
    EXPECT_EQ(queue.Dropped(), 2U);  // a count since the start, not of the last overflow
}

TEST(MessageQueue, ANewerStatusReplacesTheOneStillWaiting) {
    MessageQueue queue(10);
    queue.Push(Status(4, 1));
    queue.Push(Reading(1));
    queue.Push(Status(7, 1));
    queue.Push(Status(4, 2));
    queue.Push(Reading(2));
    EXPECT_EQ(queue.Dropped(), 0U);
    std::vector<std::string> topics;
    while (!queue.Empty()) {
        const MqttMessage m = queue.PopFront();
        topics.push_back(m.topic + "=" + m.payload);
    }
    EXPECT_EQ(topics, (std::vector<std::string>{"nuv/s/4/reading=1", "nuv/s/7/status=1",
                                                "nuv/s/4/status=2", "nuv/s/4/reading=2"}));
    // A status taken out for sending frees its topic; two newer ones share one place again.
    queue.Push(Status(4, 3));
    queue.Push(Status(4, 4));
    EXPECT_EQ(Drain(queue), std::vector<std::string>{"4"});
}

TEST(MessageQueue, ADroppedStatusFreesItsTopic) {
    MessageQueue queue(2);
    queue.Push(Status(4, 1));
    queue.Push(Reading(1));
    queue.Push(Reading(2));  // the status is the oldest, and goes
    EXPECT_EQ(queue.Dropped(), 1U);
    queue.Push(Status(4, 2));
    EXPECT_EQ(queue.Dropped(), 2U);
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"2", "2"}));
}

TEST(MessageQueue, HoldsOneMessageAtLeast) {
    MessageQueue queue(0);
    queue.Push(Reading(1));
    queue.Push(Reading(2));
    EXPECT_EQ(Drain(queue), std::vector<std::string>{"2"});
}

TEST(RetryDelay, DoublesFromTheFirstUpToTheLongest) {
    using std::chrono::milliseconds;
    const milliseconds first(1000);
    const milliseconds max(30000);
    EXPECT_EQ(RetryDelay(1, first, max), milliseconds(1000));
    EXPECT_EQ(RetryDelay(2, first, max), milliseconds(2000));
    EXPECT_EQ(RetryDelay(5, first, max), milliseconds(16000));
    EXPECT_EQ(RetryDelay(6, first, max), milliseconds(30000));
    EXPECT_EQ(RetryDelay(1000, first, max), milliseconds(30000));
}

}  // namespace
}  // namespace nuv::mqtt
