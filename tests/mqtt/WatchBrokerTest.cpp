// `nuvctl watch --mqtt` against a real mosquitto broker that each test starts on a free
// loopback port, with a subscriber of the test's own: simulated modules on one cable read on a
// virtual clock, their readings and statuses on the broker.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "mqtt/MosquittoPublisher.hpp"
#include "mqtt/testing/Certificates.hpp"
#include "mqtt/testing/LocalBroker.hpp"
#include "mqtt/testing/Subscriber.hpp"
#include "sim/ModuleBus.hpp"
#include "sim/SimFtdi.hpp"
#include "tests/link/LinkFixture.hpp"
#include "tests/mqtt/BrokerFixture.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

using namespace std::chrono_literals;
using mqtt::testing::Eventually;
using mqtt::testing::FindProgram;
using mqtt::testing::LocalBroker;
using mqtt::testing::Received;
using mqtt::testing::Subscriber;
using mqtt::testing::SubscriberOptions;

QJsonObject Json(const std::string& payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

// The second of the minute of a reading's time stamp: the readings of a test are a second apart.
int SecondOf(const Received& message) {
    return Json(message.payload)["time"].toString().mid(17, 2).toInt();
}

std::vector<int> Seconds(const std::vector<Received>& messages) {
    std::vector<int> seconds;
    for (const Received& m : messages) seconds.push_back(SecondOf(m));
    return seconds;
}

// The publisher nuvctl starts, passed through so that the test can act between two messages
// (stop the broker, start it again) and see the queue.
class ObservedPublisher final : public mqtt::Publisher {
  public:
    // `longestWait` keeps the longest wait for the first connection asked of it.
    ObservedPublisher(std::unique_ptr<mqtt::Publisher> inner,
                      std::function<void(const mqtt::MqttMessage&)> before,
                      std::chrono::milliseconds& longestWait)
        : inner_(std::move(inner)), before_(std::move(before)), longestWait_(longestWait) {}
    void Publish(mqtt::MqttMessage message) override {
        if (before_) before_(message);
        inner_->Publish(std::move(message));
    }
    mqtt::ConnectionState WaitForConnection(std::chrono::milliseconds limit) override {
        longestWait_ = std::max(longestWait_, limit);
        return inner_->WaitForConnection(limit);
    }
    mqtt::PublisherStats Stats() const override { return inner_->Stats(); }
    std::optional<std::string> Failure() const override { return inner_->Failure(); }
    std::vector<std::string> TakeEvents() override { return inner_->TakeEvents(); }
    mqtt::CloseReport Close(std::chrono::milliseconds limit) override {
        return inner_->Close(limit);
    }

  private:
    std::unique_ptr<mqtt::Publisher> inner_;
    std::function<void(const mqtt::MqttMessage&)> before_;
    std::chrono::milliseconds& longestWait_;
};

class WatchBroker : public mqtt::testing::BrokerFixture {
  protected:
    WatchBroker() : BrokerFixture("nuv-watch-mqtt") {}

    // nuvctl with its arguments on the simulated bus and the virtual clock; the publisher it
    // starts tries again within 0.4 s after a lost connection.
    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump, out, err};
        environment.interrupted = [this] { return stop && stop(); };
        environment.stopSignal = [] { return SIGTERM; };
        environment.processId = 4242;
        environment.variable = [this](const char* name) -> const char* {
            const auto found = variables.find(name);
            return found == variables.end() ? nullptr : found->second.c_str();
        };
        environment.startPublisher = [this](const mqtt::PublisherOptions& given,
                                            std::string& reason) {
            startedWith = given;
            mqtt::PublisherOptions options = given;
            options.firstRetry = 100ms;
            options.maxRetry = 400ms;
            options.connectTimeout = 3s;
            auto inner = mqtt::StartMosquittoPublisher(options, reason);
            if (!inner) return std::unique_ptr<mqtt::Publisher>();
            auto observed =
                std::make_unique<ObservedPublisher>(std::move(inner), beforePublish, longestWait);
            publisher = observed.get();
            return std::unique_ptr<mqtt::Publisher>(std::move(observed));
        };
        return cli::Run(args, environment);
    }

    void StopBroker() { BrokerFixture::StopBroker(*publisher); }

    // Starts it again and waits until the publisher is back and has sent what waited.
    void RestartBroker() {
        std::string reason;
        ASSERT_TRUE(broker_->Start(reason)) << reason;
        ASSERT_TRUE(Eventually([&] {
            const mqtt::PublisherStats stats = publisher->Stats();
            return stats.connected && stats.queued == 0;
        }));
    }

    bool Says(const std::string& text) const { return err.str().find(text) != std::string::npos; }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    // Three modules on the cable; the one at 7 never answers.
    sim::ModuleBus& bus = sim::AttachModuleBus(device, {1, 4, 7}, {7});
    std::ostringstream out;
    std::ostringstream err;
    std::function<bool()> stop;
    std::map<std::string, std::string> variables;
    std::function<void(const mqtt::MqttMessage&)> beforePublish;
    mqtt::PublisherOptions startedWith;
    // The publisher nuvctl started, while it lives.
    mqtt::Publisher* publisher = nullptr;
    std::chrono::milliseconds longestWait{0};
};

