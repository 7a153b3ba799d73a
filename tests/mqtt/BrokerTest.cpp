// The publisher against a real mosquitto broker that each test starts on a free loopback port
// with a configuration of its own, and a subscriber of the test's own on that broker.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "mqtt/MosquittoPublisher.hpp"
#include "mqtt/Payloads.hpp"
#include "mqtt/Topics.hpp"
#include "mqtt/testing/Certificates.hpp"
#include "mqtt/testing/LocalBroker.hpp"
#include "mqtt/testing/Subscriber.hpp"
#include "tests/mqtt/BrokerFixture.hpp"

namespace nuv::mqtt {
namespace {

using namespace std::chrono_literals;
using testing::Eventually;
using testing::FindProgram;
using testing::LocalBroker;
using testing::Received;
using testing::Subscriber;
using testing::SubscriberOptions;

const std::string kPrefix = "nuv/site";
const std::string kBridge = "nuv/site/bridge";
const std::string kReadings = "nuv/site/4/reading";

QJsonObject Json(const std::string& payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

// The reading numbered `n`: its time stamp tells it apart.
MqttMessage NumberedReading(int n) {
    char time[64];
    std::snprintf(time, sizeof time, "2026-01-01T%02d:%02d:%02d+01:00", n / 3600, n / 60 % 60,
                  n % 60);
    return ReadingMessage(kPrefix, 4, ReadingJson(4, time, 17, std::nullopt, 10));
}

int NumberOf(const Received& message) {
    const QString time = Json(message.payload)["time"].toString();
    return time.mid(11, 2).toInt() * 3600 + time.mid(14, 2).toInt() * 60 + time.mid(17, 2).toInt();
}

std::vector<int> Numbers(const std::vector<Received>& messages) {
    std::vector<int> numbers;
    for (const Received& m : messages) numbers.push_back(NumberOf(m));
    return numbers;
}

std::string Listed(const std::vector<int>& numbers) {
    std::string text;
    for (const int n : numbers) text += std::to_string(n) + " ";
    return text;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> numbers;
    for (int n = from; n <= to; ++n) numbers.push_back(n);
    return numbers;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

class Broker : public testing::BrokerFixture {
  protected:
    Broker() : BrokerFixture("nuv-mqtt") {}

    PublisherOptions Options() const {
        PublisherOptions options;
        std::string reason;
        options.broker = *ParseBrokerUrl(broker_->Url(), reason);
        options.clientId = "nuv-test-bridge";
        options.bridgeTopic = kBridge;
        options.firstRetry = 100ms;
        options.maxRetry = 400ms;
        options.connectTimeout = 3s;
        return options;
    }

    std::unique_ptr<Publisher> Start(const PublisherOptions& options) {
        std::string reason;
        auto publisher = StartMosquittoPublisher(options, reason);
        EXPECT_TRUE(publisher) << reason;
        return publisher;
    }
};

TEST_F(Broker, ReadingsArriveFieldByFieldAndTheBridgeSaysOnline) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    auto publisher = Start(Options());
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);

    TemperatureReading reading;
    reading.sensorsPerChannel = 10;
    reading.sensors.assign(100, 0x0180);  // 24 degrees
    reading.sensors[3 * 10 + 1] = 0xF040;
    reading.sensors[9 * 10 + 9] = 0xFFF8;
    reading.module = 0x01F4;
    publisher->Publish(
        ReadingMessage(kPrefix, 4, ReadingJson(4, "2026-01-01T13:05:09+01:00", 252, reading, 10)));
    ModuleStatus status{
        4, "2026-01-01T13:05:09+01:00", 252, "2026-01-01T13:05:09+01:00", {1, 0, 1}};
    publisher->Publish(StatusMessage(kPrefix, status));

    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 5s));
    ASSERT_TRUE(subscriber->WaitForCount("nuv/site/4/status", 1, 5s));
    const QJsonObject json = Json(subscriber->On(kReadings).front().payload);
    EXPECT_EQ(json["time"].toString(), "2026-01-01T13:05:09+01:00");
    EXPECT_EQ(json["address"].toInt(), 4);
    EXPECT_EQ(json["result"].toInt(), 252);
    EXPECT_EQ(json["sensors_per_channel"].toInt(), 10);
    EXPECT_EQ(json["module_temperature"].toDouble(), 31.25);
    const QJsonArray channels = json["channels"].toArray();
    ASSERT_EQ(channels.size(), 10);
    EXPECT_EQ(channels[0].toArray()[0].toDouble(), 24.0);
    EXPECT_TRUE(channels[3].toArray()[1].isNull());
    EXPECT_EQ(channels[9].toArray()[9].toDouble(), -0.5);
    EXPECT_EQ(json["sensor_errors"].toObject(), (QJsonObject{{"c3s2", 252}}));

