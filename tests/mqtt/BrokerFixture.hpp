#pragma once

// A real mosquitto for a test: the broker on a free loopback port with a configuration of its
// own in a folder of the test's, subscribers of the test's own, and the waits on them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mqtt/Publisher.hpp"
#include "mqtt/testing/LocalBroker.hpp"
#include "mqtt/testing/Subscriber.hpp"

namespace nuv::mqtt::testing {

// Waits for something outside the process (a broker, a connection) at most `limit`.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class BrokerFixture : public ::testing::Test {
  protected:
    // `folderPrefix` names the test's folder in the temporary folder, with the process and the
    // test beside it.
    explicit BrokerFixture(std::string folderPrefix) : prefix_(std::move(folderPrefix)) {}

    static void SetUpTestSuite() {
        // The subscriber's thread must not end the tests when a broker goes away mid-write.
        signal(SIGPIPE, SIG_IGN);
    }

    void SetUp() override {
        if (FindProgram("mosquitto").empty()) {
            GTEST_SKIP() << "mosquitto is not installed (scripts/deps.sh test installs it)";
        }
        folder_ = std::filesystem::temp_directory_path() /
                  (prefix_ + "-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }

    void TearDown() override {
        subscribers_.clear();
        broker_.reset();
        if (!HasFailure() && !folder_.empty()) std::filesystem::remove_all(folder_);
    }

    // Starts the test's broker; `extra` is added to its configuration.
    void StartBroker(const std::string& extra = {}) {
        broker_ = std::make_unique<LocalBroker>((folder_ / "broker").string(), extra);
        std::string reason;
        ASSERT_TRUE(broker_->Start(reason)) << reason;
    }

    // Starts the test's broker with logins: "bridge" (password "right") publishes anything
    // below nuv/, "reader" ("reader") reads nuv/ and may write only `readerBridgeTopic`,
    // "watcher" ("watcher") reads everything; nobody gets in without a password.
    void StartBrokerWithLogins(const std::string& readerBridgeTopic) {
        const std::string passwords = (folder_ / "passwords").string();
        const std::string acl = (folder_ / "acl").string();
        const std::string tool = FindProgram("mosquitto_passwd");
        ASSERT_FALSE(tool.empty()) << "mosquitto_passwd comes with mosquitto";
        for (const auto& [user, password] :
             {std::pair{"bridge", "right"}, {"reader", "reader"}, {"watcher", "watcher"}}) {
            const std::string command = tool + (std::filesystem::exists(passwords) ? "" : " -c") +
                                        " -b " + passwords + " " + user + " " + password;
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        chmod(passwords.c_str(), 0600);
        std::ofstream(acl) << "user bridge\ntopic readwrite nuv/#\n"
                           << "user reader\ntopic read nuv/#\ntopic write " << readerBridgeTopic
                           << "\nuser watcher\ntopic read #\n";
        chmod(acl.c_str(), 0600);
        ASSERT_NO_FATAL_FAILURE(StartBroker("allow_anonymous false\npassword_file " + passwords +
                                            "\nacl_file " + acl + "\n"));
    }

    // A subscriber on the test's broker (port 0: the broker's); "#" stands for every topic of
    // the tool.
    Subscriber* Subscribe(SubscriberOptions options = {}) {
        if (options.port == 0) options.port = broker_->Port();
        if (options.topicFilter == "#") options.topicFilter = "nuv/#";
        auto subscriber = std::make_unique<Subscriber>(options);
        std::string reason;
        EXPECT_TRUE(subscriber->Start(reason)) << reason;
        subscribers_.push_back(std::move(subscriber));
        return subscribers_.back().get();
    }

    // What a subscriber that comes now finds retained on `topic`.
    std::optional<Received> Retained(const std::string& topic, SubscriberOptions options = {}) {
        static int count = 0;
        options.clientId = "nuv-test-late-" + std::to_string(++count);
        options.keepSession = false;
        options.topicFilter = topic;
        Subscriber* late = Subscribe(options);
        if (!late->WaitForCount(topic, 1, std::chrono::seconds(2))) return std::nullopt;
        return late->On(topic).front();
    }

    // Stops the broker once all it took has gone on to the subscribers (so that a lost
    // acknowledgement cannot bring a message twice), and waits until the publisher knows.
    void StopBroker(const Publisher& publisher) {
        ASSERT_TRUE(Eventually([&] {
            const PublisherStats stats = publisher.Stats();
            return stats.queued == 0 && stats.inFlight == 0 && SubscribersCaughtUp();
        }));
        broker_->Stop();
        ASSERT_TRUE(Eventually([&] { return !publisher.Stats().connected; }));
    }

    // Every message the broker sent its subscribers is acknowledged, as its log tells.
    bool SubscribersCaughtUp() const {
        const std::string log = broker_->Log();
        std::size_t sent = 0;
        std::size_t acknowledged = 0;
        for (std::size_t at = 0; (at = log.find("Sending PUBLISH to", at)) != std::string::npos;
             ++at) {
            ++sent;
        }
        for (std::size_t at = 0; (at = log.find("Received PUBACK from", at)) != std::string::npos;
             ++at) {
            ++acknowledged;
        }
        return sent == acknowledged;
    }

    std::filesystem::path folder_;
    std::unique_ptr<LocalBroker> broker_;
    std::vector<std::unique_ptr<Subscriber>> subscribers_;

  private:
    std::string prefix_;
};

}  // namespace nuv::mqtt::testing