const std::string kNulls10 = "[null,null,null,null,null,null,null,null,null,null]";

TEST_F(WatchBroker, ThreeModulesOnOneBusArriveFieldByFieldAndTheSilentOneIsCounted) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    bus.At(1)->SensorAt(0, 0).fixedRaw = 0x0191;  // 25.0625 degrees
    bus.At(1)->SensorAt(5, 2).fixedRaw = 0xFF5E;  // -10.125 degrees
    bus.At(4)->SensorAt(0, 0).fixedRaw = 0x0140;  // 20 degrees
    bus.At(4)->SensorAt(9, 9).fixedRaw = 0xF060;  // no probe
    bus.At(4)->moduleTemperatureRaw = 0xFFF8;     // -0.5 degrees
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4,7", "--count", "2", "--interval", "10",
                   "--mqtt", broker_->Url(), "--site", "plant"}),
              1)
        << err.str();
    EXPECT_EQ(startedWith.clientId, "nuvctl-plant-4242");
    EXPECT_EQ(startedWith.bridgeTopic, "nuv/plant/bridge");
    EXPECT_EQ(startedWith.queueSize, 10000U);
    // Each module asked twice in its turn, the silent one too.
    EXPECT_EQ(device.Written(), Hex("01 03 00 00 00 65 85 E1 04 03 00 00 00 65 85 B4 "
                                    "07 03 00 00 00 65 85 87 01 03 00 00 00 65 85 E1 "
                                    "04 03 00 00 00 65 85 B4 07 03 00 00 00 65 85 87"));

    for (const std::string topic :
         {"nuv/plant/1/reading", "nuv/plant/4/reading", "nuv/plant/7/reading"}) {
        ASSERT_TRUE(subscriber->WaitForCount(topic, 2, 5s)) << topic;
    }
    const std::vector<Received> one = subscriber->On("nuv/plant/1/reading");
    const QJsonObject first = Json(one[0].payload);
    EXPECT_FALSE(one[0].retain);
    EXPECT_EQ(first["time"].toString(), "2026-01-01T00:00:00+00:00");
    EXPECT_EQ(first["address"].toInt(), 1);
    EXPECT_EQ(first["sensors_per_channel"].toInt(), 10);
    EXPECT_EQ(first["result"].toInt(), 0);
    EXPECT_EQ(first["module_temperature"].toDouble(), 31.25);
    const QJsonArray channels = first["channels"].toArray();
    ASSERT_EQ(channels.size(), 10);
    EXPECT_EQ(channels[0].toArray().size(), 10);
    EXPECT_EQ(channels[0].toArray()[0].toDouble(), 25.0625);
    EXPECT_EQ(channels[5].toArray()[2].toDouble(), -10.125);
    EXPECT_TRUE(first["sensor_errors"].toObject().isEmpty());
    EXPECT_EQ(Json(one[1].payload)["time"].toString(), "2026-01-01T00:00:10+00:00");

    const QJsonObject four = Json(subscriber->On("nuv/plant/4/reading")[0].payload);
    EXPECT_EQ(four["address"].toInt(), 4);
    EXPECT_EQ(four["result"].toInt(), 250);
    EXPECT_EQ(four["module_temperature"].toDouble(), -0.5);
    EXPECT_EQ(four["channels"].toArray()[0].toArray()[0].toDouble(), 20.0);
    EXPECT_TRUE(four["channels"].toArray()[9].toArray()[9].isNull());
    EXPECT_EQ(four["sensor_errors"].toObject(), QJsonObject({{"c9s10", 250}}));

    // The silent module: every value null, the failure's code, both times.
    std::string nulls = "[" + kNulls10;
    for (int c = 1; c < 10; ++c) nulls += "," + kNulls10;
    nulls += "]";
    const std::vector<Received> seven = subscriber->On("nuv/plant/7/reading");
    EXPECT_EQ(seven[0].payload,
              "{\"time\":\"2026-01-01T00:00:00+00:00\",\"address\":7,\"sensors_per_channel\":10,"
              "\"result\":17,\"module_temperature\":null,\"channels\":" +
                  nulls + ",\"sensor_errors\":{}}");
    EXPECT_EQ(Json(seven[1].payload)["time"].toString(), "2026-01-01T00:00:10+00:00");

    // The last status of each module, retained: its counters on their own. (A status that
    // still waited when its module's next one came was replaced by it.)
    ASSERT_TRUE(subscriber->WaitUntil(
        [](const std::vector<Received>& messages) {
            int last = 0;
            for (const Received& m : messages) {
                if (m.topic.ends_with("/status")) last += Json(m.payload)["readings"].toInt() == 2;
            }
            return last == 3;
        },
        5s));
    const std::optional<Received> status7 = Retained("nuv/plant/7/status");
    ASSERT_TRUE(status7);
    EXPECT_TRUE(status7->retain);
    EXPECT_EQ(status7->payload,
              "{\"time\":\"2026-01-01T00:00:10+00:00\",\"address\":7,\"last_result\":17,"
              "\"last_reading\":null,\"readings\":2,\"failed\":2,\"with_sensor_errors\":0}");
    const QJsonObject status4 = Json(subscriber->On("nuv/plant/4/status").back().payload);
    EXPECT_EQ(status4["last_result"].toInt(), 250);
    EXPECT_EQ(status4["last_reading"].toString(), "2026-01-01T00:00:10+00:00");
    EXPECT_EQ(status4["readings"].toInt(), 2);
    EXPECT_EQ(status4["failed"].toInt(), 0);
    EXPECT_EQ(status4["with_sensor_errors"].toInt(), 2);
    const QJsonObject status1 = Json(subscriber->On("nuv/plant/1/status").back().payload);
    EXPECT_EQ(status1["failed"].toInt(), 0);
    EXPECT_EQ(status1["with_sensor_errors"].toInt(), 0);

    // The bridge said "online", and "offline" at its end.
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/bridge", 2, 5s));
    EXPECT_EQ(subscriber->On("nuv/plant/bridge")[0].payload, "online");
    EXPECT_EQ(subscriber->On("nuv/plant/bridge")[1].payload, "offline");

    // The log: the connection, the silent module's failure once, each module's summary.
    EXPECT_TRUE(Says("nuvctl: connected to " + broker_->Url() + "\n")) << err.str();
    EXPECT_TRUE(Says("nuvctl: module 7: reading 1 failed: no answer from the module")) << err.str();
    EXPECT_FALSE(Says("reading 2 failed")) << err.str();
    EXPECT_TRUE(
        Says("nuvctl: module 1: 2 readings, 0 failed\n"
             "nuvctl: module 4: 2 readings, 0 failed\n"
             "nuvctl: module 7: 2 readings, 2 failed (no reading succeeded)\n"))
        << err.str();
    EXPECT_TRUE(Says("nuvctl: " + broker_->Url() + ": ")) << err.str();
    EXPECT_TRUE(Says(" messages delivered; the bridge said \"offline\"\n")) << err.str();
    EXPECT_FALSE(Says("dropped")) << err.str();
}