    const QJsonObject statusJson = Json(subscriber->On("nuv/site/4/status").front().payload);
    EXPECT_EQ(statusJson["last_result"].toInt(), 252);
    EXPECT_EQ(statusJson["readings"].toInt(), 1);
    EXPECT_EQ(statusJson["with_sensor_errors"].toInt(), 1);

    // The bridge's state and the module's status wait for whoever subscribes later; the
    // reading does not.
    const auto bridge = Retained(kBridge);
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->payload, "online");
    EXPECT_TRUE(bridge->retain);
    const auto retainedStatus = Retained("nuv/site/4/status");
    ASSERT_TRUE(retainedStatus);
    EXPECT_EQ(Json(retainedStatus->payload)["readings"].toInt(), 1);
    EXPECT_FALSE(Retained(kReadings));

    ASSERT_TRUE(Eventually([&] { return publisher->Stats().delivered == 2; }));
    EXPECT_TRUE(Contains(publisher->TakeEvents(), "connected to " + broker_->Url()));
    EXPECT_FALSE(publisher->Failure());
}

TEST_F(Broker, CloseDeliversTheQueueThenSaysOfflineAndDisconnectsCleanly) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    auto publisher = Start(Options());
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    for (int n = 0; n < 200; ++n) publisher->Publish(NumberedReading(n));

    // Close ends when all is done, not at its limit.
    const auto start = std::chrono::steady_clock::now();
    const CloseReport report = publisher->Close(10s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(report.undelivered, 0U);
    EXPECT_TRUE(report.offlinePublished);
    for (const std::string& event : publisher->TakeEvents()) {
        EXPECT_EQ(event.find("lost"), std::string::npos) << event;  // an end, not a loss
    }
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 200, 5s));
    EXPECT_EQ(Numbers(subscriber->On(kReadings)), Range(0, 199));

    const auto bridge = Retained(kBridge);
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->payload, "offline");
    // A clean disconnect: the broker discards the will rather than publishing it.
    ASSERT_TRUE(Eventually([&] {
        return broker_->Log().find("Client nuv-test-bridge disconnected.") != std::string::npos;
    }));
    std::vector<std::string> states;
    for (const Received& m : subscriber->On(kBridge)) states.push_back(m.payload);
    EXPECT_EQ(states, (std::vector<std::string>{"online", "offline"}));
}

TEST_F(Broker, TheWillSaysOfflineWhenTheBridgeDiesWithoutAWord) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t probe = fork();
    if (probe == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(NUV_PUBLISHER_PROBE, NUV_PUBLISHER_PROBE, broker_->Url().c_str(), kBridge.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char said[16] = {};
    const ssize_t n = read(out[0], said, sizeof said - 1);
    close(out[0]);
    ASSERT_GT(n, 0);
    EXPECT_STREQ(said, "connected\n");
    ASSERT_TRUE(subscriber->WaitUntil(
        [](const std::vector<Received>& messages) {
            return !messages.empty() && messages.back().payload == "online";
        },
        5s));

    kill(probe, SIGKILL);
    waitpid(probe, nullptr, 0);
    ASSERT_TRUE(subscriber->WaitUntil(
        [](const std::vector<Received>& messages) {
            return !messages.empty() && messages.back().payload == "offline";
        },
        5s));
    EXPECT_EQ(subscriber->On(kBridge).back().topic, kBridge);
    const auto bridge = Retained(kBridge);
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->payload, "offline");
}

