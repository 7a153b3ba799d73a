#include "mqtt/MosquittoPublisher.hpp"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "mqtt/MessageQueue.hpp"
#include "mqtt/Payloads.hpp"

namespace nuv::mqtt {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// CONNACK reasons after which a later attempt may succeed; any other refusal is for good.
bool TransientRefusal(int code) {
    return code == MQTT_RC_SERVER_UNAVAILABLE || code == MQTT_RC_SERVER_BUSY ||
           code == MQTT_RC_QUOTA_EXCEEDED || code == MQTT_RC_CONNECTION_RATE_EXCEEDED ||
           code == CONNACK_REFUSED_SERVER_UNAVAILABLE;
}

// Results of mosquitto_publish that mean the library did not take the message; after any other
// it holds the message and sends it, again after a reconnect if need be.
bool RefusedByLibrary(int rc) {
    return rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_NOT_SUPPORTED || rc == MOSQ_ERR_NOMEM ||
           rc == MOSQ_ERR_QOS_NOT_SUPPORTED || rc == MOSQ_ERR_MALFORMED_UTF8 ||
           rc == MOSQ_ERR_PAYLOAD_SIZE || rc == MOSQ_ERR_OVERSIZE_PACKET;
}

std::string ConnackReason(int code, const mosquitto_property* properties) {
    // Below 128 the code is one of MQTT 3.1.1's; MQTT 5 refusals are 128 and above.
    std::string reason =
        code < 128 ? mosquitto_connack_string(code) : mosquitto_reason_string(code);
    char* text = nullptr;
    if (properties != nullptr &&
        mosquitto_property_read_string(properties, MQTT_PROP_REASON_STRING, &text, false)) {
        reason += std::string(" (") + text + ")";
        std::free(text);
    }
    return reason;
}

// The library's reason for a failure, as a clause of a sentence of ours.
std::string LibraryReason(int rc, int error) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(error);
    if (rc == MOSQ_ERR_EAI) return "the host name is unknown";
    if (rc == MOSQ_ERR_CONN_LOST) return "the connection was closed";
    if (rc == MOSQ_ERR_KEEPALIVE) return "the broker stopped answering";
    std::string reason = mosquitto_strerror(rc);
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return reason;
}