// The broker away for 20 readings: they wait, and arrive each once and in order when it is back.
TEST_F(WatchBroker, ReadingsWaitWhileTheBrokerIsAwayAndArriveOnceInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    int readings = 0;
    beforePublish = [&](const mqtt::MqttMessage& message) {
        if (!message.topic.ends_with("/reading")) return;
        if (readings == 5) StopBroker();
        if (readings == 25) RestartBroker();
        ++readings;
    };
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "30", "--interval", "1",
                   "--mqtt", broker_->Url(), "--site", "plant"}),
              0)
        << err.str();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/4/reading", 30, 10s))
        << subscriber->On("nuv/plant/4/reading").size();
    std::vector<int> all;
    for (int second = 0; second < 30; ++second) all.push_back(second);
    EXPECT_EQ(Seconds(subscriber->On("nuv/plant/4/reading")), all);
    EXPECT_TRUE(Says("nuvctl: connection to " + broker_->Url() + " lost: ")) << err.str();
    EXPECT_TRUE(Says("nuvctl: connected to " + broker_->Url() + " again; ")) << err.str();
    EXPECT_FALSE(Says("dropped")) << err.str();
    EXPECT_TRUE(Says("nuvctl: 30 readings, 0 failed\n")) << err.str();
}

// Beyond the queue's size the oldest are dropped, and exactly their number is said.
TEST_F(WatchBroker, BeyondTheQueueSizeExactlyTheDroppedReadingsAreCountedAndSaid) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    int readings = 0;
    beforePublish = [&](const mqtt::MqttMessage& message) {
        if (!message.topic.ends_with("/reading")) return;
        if (readings == 5) StopBroker();
        if (readings == 25) RestartBroker();
        ++readings;
    };
    // 20 readings and their statuses while the broker is away, in a queue of 8: the status
    // takes one place (a newer one replaces it), 7 readings stay, 13 are dropped.
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "30", "--interval", "1",
                   "--mqtt", broker_->Url(), "--site", "plant", "--mqtt-queue", "8"}),
              1);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(startedWith.queueSize, 8U);
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/4/reading", 17, 10s))
        << subscriber->On("nuv/plant/4/reading").size();
    EXPECT_EQ(Seconds(subscriber->On("nuv/plant/4/reading")),
              std::vector<int>({0, 1, 2, 3, 4, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}));
    EXPECT_TRUE(Says("nuvctl: the queue is full (8 messages): the oldest are dropped\n"))
        << err.str();
    EXPECT_TRUE(Says("nuvctl: connected to " + broker_->Url() +
                     " again; 8 messages waiting go out, 13 of the oldest were dropped\n"))
        << err.str();
    EXPECT_TRUE(Says(", 13 dropped for want of room")) << err.str();
}