TEST_F(Broker, ReadingsWaitWhileTheBrokerIsAwayAndArriveOnceInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    auto publisher = Start(Options());
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    publisher->Publish(NumberedReading(0));
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 5s));

    ASSERT_NO_FATAL_FAILURE(StopBroker(*publisher));
    for (int n = 1; n <= 20; ++n) publisher->Publish(NumberedReading(n));
    EXPECT_EQ(publisher->Stats().queued, 20U);
    std::string reason;
    ASSERT_TRUE(broker_->Start(reason)) << reason;

    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 21, 10s));
    ASSERT_TRUE(Eventually([&] { return publisher->Stats().delivered == 21; }));
    publisher->Close(2s);
    EXPECT_EQ(Numbers(subscriber->On(kReadings)), Range(0, 20));
    const PublisherStats stats = publisher->Stats();
    EXPECT_EQ(stats.dropped, 0U);
    EXPECT_EQ(stats.connects, 2U);
    const std::vector<std::string> events = publisher->TakeEvents();
    EXPECT_TRUE(Contains(events, "connection to " + broker_->Url() +
                                     " lost: the connection was closed; messages wait in the "
                                     "queue (10000 at most)"));
    EXPECT_TRUE(Contains(events, "connected to " + broker_->Url() + " again; 20 messages"));
}

TEST_F(Broker, BeyondTheQueueSizeExactlyTheOldestAreDroppedAndCounted) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    PublisherOptions options = Options();
    options.queueSize = 8;
    auto publisher = Start(options);
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    publisher->Publish(NumberedReading(0));
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 5s));

    ASSERT_NO_FATAL_FAILURE(StopBroker(*publisher));
    for (int n = 1; n <= 20; ++n) publisher->Publish(NumberedReading(n));
    EXPECT_EQ(publisher->Stats().dropped, 12U);
    std::string reason;
    ASSERT_TRUE(broker_->Start(reason)) << reason;

    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 9, 10s));
    ASSERT_TRUE(Eventually([&] { return publisher->Stats().delivered == 9; }));
    publisher->Close(2s);
    std::vector<int> expected{0};
    for (int n = 13; n <= 20; ++n) expected.push_back(n);
    EXPECT_EQ(Numbers(subscriber->On(kReadings)), expected);
    EXPECT_EQ(publisher->Stats().dropped, 12U);
    const std::vector<std::string> events = publisher->TakeEvents();
    EXPECT_TRUE(Contains(events, "the queue is full (8 messages): the oldest are dropped"));
    EXPECT_TRUE(Contains(events, "8 messages waiting go out, 12 of the oldest were dropped"));
}

TEST_F(Broker, ARestartInTheMiddleOfAStreamLosesNothingAndKeepsTheOrder) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    Subscriber* subscriber = Subscribe();
    auto publisher = Start(Options());
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);

    const int count = 400;
    std::thread restart;
    for (int n = 0; n < count; ++n) {
        publisher->Publish(NumberedReading(n));
        if (n == count / 3) {
            restart = std::thread([this] {
                broker_->Stop();
                std::string reason;
                EXPECT_TRUE(broker_->Start(reason)) << reason;
            });
        }
        std::this_thread::sleep_for(1ms);
    }
    restart.join();
    ASSERT_TRUE(Eventually([&] { return publisher->Stats().delivered == count; }, 15s));
    // The retained "online" may come last, when the subscriber subscribes again.
    ASSERT_TRUE(subscriber->WaitUntil(
        [&](const std::vector<Received>& messages) {
            const auto last = std::find_if(messages.rbegin(), messages.rend(),
                                           [](const Received& m) { return m.topic == kReadings; });
            return last != messages.rend() && NumberOf(*last) == count - 1;
        },
        10s))
        << Listed(Numbers(subscriber->On(kReadings))) << "\n"
        << broker_->Log();
    publisher->Close(2s);
    SCOPED_TRACE(Listed(Numbers(subscriber->On(kReadings))));

    // At least once, in order: a message may come twice when its acknowledgement was lost with
    // the connection, but never before one that was sent ahead of it.
    int next = 0;
    int repeats = 0;
    for (const int n : Numbers(subscriber->On(kReadings))) {
        if (n == next) {
            ++next;
        } else {
            EXPECT_LT(n, next) << "message " << n << " came before " << next;
            ++repeats;
        }
    }
    EXPECT_EQ(next, count);
    EXPECT_LE(repeats, static_cast<int>(Options().inFlight) * 2);
    EXPECT_GE(publisher->Stats().connects, 2U);
}