std::string Seconds(milliseconds time) {
    const auto tenths = (time.count() + 50) / 100;
    return std::to_string(tenths / 10) +
           (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

class MosquittoPublisher final : public Publisher {
  public:
    explicit MosquittoPublisher(const PublisherOptions& options)
        : options_(options), url_(options.broker.Text()), queue_(options.queueSize) {}

    ~MosquittoPublisher() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        Wake();
        if (worker_.joinable()) worker_.join();
        if (mosq_ != nullptr) mosquitto_destroy(mosq_);
        if (wakeFd_ >= 0) close(wakeFd_);
    }

    bool Start(std::string& reason);

    void Publish(MqttMessage message) override {
        {
            std::lock_guard lock(mutex_);
            if (closeRequested_) return;
            const std::uint64_t before = queue_.Dropped();
            queue_.Push(std::move(message));
            if (queue_.Dropped() != before && !overflowReported_) {
                overflowReported_ = true;
                events_.push_back("the queue is full (" + std::to_string(queue_.Capacity()) +
                                  " messages): the oldest are dropped");
            }
        }
        Wake();
    }

    ConnectionState WaitForConnection(milliseconds limit) override {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [this] { return firstOutcome_ || failure_.has_value(); });
        if (failure_) return ConnectionState::Failed;
        return connected_ ? ConnectionState::Connected : ConnectionState::Connecting;
    }

    PublisherStats Stats() const override {
        std::lock_guard lock(mutex_);
        return {connected_, queue_.Size(),    inFlight_.size(),
                delivered_, queue_.Dropped(), connects_};
    }

    std::optional<std::string> Failure() const override {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    std::vector<std::string> TakeEvents() override {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

    CloseReport Close(milliseconds limit) override {
        {
            std::lock_guard lock(mutex_);
            if (!closeRequested_) {
                closeRequested_ = true;
                closeDeadline_ = Clock::now() + std::max(limit, milliseconds(0));
            }
        }
        Wake();
        {
            // The worker ends by the deadline: every wait of its loop is bounded by it.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return finished_; });
        }
        if (worker_.joinable()) worker_.join();
        return report_;
    }

  private:
    enum class Link { Idle, Connecting, Connected, Disconnecting };
    enum class Shutdown { None, Draining, Offline, Disconnecting, Done };

    struct Sent {
        int mid = -1;
        MqttMessage message;
    };

    void Wake() const {
        const std::uint64_t one = 1;
        if (wakeFd_ < 0) return;
        [[maybe_unused]] const auto written = write(wakeFd_, &one, sizeof one);
    }

    // --- the worker thread ---
    void Run();
    void Attempt(Clock::time_point now);
    void Down(int rc, std::string why);
    void Feed();
    void StepShutdown(Clock::time_point now);
    void Wait(Clock::time_point now);
    bool Failed() const {
        std::lock_guard lock(mutex_);
        return failure_.has_value();
    }
    // With mutex_ held.
    void FailLocked(std::string why) {
        if (!failure_) failure_ = std::move(why);
        firstOutcome_ = true;
    }

    void OnConnect(int code, const mosquitto_property* properties);
    void OnPublish(int mid, int reason);
    void OnLog(int level, const char* text) {
        if (level == MOSQ_LOG_ERR && text != nullptr) {
            if (!libraryError_.empty()) libraryError_ += "; ";
            libraryError_ += text;
        }
    }

    const PublisherOptions options_;
    const std::string url_;
    mosquitto* mosq_ = nullptr;
    int wakeFd_ = -1;
    std::thread worker_;

    // Shared with the program's thread.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    MessageQueue queue_;
    std::deque<Sent> inFlight_;
    bool connected_ = false;
    bool firstOutcome_ = false;  // the first attempt connected, or failed
    std::uint64_t delivered_ = 0;
    std::uint64_t connects_ = 0;
    bool overflowReported_ = false;
    std::uint64_t droppedBeforeOutage_ = 0;
    std::optional<std::string> failure_;
    std::vector<std::string> events_;
    bool closeRequested_ = false;
    Clock::time_point closeDeadline_{};
    bool stop_ = false;
    bool finished_ = false;
    CloseReport report_;

    // The worker's own.
    Link link_ = Link::Idle;
    Shutdown shutdown_ = Shutdown::None;
    Clock::time_point deadline_{};
    Clock::time_point offlineBy_{};
    int failures_ = 0;
    bool outageReported_ = false;
    Clock::time_point nextAttempt_{};
    Clock::time_point attemptStarted_{};
    std::string libraryError_;  // the client library's error lines of this attempt (TLS's)
    int onlineMid_ = -1;
    int offlineMid_ = -1;
    bool offlineAcknowledged_ = false;
};

bool MosquittoPublisher::Start(std::string& reason) {
    InitialiseLibrary();
    if (options_.broker.tls && !options_.caFile.empty() && !std::ifstream(options_.caFile)) {
        reason = "cannot read the certificate authority " + options_.caFile + ": " +
                 std::strerror(errno);
        return false;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    mosq_ = mosquitto_new(options_.clientId.c_str(), true, this);
    if (wakeFd_ < 0 || mosq_ == nullptr) {
        reason = std::string("cannot set up the MQTT client: ") + std::strerror(errno);
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    const std::string offline(kOffline);
    int rc =
        mosquitto_will_set_v5(mosq_, options_.bridgeTopic.c_str(), static_cast<int>(offline.size()),
                              offline.data(), 1, true, nullptr);
    if (rc == MOSQ_ERR_SUCCESS && options_.credentials) {
        const auto& password = options_.credentials->password;
        rc = mosquitto_username_pw_set(mosq_, options_.credentials->user.c_str(),
                                       password ? password->c_str() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && options_.broker.tls) {
        rc = options_.caFile.empty()
                 ? mosquitto_tls_set(mosq_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                 : mosquitto_tls_set(mosq_, options_.caFile.c_str(), nullptr, nullptr, nullptr,
                                     nullptr);
        // The broker's certificate is verified, and so is the host name it names.
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    mosquitto_connect_v5_callback_set(
        mosq_, [](mosquitto*, void* self, int code, int, const mosquitto_property* properties) {
            static_cast<MosquittoPublisher*>(self)->OnConnect(code, properties);
        });
    mosquitto_disconnect_v5_callback_set(
        mosq_, [](mosquitto*, void* self, int code, const mosquitto_property*) {
            static_cast<MosquittoPublisher*>(self)->Down(code, {});
        });
    mosquitto_publish_v5_callback_set(
        mosq_, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
            static_cast<MosquittoPublisher*>(self)->OnPublish(mid, reason);
        });
    mosquitto_log_callback_set(mosq_, [](mosquitto*, void* self, int level, const char* text) {
        static_cast<MosquittoPublisher*>(self)->OnLog(level, text);
    });

    // The program's signals stay with the program's thread; a connection that breaks while
    // this thread writes gives EPIPE here instead of a SIGPIPE that ends the program.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    for (const int signal :
         {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2}) {
        sigaddset(&blocked, signal);
    }
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    worker_ = std::thread([this] { Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}

void MosquittoPublisher::Run() {
    for (;;) {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard lock(mutex_);
            if (stop_) break;
            if (closeRequested_ && shutdown_ == Shutdown::None) {
                shutdown_ = Shutdown::Draining;
                deadline_ = closeDeadline_;
                // The last quarter of the time, a second at most, is for "offline".
                const auto limit = std::chrono::duration_cast<milliseconds>(deadline_ - now);
                offlineBy_ = deadline_ - std::min<milliseconds>(limit / 4, milliseconds(1000));
            }
        }
        if (shutdown_ != Shutdown::None) StepShutdown(now);
        if (shutdown_ == Shutdown::Done) break;
        const bool sending = shutdown_ == Shutdown::None || shutdown_ == Shutdown::Draining;
        if (link_ == Link::Idle && sending && now >= nextAttempt_ && !Failed()) Attempt(now);
        if (link_ == Link::Connecting && now - attemptStarted_ >= options_.connectTimeout) {
            Down(MOSQ_ERR_TIMEOUT,
                 "no answer within " +
                     Seconds(std::chrono::duration_cast<milliseconds>(options_.connectTimeout)));
        }
        if (link_ == Link::Connected && sending) Feed();
        Wait(now);
    }
    {
        std::lock_guard lock(mutex_);
        report_.undelivered = queue_.Size() + inFlight_.size();
        report_.offlinePublished = offlineAcknowledged_;
        connected_ = false;
        finished_ = true;
    }
    changed_.notify_all();
}

void MosquittoPublisher::Attempt(Clock::time_point now) {
    libraryError_.clear();
    attemptStarted_ = now;
    link_ = Link::Connecting;
    // The TCP connection (and TLS) completes in the loop; only a host name lookup waits here.
    const int rc = mosquitto_connect_async(
        mosq_, options_.broker.host.c_str(), options_.broker.port,
        static_cast<int>(std::max<std::chrono::seconds::rep>(options_.keepAlive.count(), 5)));
    if (rc != MOSQ_ERR_SUCCESS) Down(rc, {});
}

// The connection attempt failed, or the connection is gone: `rc` is the library's code, `why`
// the reason in words when there is a better one than the code's.
void MosquittoPublisher::Down(int rc, std::string why) {
    const int error = errno;
    if (link_ == Link::Idle) return;
    const Link was = link_;
    link_ = Link::Idle;
    const bool closing = shutdown_ == Shutdown::Disconnecting || was == Link::Disconnecting;
    {
        std::lock_guard lock(mutex_);
        connected_ = false;
        if (closing || failure_) {
            // An expected end, or one that has said why already.
        } else if ((rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE) &&
                   was == Link::Connecting) {
            // A handshake that fails is the configuration's fault (the authority, the host
            // name), and stays so; a TLS error on a working connection is the network's.
            FailLocked("TLS with " + url_ + " failed: " +
                       (libraryError_.empty() ? LibraryReason(rc, error) : libraryError_) +
                       " (is the broker's certificate signed by the authority given, and "
                       "for this host name?)");
        } else {
            if (why.empty()) {
                // Codes from 128 are the reasons of a DISCONNECT from the broker (MQTT 5).
                why = rc >= 128 ? std::string("the broker ended it: ") + mosquitto_reason_string(rc)
                                : LibraryReason(rc, error);
            }
            ++failures_;
            const milliseconds delay =
                RetryDelay(failures_, options_.firstRetry, options_.maxRetry);
            nextAttempt_ = Clock::now() + delay;
            if (was == Link::Connected) {
                droppedBeforeOutage_ = queue_.Dropped();
                events_.push_back("connection to " + url_ + " lost: " + why +
                                  "; messages wait in the queue (" +
                                  std::to_string(queue_.Capacity()) + " at most)");
                outageReported_ = true;
            } else if (!outageReported_) {
                if (connects_ == 0) droppedBeforeOutage_ = queue_.Dropped();
                events_.push_back("cannot reach " + url_ + ": " + why + "; trying again, at most " +
                                  Seconds(options_.maxRetry) + " apart");
                outageReported_ = true;
            }
            firstOutcome_ = true;
        }
    }
    changed_.notify_all();
}

void MosquittoPublisher::OnConnect(int code, const mosquitto_property* properties) {
    if (code != 0) {
        const std::string reason = ConnackReason(code, properties);
        if (TransientRefusal(code)) {
            Down(MOSQ_ERR_CONN_REFUSED, "the broker refused the connection: " + reason);
            return;
        }
        link_ = Link::Idle;
        {
            std::lock_guard lock(mutex_);
            FailLocked("the broker at " + url_ + " refused the connection: " + reason);
        }
        changed_.notify_all();
        return;
    }
    link_ = Link::Connected;
    failures_ = 0;
    const std::string online(kOnline);
    mosquitto_publish_v5(mosq_, &onlineMid_, options_.bridgeTopic.c_str(),
                         static_cast<int>(online.size()), online.data(), 1, true, nullptr);
    {
        std::lock_guard lock(mutex_);
        connected_ = true;
        firstOutcome_ = true;
        ++connects_;
        if (connects_ == 1 && !outageReported_) {
            events_.push_back("connected to " + url_);
        } else {
            std::string line = "connected to " + url_ + (connects_ == 1 ? "" : " again") + "; " +
                               std::to_string(queue_.Size() + inFlight_.size()) +
                               " messages waiting go out";
            if (const auto dropped = queue_.Dropped() - droppedBeforeOutage_; dropped != 0) {
                line += ", " + std::to_string(dropped) + " of the oldest were dropped";
            }
            events_.push_back(line);
        }
        outageReported_ = false;
        overflowReported_ = false;
    }
    changed_.notify_all();
}

void MosquittoPublisher::OnPublish(int mid, int reason) {
    {
        std::lock_guard lock(mutex_);
        if (mid == offlineMid_ && reason < 128) offlineAcknowledged_ = true;
        const auto sent = std::find_if(inFlight_.begin(), inFlight_.end(),
                                       [mid](const Sent& s) { return s.mid == mid; });
        if (reason >= 128) {
            // A topic the bridge may not publish on, a quota: the message is gone, and so
            // would be every other.
            const std::string topic = sent != inFlight_.end() ? sent->message.topic
                                      : mid == onlineMid_ || mid == offlineMid_
                                          ? options_.bridgeTopic
                                          : std::string("a topic");
            FailLocked("the broker at " + url_ + " refused a message on " + topic + ": " +
                       mosquitto_reason_string(reason));
        } else if (sent != inFlight_.end()) {
            ++delivered_;
        }
        if (sent != inFlight_.end()) inFlight_.erase(sent);
    }
    changed_.notify_all();
}

// Hands the oldest messages to the library while fewer than `inFlight` await acknowledgement.
void MosquittoPublisher::Feed() {
    std::lock_guard lock(mutex_);
    while (!queue_.Empty() && inFlight_.size() < options_.inFlight && !failure_) {
        Sent& sent = inFlight_.emplace_back(Sent{-1, queue_.PopFront()});
        const MqttMessage& m = sent.message;
        const int rc = mosquitto_publish_v5(mosq_, &sent.mid, m.topic.c_str(),
                                            static_cast<int>(m.payload.size()), m.payload.data(), 1,
                                            m.retain, nullptr);
        if (RefusedByLibrary(rc)) {
            // Malformed for the protocol (the topics and payloads made here never are): the
            // message cannot ever go; say so and go on with the next.
            events_.push_back("a message on " + m.topic +
                              " cannot be sent: " + LibraryReason(rc, errno));
            inFlight_.pop_back();
            continue;
        }
        // Taken: sent now, or sent again once the connection is back.
        if (rc != MOSQ_ERR_SUCCESS) break;
    }
}

void MosquittoPublisher::StepShutdown(Clock::time_point now) {
    if (shutdown_ == Shutdown::Draining) {
        bool empty = false;
        bool failed = false;
        {
            std::lock_guard lock(mutex_);
            empty = queue_.Empty() && inFlight_.empty();
            failed = failure_.has_value();
        }
        if (!empty && !failed && now < offlineBy_) return;
        if (link_ != Link::Connected) {
            shutdown_ = Shutdown::Done;
            return;
        }
        if (!failed) {
            const std::string offline(kOffline);
            const int rc = mosquitto_publish_v5(mosq_, &offlineMid_, options_.bridgeTopic.c_str(),
                                                static_cast<int>(offline.size()), offline.data(), 1,
                                                true, nullptr);
            if (rc == MOSQ_ERR_SUCCESS) {
                shutdown_ = Shutdown::Offline;
                return;
            }
        }
        shutdown_ = Shutdown::Offline;
    }
    if (shutdown_ == Shutdown::Offline) {
        bool acknowledged = false;
        bool failed = false;
        {
            std::lock_guard lock(mutex_);
            acknowledged = offlineAcknowledged_;
            failed = failure_.has_value();
        }
        if (!acknowledged && !failed && now < deadline_ && link_ == Link::Connected) return;
        if (link_ != Link::Connected) {
            shutdown_ = Shutdown::Done;
            return;
        }
        // Without "offline" acknowledged, the broker is asked to publish the will instead.
        // The library may end the connection within the call (and say so through Down).
        link_ = Link::Disconnecting;
        shutdown_ = Shutdown::Disconnecting;
        mosquitto_disconnect_v5(mosq_, acknowledged ? 0 : MQTT_RC_DISCONNECT_WITH_WILL_MSG,
                                nullptr);
    }
    if (shutdown_ == Shutdown::Disconnecting) {
        // The broker closes the connection on DISCONNECT; the deadline bounds the wait for it.
        if (link_ == Link::Idle || now >= deadline_) shutdown_ = Shutdown::Done;
    }
}

void MosquittoPublisher::Wait(Clock::time_point now) {
    Clock::time_point wake = now + milliseconds(1000);  // the library's keep-alive
    const bool sending = shutdown_ == Shutdown::None || shutdown_ == Shutdown::Draining;
    if (link_ == Link::Idle && sending && !Failed()) wake = std::min(wake, nextAttempt_);
    if (link_ == Link::Connecting) wake = std::min(wake, attemptStarted_ + options_.connectTimeout);
    if (shutdown_ == Shutdown::Draining) wake = std::min(wake, offlineBy_);
    if (shutdown_ != Shutdown::None) wake = std::min(wake, deadline_);
    if (options_.broker.tls && link_ == Link::Connected) {
        // TLS may hold received bytes that poll cannot see (the library reads them only when
        // it is called): look again soon while acknowledgements are awaited.
        std::lock_guard lock(mutex_);
        if (!inFlight_.empty() || offlineMid_ >= 0) wake = std::min(wake, now + milliseconds(50));
    }
    const auto timeout =
        std::clamp<milliseconds::rep>(std::chrono::ceil<milliseconds>(wake - now).count(), 0, 1000);

    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    // An abandoned attempt's socket is left alone until the next attempt closes it.
    const int socket = link_ != Link::Idle ? mosquitto_socket(mosq_) : -1;
    if (socket >= 0) {
        fds[1].fd = socket;
        fds[1].events = static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0));
    }
    if (poll(fds, 2, static_cast<int>(timeout)) > 0 && (fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = read(wakeFd_, &count, sizeof count);
    }
    if (socket >= 0) {
        // The library reads and writes what the socket allows, and keeps the connection alive.
        const int rc = mosquitto_loop(mosq_, 0, 1);
        if (rc != MOSQ_ERR_SUCCESS) Down(rc, {});
    }
}

}  // namespace

milliseconds RetryDelay(int failures, milliseconds first, milliseconds max) {
    milliseconds delay = first;
    for (int i = 1; i < failures && delay < max; ++i) delay *= 2;
    return std::min(delay, max);
}

std::unique_ptr<Publisher> StartMosquittoPublisher(const PublisherOptions& options,
                                                   std::string& reason) {
    auto publisher = std::make_unique<MosquittoPublisher>(options);
    if (!publisher->Start(reason)) return nullptr;
    return publisher;
}

}  // namespace nuv::mqtt