// Ctrl-C or SIGTERM: what waits goes out, "offline" replaces "online", and the bridge ends well.
TEST_F(WatchBroker, AStopDeliversWhatWaitsSaysOfflineAndEndsWithZero) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    int readings = 0;
    beforePublish = [&](const mqtt::MqttMessage& message) {
        readings += message.topic.ends_with("/reading") ? 1 : 0;
    };
    stop = [&] { return readings >= 3; };
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--interval", "2", "--mqtt",
                   broker_->Url(), "--site", "plant"}),
              0)
        << err.str();
    // The round under way ended at its next exchange: module 4 was not read a second time.
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/bridge", 2, 5s));
    EXPECT_EQ(subscriber->On("nuv/plant/bridge").back().payload, "offline");
    EXPECT_EQ(subscriber->On("nuv/plant/1/reading").size(), 2U);
    EXPECT_EQ(subscriber->On("nuv/plant/4/reading").size(), 1U);
    EXPECT_TRUE(Says("nuvctl: module 1: 2 readings, 0 failed\n")) << err.str();
    // The same stop without a broker is a stop by a signal, as before.
    readings = 0;
    stop = [&] { return device.Written().size() >= 5 * 8; };
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--interval", "2"}), 143);
}

// The program itself, stopped by SIGTERM as a service manager stops it: a clean end (0), the
// readings delivered, "offline" retained.
TEST_F(WatchBroker, TheProgramStoppedBySigtermEndsWithZeroAndLeavesOffline) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    const std::string url = broker_->Url();
    std::vector<std::string> args{NUVCTL_PATH, "--simulate-bus", "4",     "watch",  "--address",
                                  "4",         "--interval",     "1",     "--mqtt", url,
                                  "--site",    "service",        "--json"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (folder_ / "nuvctl.err").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, NUVCTL_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const bool arrived = subscriber->WaitForCount("nuv/service/4/reading", 2, 10s);
    kill(pid, SIGTERM);
    int status = -1;
    const bool ended = Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10s);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_TRUE(arrived) << text;
    ASSERT_TRUE(ended) << text;
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("the bridge said \"offline\""), std::string::npos) << text;
    const std::optional<Received> bridge = Retained("nuv/service/bridge");
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->payload, "offline");
}

