#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "measure/TemperatureReading.hpp"
#include "mqtt/MqttMessage.hpp"

namespace nuv::mqtt {

// Home Assistant's MQTT discovery: one retained config message per sensor, so that every level
// of a channel that has a sensor appears as a temperature entity of its module's device, with
// the bridge's "online"/"offline" as its availability.
//   topic:   homeassistant/sensor/nuv_SITE_4/c3s2/config
//   payload: {"name":"channel 3 level 2","unique_id":"nuv_SITE_4_c3s2",
//             "state_topic":"nuv/SITE/4/reading","value_template":"{{ value_json.channels[3][1]
//             }}",
//             ... ,"device":{"identifiers":["nuv_SITE_4"],"name":"NUV 4 SITE","model":"NUV"}}
// A null value (a sensor error, a failed reading) renders as None, which Home Assistant shows
// as unknown.

inline constexpr const char* kDiscoveryPrefix = "homeassistant";

// The config message of one level (1..S) of one channel (0..9) of the module at `address`.
MqttMessage LevelDiscovery(const std::string& discoveryPrefix, const std::string& site,
                           const std::string& topicPrefix, int address, int channel, int level);
// The config message of the module's own temperature.
MqttMessage ModuleDiscovery(const std::string& discoveryPrefix, const std::string& site,
                            const std::string& topicPrefix, int address);

// Announces each sensor once: a level counts as present when its register holds anything but
// the no-presence value (no probe there); the module's own temperature is always present.
class DiscoveryAnnouncer {
  public:
    DiscoveryAnnouncer(std::string discoveryPrefix, std::string site, std::string topicPrefix);

    // The config messages of the sensors of `reading` not announced before for `address`.
    std::vector<MqttMessage> NewSensors(int address, const TemperatureReading& reading);
    // Everything is announced again from the next reading on (a broker that lost its retained
    // messages).
    void Forget() { announced_.clear(); }

  private:
    std::string discoveryPrefix_;
    std::string site_;
    std::string topicPrefix_;
    std::set<std::pair<int, std::string>> announced_;  // address, object id
};

}  // namespace nuv::mqtt
