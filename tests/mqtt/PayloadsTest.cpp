#include "mqtt/Payloads.hpp"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

namespace nuv::mqtt {
namespace {

// Two levels a channel keep the written-out payloads short; the code knows no special count.
TemperatureReading TwoLevels(std::uint16_t module = 0x01F4) {
    TemperatureReading reading;
    reading.sensorsPerChannel = 2;
    reading.sensors = {0x0191, 0xFFF8,   // 25.0625, -0.5
                       0xF040, 0x0000,   // short circuit, 0
                       0xF050, 0xF060,   // CRC error, no presence
                       0x7FFF, 0xF000};  // 2047.9375, -256
    for (int c = 4; c < 10; ++c) reading.sensors.insert(reading.sensors.end(), {0x0180, 0x0188});
    reading.module = module;
    return reading;
}

QJsonObject Parsed(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

TEST(ReadingJson, DegreesOfEverySensorWithErrorValuesAsNullAndTheirCodes) {
    const std::string json = ReadingJson(4, "2026-01-01T13:05:09+01:00", 250, TwoLevels(), 2);
    EXPECT_EQ(json,
              R"({"time":"2026-01-01T13:05:09+01:00","address":4,"sensors_per_channel":2,)"
              R"("result":250,"module_temperature":31.25,"channels":[[25.0625,-0.5],[null,0],)"
              R"([null,null],[2047.9375,-256],[24,24.5],[24,24.5],[24,24.5],[24,24.5],)"
              R"([24,24.5],[24,24.5]],"sensor_errors":{"c1s1":252,"c2s1":251,"c2s2":250}})");

    // The same, as a consumer reads it.
    const QJsonObject reading = Parsed(json);
    EXPECT_EQ(reading["time"].toString(), "2026-01-01T13:05:09+01:00");
    EXPECT_EQ(reading["address"].toInt(), 4);
    EXPECT_EQ(reading["result"].toInt(), 250);
    EXPECT_EQ(reading["module_temperature"].toDouble(), 31.25);
    const QJsonArray channels = reading["channels"].toArray();
    ASSERT_EQ(channels.size(), 10);
    EXPECT_EQ(channels[0].toArray()[0].toDouble(), 25.0625);
    EXPECT_TRUE(channels[1].toArray()[0].isNull());
    EXPECT_EQ(channels[1].toArray()[1].toDouble(), 0.0);
    EXPECT_EQ(reading["sensor_errors"].toObject()["c1s1"].toInt(), 252);
}

TEST(ReadingJson, TheModuleRegisterIsATemperatureWhateverItHolds) {
    const QJsonObject reading = Parsed(ReadingJson(1, "t", 0, TwoLevels(0xF060), 2));
    EXPECT_EQ(reading["module_temperature"].toDouble(), -250.0);
    EXPECT_EQ(reading["sensor_errors"].toObject().size(), 3);  // the module's not among them
}

TEST(ReadingJson, AFailedReadingHasEveryValueNullAndItsResult) {
    const std::string json = ReadingJson(7, "2026-01-01T13:05:09+01:00", 17, std::nullopt, 2);
    EXPECT_EQ(json, R"({"time":"2026-01-01T13:05:09+01:00","address":7,"sensors_per_channel":2,)"
                    R"("result":17,"module_temperature":null,"channels":[[null,null],[null,null],)"
                    R"([null,null],[null,null],[null,null],[null,null],[null,null],[null,null],)"
                    R"([null,null],[null,null]],"sensor_errors":{}})");
}

TEST(ReadingJson, TakesTheLevelsOfTheReadingItself) {
    TemperatureReading reading;
    reading.sensorsPerChannel = 16;
    reading.sensors.assign(160, 0x0190);
    const QJsonObject parsed = Parsed(ReadingJson(2, "t", 0, reading, 10));
    EXPECT_EQ(parsed["sensors_per_channel"].toInt(), 16);
    EXPECT_EQ(parsed["channels"].toArray()[9].toArray().size(), 16);
    EXPECT_EQ(parsed["channels"].toArray()[9].toArray()[15].toDouble(), 25.0);
}

TEST(JsonString, EscapesQuotesBackslashesAndControlsOnly) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01Łódź"), R"("a\"b\\c\u000a\u0001Łódź")");
    EXPECT_EQ(JsonString(""), R"("")");
}

TEST(JsonString, ABytesThatIsNotUtf8BecomesTheReplacementCharacter) {
    EXPECT_EQ(JsonString("a\xff\xc5"), R"("a\ufffd\ufffd")");
    // Any bytes at all give a string that a JSON parser takes, and reads back as the text where
    // the text was UTF-8.
    std::mt19937 random(23);
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        const auto size = random() % 10;
        for (unsigned n = 0; n < size; ++n) text += static_cast<char>(random() % 256);
        const std::string json = "{\"k\":" + JsonString(text) + "}";
        QJsonParseError error{};
        const QJsonDocument parsed =
            QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << ::testing::PrintToString(text);
        const QString back = parsed.object()["k"].toString();
        if (QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8() ==
            QByteArray::fromStdString(text)) {
            EXPECT_EQ(back.toStdString(), text);
        }
    }
}

TEST(ModuleStatus, CountsEachReadingByItsResult) {
    ModuleCounters counters;
    for (const LinkResult code : {0, 252, 250, 17, 28, 0}) {
        CountReading(counters, code);
    }
    EXPECT_EQ(counters.readings, 6U);
    EXPECT_EQ(counters.withSensorErrors, 2U);
    EXPECT_EQ(counters.failed, 2U);
}

TEST(ModuleStatus, PayloadWithTheLastResultAndTheCounters) {
    ModuleStatus status;
    status.address = 4;
    status.time = "2026-01-01T13:05:13+01:00";
    status.lastResult = 17;
    status.lastReadingTime = "2026-01-01T13:05:09+01:00";
    status.counters = {12, 1, 2};
    EXPECT_EQ(StatusJson(status),
              R"({"time":"2026-01-01T13:05:13+01:00","address":4,"last_result":17,)"
              R"("last_reading":"2026-01-01T13:05:09+01:00","readings":12,"failed":1,)"
              R"("with_sensor_errors":2})");
    status.lastReadingTime.reset();
    EXPECT_TRUE(Parsed(StatusJson(status))["last_reading"].isNull());
}

TEST(Messages, ReadingsAreNotRetainedStatusAndBridgeAre) {
    const MqttMessage reading = ReadingMessage("nuv/site", 4, "{}");
    EXPECT_EQ(reading, (MqttMessage{"nuv/site/4/reading", "{}", false}));
    ModuleStatus status;
    status.address = 9;
    const MqttMessage statusMessage = StatusMessage("nuv/site", status);
    EXPECT_EQ(statusMessage.topic, "nuv/site/9/status");
    EXPECT_TRUE(statusMessage.retain);
    EXPECT_EQ(BridgeMessage("nuv/site", true), (MqttMessage{"nuv/site/bridge", "online", true}));
    EXPECT_EQ(BridgeMessage("nuv/site", false), (MqttMessage{"nuv/site/bridge", "offline", true}));
}

}  // namespace
}  // namespace nuv::mqtt