TEST_F(WatchBroker, HomeAssistantHearsOfEverySensorThatIsThereOnce) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    SubscriberOptions options;
    options.topicFilter = "+/#";  // the bridge's topics and Home Assistant's
    Subscriber* subscriber = Subscribe(options);
    bus.At(4)->SensorAt(9, 9).fixedRaw = 0xF060;  // no probe at channel 9, level 10
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "2", "--mqtt",
                   broker_->Url(), "--site", "plant", "--ha-discovery"}),
              0)
        << err.str();
    // 99 levels and the module's own temperature, announced after the first reading only; the
    // bridge's "offline" comes after all of them.
    ASSERT_TRUE(subscriber->WaitUntil(
        [](const std::vector<Received>& messages) {
            return !messages.empty() && messages.back().payload == "offline";
        },
        5s));
    std::size_t configs = 0;
    for (const Received& m : subscriber->Messages()) {
        configs += m.topic.starts_with("homeassistant/sensor/nuv_plant_4/") ? 1 : 0;
    }
    EXPECT_EQ(configs, 100U);
    EXPECT_TRUE(subscriber->On("homeassistant/sensor/nuv_plant_4/c9s10/config").empty());
    const std::vector<Received> level =
        subscriber->On("homeassistant/sensor/nuv_plant_4/c3s2/config");
    ASSERT_EQ(level.size(), 1U);
    EXPECT_TRUE(Retained("homeassistant/sensor/nuv_plant_4/c3s2/config"));
    const QJsonObject config = Json(level[0].payload);
    EXPECT_EQ(config["state_topic"].toString(), "nuv/plant/4/reading");
    EXPECT_EQ(config["unique_id"].toString(), "nuv_plant_4_c3s2");
    EXPECT_EQ(subscriber->On("homeassistant/sensor/nuv_plant_4/module/config").size(), 1U);
}

TEST_F(WatchBroker, ConfigsDroppedWhileTheBrokerWasAwayAreAnnouncedAgain) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    // The broker goes before the first config and comes back before the 81st reading: the
    // smallest queue that takes one module's configs has dropped the oldest of them by then.
    bool away = false;
    int readings = 0;
    beforePublish = [&](const mqtt::MqttMessage& message) {
        if (!away && message.topic.starts_with("homeassistant/")) {
            away = true;
            StopBroker();
        }
        if (!message.topic.ends_with("/reading")) return;
        if (readings == 80) RestartBroker();
        ++readings;
    };
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "84", "--mqtt",
                   broker_->Url(), "--site", "plant", "--ha-discovery", "--mqtt-queue", "163"}),
              1)
        << err.str();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(Says("19 dropped")) << err.str();
    // Home Assistant, coming now, finds every level and the module's own temperature retained.
    SubscriberOptions options;
    options.clientId = "nuv-test-home-assistant";
    options.keepSession = false;
    options.topicFilter = "homeassistant/#";
    Subscriber* late = Subscribe(options);
    const auto allConfigs = [](const std::vector<Received>& messages) {
        std::set<std::string> topics;
        for (const Received& m : messages) topics.insert(m.topic);
        return topics.size() >= 101;
    };
    EXPECT_TRUE(late->WaitUntil(allConfigs, 5s)) << late->Messages().size() << " configs";
    std::set<std::string> configs;
    for (const Received& m : late->Messages()) configs.insert(m.topic);
    EXPECT_EQ(configs.size(), 101U);
    EXPECT_EQ(configs.count("homeassistant/sensor/nuv_plant_4/c0s1/config"), 1U);
}

