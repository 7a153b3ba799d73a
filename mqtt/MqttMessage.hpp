#pragma once

#include <string>

namespace nuv::mqtt {

// One message for the broker. Every message goes out with QoS 1 (at least once); a retained one
// is what a subscriber gets first when it subscribes later.
struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retain = false;

    bool operator==(const MqttMessage&) const = default;
};

}  // namespace nuv::mqtt