class BrokerWithLogins : public Broker {
  protected:
    void SetUp() override {
        Broker::SetUp();
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(StartBrokerWithLogins(kBridge));
    }

    // The credentials as the program takes them: from a file only its owner reads.
    Credentials FromFile(const std::string& user, const std::string& password) {
        const std::string path = (folder_ / ("auth-" + user)).string();
        std::ofstream(path) << user << "\n" << password << "\n";
        chmod(path.c_str(), 0600);
        std::string reason;
        const auto credentials = ReadCredentialsFile(path, reason);
        EXPECT_TRUE(credentials) << reason;
        return credentials.value_or(Credentials{});
    }

    SubscriberOptions Watcher() const {
        SubscriberOptions options;
        options.user = "watcher";
        options.password = "watcher";
        return options;
    }
};

TEST_F(BrokerWithLogins, TheRightCredentialsPublish) {
    Subscriber* subscriber = Subscribe(Watcher());
    PublisherOptions options = Options();
    options.credentials = FromFile("bridge", "right");
    auto publisher = Start(options);
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    publisher->Publish(NumberedReading(7));
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 5s));
    EXPECT_EQ(NumberOf(subscriber->On(kReadings).front()), 7);
    EXPECT_FALSE(publisher->Failure());
}

TEST_F(BrokerWithLogins, AWrongPasswordIsRefusedWithTheBrokersReason) {
    PublisherOptions options = Options();
    options.credentials = FromFile("bridge", "wrong");
    auto publisher = Start(options);
    EXPECT_EQ(publisher->WaitForConnection(5s), ConnectionState::Failed);
    ASSERT_TRUE(publisher->Failure());
    // Mosquitto says no more than that, so that nobody learns which user names exist.
    EXPECT_EQ(*publisher->Failure(),
              "the broker at " + broker_->Url() + " refused the connection: Not authorized");
    // Refused for good: no attempt follows.
    EXPECT_EQ(publisher->Stats().connects, 0U);
    const CloseReport report = publisher->Close(1s);
    EXPECT_FALSE(report.offlinePublished);
}

TEST_F(BrokerWithLogins, NoCredentialsAreRefusedToo) {
    auto publisher = Start(Options());
    EXPECT_EQ(publisher->WaitForConnection(5s), ConnectionState::Failed);
    ASSERT_TRUE(publisher->Failure());
    EXPECT_NE(publisher->Failure()->find("refused the connection: Not authorized"),
              std::string::npos)
        << *publisher->Failure();
}

TEST_F(BrokerWithLogins, ATopicTheAclForbidsIsAFailureNotASilentLoss) {
    Subscriber* subscriber = Subscribe(Watcher());
    PublisherOptions options = Options();
    options.credentials = FromFile("reader", "reader");
    auto publisher = Start(options);
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    publisher->Publish(NumberedReading(1));
    ASSERT_TRUE(Eventually([&] { return publisher->Failure().has_value(); }));
    EXPECT_EQ(*publisher->Failure(), "the broker at " + broker_->Url() + " refused a message on " +
                                         kReadings + ": Not authorized");
    EXPECT_TRUE(subscriber->On(kReadings).empty());
}