TEST_F(WatchBroker, AStopEndsTheFirstWaitForABrokerThatIsNotThere) {
    // Nothing listens on the port: the publisher tries again and again. The watch waits in
    // slices that a stop ends, and closes the bridge with 0.
    stop = [] { return true; };
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "4", "--mqtt", "mqtt://127.0.0.1:1"}), 0)
        << err.str();
    EXPECT_GT(longestWait.count(), 0);
    EXPECT_LE(longestWait.count(), 100);
    EXPECT_TRUE(
        Says("nuvctl: mqtt://127.0.0.1:1 never answered: check the host, the port and "
             "that a broker runs there\n"))
        << err.str();
}

TEST_F(WatchBroker, DiscoveryNeedsAQueueThatTakesEveryModulesConfigs) {
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--mqtt", "mqtt://127.0.0.1:1",
                   "--ha-discovery", "--mqtt-queue", "325"}),
              2);
    EXPECT_TRUE(
        Says("--ha-discovery announces up to 161 sensors a module through the queue: "
             "with 2 module(s) give --mqtt-queue 326 or more"))
        << err.str();
}

class WatchBrokerWithLogins : public WatchBroker {
  protected:
    void SetUp() override {
        WatchBroker::SetUp();
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(StartBrokerWithLogins("nuv/plant/bridge"));
    }

    std::string AuthFile(const std::string& name, const std::string& text, int mode = 0600) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path) << text;
        chmod(path.c_str(), static_cast<mode_t>(mode));
        return path;
    }

    Subscriber* Watcher() {
        SubscriberOptions options;
        options.user = "watcher";
        options.password = "watcher";
        return Subscribe(options);
    }

    std::vector<std::string> Watch(const std::vector<std::string>& more) {
        std::vector<std::string> args{"--simulate", "watch",  "--address",    "4",      "--count",
                                      "1",          "--mqtt", broker_->Url(), "--site", "plant"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(WatchBrokerWithLogins, TheRightCredentialsPublishAndTheFileWinsOverTheEnvironment) {
    Subscriber* subscriber = Watcher();
    // The environment's are wrong; the file named on the command line is used.
    variables = {{"NUV_MQTT_USER", "bridge"}, {"NUV_MQTT_PASSWORD", "wrong"}};
    ASSERT_EQ(Run(Watch({"--mqtt-auth", AuthFile("auth", "bridge\nright\n")})), 0) << err.str();
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/4/reading", 1, 5s));
    ASSERT_TRUE(startedWith.credentials);
    EXPECT_EQ(startedWith.credentials->user, "bridge");
    EXPECT_EQ(startedWith.credentials->password, "right");

    // Without a file, the environment's.
    variables = {{"NUV_MQTT_USER", "bridge"}, {"NUV_MQTT_PASSWORD", "right"}};
    ASSERT_EQ(Run(Watch({})), 0) << err.str();
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/4/reading", 2, 5s));
}

TEST_F(WatchBrokerWithLogins, WrongCredentialsEndWithTheBrokersReasonBeforeAnyReading) {
    EXPECT_EQ(Run(Watch({"--mqtt-auth", AuthFile("auth", "bridge\nwrong\n")})), 1);
    EXPECT_EQ(err.str(), "nuvctl: the broker at " + broker_->Url() +
                             " refused the connection: Not authorized\n");
    EXPECT_TRUE(device.Written().empty());
    EXPECT_EQ(out.str(), "");
    // None at all.
    EXPECT_EQ(Run(Watch({})), 1);
    EXPECT_TRUE(Says("refused the connection: Not authorized\n")) << err.str();
}

TEST_F(WatchBrokerWithLogins, AReadingTheAclForbidsEndsTheWatchWithOneAndTheReason) {
    Subscriber* subscriber = Watcher();
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "5", "--interval", "1",
                   "--mqtt", broker_->Url(), "--site", "plant", "--mqtt-auth",
                   AuthFile("auth", "reader\nreader\n")}),
              1);
    EXPECT_TRUE(Says("nuvctl: the broker at " + broker_->Url() +
                     " refused a message on nuv/plant/4/reading: Not authorized\n"))
        << err.str();
    EXPECT_TRUE(subscriber->On("nuv/plant/4/reading").empty());
}

