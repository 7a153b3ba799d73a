#include "mqtt/Discovery.hpp"

#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "mqtt/Payloads.hpp"
#include "mqtt/Topics.hpp"
#include "protocol/TemperatureRegister.hpp"

namespace nuv::mqtt {
namespace {

MqttMessage SensorDiscovery(const std::string& discoveryPrefix, const std::string& site,
                            const std::string& topicPrefix, int address,
                            const std::string& objectId, const std::string& name,
                            const std::string& valueTemplate) {
    const std::string node = PlainId("nuv_" + site + "_" + std::to_string(address));
    std::string json = "{\"name\":" + JsonString(name) +
                       ",\"unique_id\":" + JsonString(node + "_" + objectId) +
                       ",\"state_topic\":" + JsonString(ReadingTopic(topicPrefix, address)) +
                       ",\"value_template\":" + JsonString(valueTemplate) +
                       ",\"device_class\":\"temperature\",\"state_class\":\"measurement\"" +
                       ",\"unit_of_measurement\":\"°C\",\"suggested_display_precision\":2" +
                       ",\"availability_topic\":" + JsonString(BridgeTopic(topicPrefix)) +
                       ",\"payload_available\":" + JsonString(kOnline) +
                       ",\"payload_not_available\":" + JsonString(kOffline) +
                       ",\"device\":{\"identifiers\":[" + JsonString(node) +
                       "],\"name\":" + JsonString("NUV " + std::to_string(address) + " " + site) +
                       ",\"model\":\"NUV\"}}";
    return {discoveryPrefix + "/sensor/" + node + "/" + objectId + "/config", std::move(json),
            true};
}

}  // namespace

MqttMessage LevelDiscovery(const std::string& discoveryPrefix, const std::string& site,
                           const std::string& topicPrefix, int address, int channel, int level) {
    return SensorDiscovery(discoveryPrefix, site, topicPrefix, address,
                           SensorColumnName(channel, level),
                           "channel " + std::to_string(channel) + " level " + std::to_string(level),
                           "{{ value_json.channels[" + std::to_string(channel) + "][" +
                               std::to_string(level - 1) + "] }}");
}

MqttMessage ModuleDiscovery(const std::string& discoveryPrefix, const std::string& site,
                            const std::string& topicPrefix, int address) {
    return SensorDiscovery(discoveryPrefix, site, topicPrefix, address, "module",
                           "module temperature", "{{ value_json.module_temperature }}");
}

DiscoveryAnnouncer::DiscoveryAnnouncer(std::string discoveryPrefix, std::string site,
                                       std::string topicPrefix)
    : discoveryPrefix_(std::move(discoveryPrefix)),
      site_(std::move(site)),
      topicPrefix_(std::move(topicPrefix)) {}

std::vector<MqttMessage> DiscoveryAnnouncer::NewSensors(int address,
                                                        const TemperatureReading& reading) {
    std::vector<MqttMessage> messages;
    if (announced_.emplace(address, "module").second) {
        messages.push_back(ModuleDiscovery(discoveryPrefix_, site_, topicPrefix_, address));
    }
    for (int c = 0; c < 10; ++c) {
        for (int s = 0; s < reading.sensorsPerChannel; ++s) {
            if (SensorErrorCode(reading.Raw(c, s)) == SensorPresenceResult) continue;
            if (announced_.emplace(address, SensorColumnName(c, s + 1)).second) {
                messages.push_back(
                    LevelDiscovery(discoveryPrefix_, site_, topicPrefix_, address, c, s + 1));
            }
        }
    }
    return messages;
}

}  // namespace nuv::mqtt
