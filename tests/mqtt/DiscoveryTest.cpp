#include "mqtt/Discovery.hpp"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace nuv::mqtt {
namespace {

TemperatureReading AllPresent(int levels) {
    TemperatureReading reading;
    reading.sensorsPerChannel = levels;
    reading.sensors.assign(static_cast<std::size_t>(10 * levels), 0x0190);
    reading.module = 0x01F4;
    return reading;
}

std::vector<std::string> Topics(const std::vector<MqttMessage>& messages) {
    std::vector<std::string> topics;
    for (const MqttMessage& m : messages) topics.push_back(m.topic);
    return topics;
}

TEST(Discovery, OneRetainedTemperatureSensorPerLevel) {
    const MqttMessage m = LevelDiscovery("homeassistant", "Łódź 1", "nuv/Łódź 1", 4, 3, 2);
    EXPECT_EQ(m.topic, "homeassistant/sensor/nuv_____d___1_4/c3s2/config");
    EXPECT_TRUE(m.retain);
    EXPECT_EQ(m.payload,
              R"({"name":"channel 3 level 2","unique_id":"nuv_____d___1_4_c3s2",)"
              R"("state_topic":"nuv/Łódź 1/4/reading",)"
              R"("value_template":"{{ value_json.channels[3][1] }}",)"
              R"("device_class":"temperature","state_class":"measurement",)"
              R"("unit_of_measurement":"°C","suggested_display_precision":2,)"
              R"("availability_topic":"nuv/Łódź 1/bridge","payload_available":"online",)"
              R"("payload_not_available":"offline","device":{"identifiers":["nuv_____d___1_4"],)"
              R"("name":"NUV 4 Łódź 1","model":"NUV"}})");
    EXPECT_FALSE(QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).isNull());
}

TEST(Discovery, TheModuleTemperatureIsASensorOfItsOwn) {
    const MqttMessage m = ModuleDiscovery("homeassistant", "site", "nuv/site", 7);
    EXPECT_EQ(m.topic, "homeassistant/sensor/nuv_site_7/module/config");
    const QJsonObject config =
        QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
    EXPECT_EQ(config["value_template"].toString(), "{{ value_json.module_temperature }}");
    EXPECT_EQ(config["unique_id"].toString(), "nuv_site_7_module");
}

TEST(DiscoveryAnnouncer, AnnouncesThePresentLevelsOnce) {
    DiscoveryAnnouncer announcer("homeassistant", "site", "nuv/site");
    TemperatureReading reading = AllPresent(2);
    reading.sensors[2 * 2 + 1] = 0xF060;  // channel 2, level 2: no probe there
    reading.sensors[5 * 2 + 0] = 0xF040;  // channel 5, level 1: shorted, but a probe is there

    const std::vector<std::string> first = Topics(announcer.NewSensors(4, reading));
    EXPECT_EQ(first.size(), 1U + 19U);
    EXPECT_EQ(first.front(), "homeassistant/sensor/nuv_site_4/module/config");
    EXPECT_EQ(std::count(first.begin(), first.end(), "homeassistant/sensor/nuv_site_4/c2s2/config"),
              0);
    EXPECT_EQ(std::count(first.begin(), first.end(), "homeassistant/sensor/nuv_site_4/c5s1/config"),
              1);
    EXPECT_TRUE(announcer.NewSensors(4, reading).empty());

    // The probe is plugged in: only the new level is announced.
    reading.sensors[2 * 2 + 1] = 0x0190;
    EXPECT_EQ(Topics(announcer.NewSensors(4, reading)),
              std::vector<std::string>{"homeassistant/sensor/nuv_site_4/c2s2/config"});
    // Another module has sensors of its own.
    EXPECT_EQ(announcer.NewSensors(7, reading).size(), 21U);
    // A broker that lost its retained messages hears of all of them again.
    announcer.Forget();
    EXPECT_EQ(announcer.NewSensors(4, reading).size(), 21U);
}

}  // namespace
}  // namespace nuv::mqtt