TEST_F(WatchBrokerWithLogins, ACredentialsFileThatCannotBeUsedIsAFailureWithItsReason) {
    const std::string open = AuthFile("open", "bridge\nright\n", 0644);
    EXPECT_EQ(Run(Watch({"--mqtt-auth", open})), 1);
    EXPECT_TRUE(Says("nuvctl: --mqtt-auth: ")) << err.str();
    EXPECT_TRUE(Says("chmod 600")) << err.str();
    const std::string missing = (folder_ / "missing").string();
    EXPECT_EQ(Run(Watch({"--mqtt-auth", missing})), 1);
    EXPECT_TRUE(Says("nuvctl: --mqtt-auth: ")) << err.str();
    EXPECT_TRUE(Says("No such file or directory")) << err.str();
    // A password in the environment without a user.
    variables = {{"NUV_MQTT_PASSWORD", "right"}};
    EXPECT_EQ(Run(Watch({})), 1);
    EXPECT_TRUE(Says("NUV_MQTT_USER")) << err.str();
    EXPECT_TRUE(device.Written().empty());
}

class WatchBrokerWithTls : public WatchBroker {
  protected:
    void SetUp() override {
        WatchBroker::SetUp();
        if (IsSkipped()) return;
        std::string reason;
        ASSERT_TRUE(mqtt::testing::MakeTestCertificates(folder_.string(), reason)) << reason;
        tlsPort_ = mqtt::testing::FreePort();
        ASSERT_NO_FATAL_FAILURE(
            StartBroker(mqtt::testing::TlsListenerConfig(folder_.string(), tlsPort_)));
    }
    std::string TlsUrl() const { return "mqtts://127.0.0.1:" + std::to_string(tlsPort_); }
    int tlsPort_ = 0;
};

TEST_F(WatchBrokerWithTls, TheAuthorityThatSignedTheBrokerPublishesAnotherIsRefused) {
    Subscriber* subscriber = Subscribe();  // on the plain listener
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "1", "--mqtt", TlsUrl(),
                   "--site", "plant", "--mqtt-ca", (folder_ / "ca.crt").string()}),
              0)
        << err.str();
    ASSERT_TRUE(subscriber->WaitForCount("nuv/plant/4/reading", 1, 5s));
    EXPECT_EQ(startedWith.caFile, (folder_ / "ca.crt").string());

    EXPECT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "1", "--mqtt", TlsUrl(),
                   "--site", "plant", "--mqtt-ca", (folder_ / "other.crt").string()}),
              1);
    EXPECT_EQ(err.str().rfind("nuvctl: TLS with " + TlsUrl() + " failed: ", 0), 0U) << err.str();
    EXPECT_TRUE(Says("certificate verify failed")) << err.str();
    EXPECT_EQ(subscriber->On("nuv/plant/4/reading").size(), 1U);

    // An authority file that cannot be read is said at once.
    EXPECT_EQ(Run({"--simulate", "watch", "--count", "1", "--mqtt", TlsUrl(), "--mqtt-ca",
                   (folder_ / "missing.crt").string()}),
              1);
    EXPECT_EQ(err.str(), "nuvctl: cannot read the certificate authority " +
                             (folder_ / "missing.crt").string() + ": No such file or directory\n");
}

}  // namespace
}  // namespace nuv::test