class BrokerWithTls : public Broker {
  protected:
    void SetUp() override {
        Broker::SetUp();
        if (IsSkipped()) return;
        const std::string dir = folder_.string();
        // Two authorities, and a certificate of the first for the broker at 127.0.0.1.
        std::string reason;
        ASSERT_TRUE(testing::MakeTestCertificates(dir, reason)) << reason;
        tlsPort_ = testing::FreePort();
        ASSERT_NO_FATAL_FAILURE(StartBroker(testing::TlsListenerConfig(dir, tlsPort_)));
    }

    PublisherOptions TlsOptions(const std::string& ca) const {
        PublisherOptions options = Options();
        options.broker = {true, "127.0.0.1", tlsPort_};
        options.caFile = (folder_ / ca).string();
        return options;
    }

    int tlsPort_ = 0;
};

TEST_F(BrokerWithTls, PublishesOverTlsWithTheAuthorityThatSignedTheBroker) {
    Subscriber* subscriber = Subscribe();  // on the plain listener
    auto publisher = Start(TlsOptions("ca.crt"));
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected)
        << publisher->Failure().value_or("");
    publisher->Publish(NumberedReading(3));
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 5s));
    EXPECT_EQ(NumberOf(subscriber->On(kReadings).front()), 3);
    EXPECT_TRUE(publisher->Close(2s).offlinePublished);
}

TEST_F(BrokerWithTls, ARestartOfTheBrokerIsNoFailureOverTlsEither) {
    Subscriber* subscriber = Subscribe();
    auto publisher = Start(TlsOptions("ca.crt"));
    ASSERT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connected);
    ASSERT_NO_FATAL_FAILURE(StopBroker(*publisher));
    publisher->Publish(NumberedReading(5));
    std::string reason;
    ASSERT_TRUE(broker_->Start(reason)) << reason;
    ASSERT_TRUE(subscriber->WaitForCount(kReadings, 1, 10s));
    EXPECT_FALSE(publisher->Failure()) << *publisher->Failure();
    EXPECT_EQ(publisher->Stats().connects, 2U);
}

TEST_F(BrokerWithTls, ACertificateOfAnotherAuthorityIsAClearFailure) {
    auto publisher = Start(TlsOptions("other.crt"));
    EXPECT_EQ(publisher->WaitForConnection(5s), ConnectionState::Failed);
    ASSERT_TRUE(publisher->Failure());
    const std::string failure = *publisher->Failure();
    EXPECT_EQ(
        failure.rfind("TLS with mqtts://127.0.0.1:" + std::to_string(tlsPort_) + " failed: ", 0),
        0U)
        << failure;
    EXPECT_NE(failure.find("certificate verify failed"), std::string::npos) << failure;
}

TEST_F(BrokerWithTls, AnAuthorityFileThatCannotBeReadIsSaidAtOnce) {
    std::string reason;
    EXPECT_FALSE(StartMosquittoPublisher(TlsOptions("missing.crt"), reason));
    EXPECT_EQ(reason, "cannot read the certificate authority " +
                          (folder_ / "missing.crt").string() + ": No such file or directory");
}

TEST_F(Broker, AnUnreachableBrokerIsTriedAgainQuietlyAndCloseIsBounded) {
    ASSERT_NO_FATAL_FAILURE(StartBroker());
    broker_->Stop();  // its port is free: nothing answers there
    auto publisher = Start(Options());
    EXPECT_EQ(publisher->WaitForConnection(5s), ConnectionState::Connecting);
    for (int n = 0; n < 5; ++n) publisher->Publish(NumberedReading(n));
    // Several attempts (every 100..400 ms), one line in the log.
    std::this_thread::sleep_for(1s);
    const std::vector<std::string> events = publisher->TakeEvents();
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events.front(), "cannot reach " + broker_->Url() +
                                  ": Connection refused; trying again, at most 0.4 s apart");

    const auto start = std::chrono::steady_clock::now();
    const CloseReport report = publisher->Close(500ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(report.undelivered, 5U);
    EXPECT_FALSE(report.offlinePublished);
}

}  // namespace
}  // namespace nuv::mqtt
