// The MQTT bridge at a site's rate: N modules (10), one reading each a second, each reading
// published with its module's status, for M minutes (10) of virtual time, against a mosquitto
// of the benchmark's own. Time is compressed by --speed (20: ten minutes in 30 s); CPU and
// memory are reported per virtual minute, so that a share at the real rate and a flat (or
// growing) resident size show. A subscriber in a separate process counts what arrived; only the
// bridge's side (payloads, queue, publisher) is measured.
//   mqtt_bench [--modules N] [--minutes M] [--speed X]
// With --watch, the readings come through nuvctl's own watch loop (`watch --address 1-N
// --interval S --mqtt URL`) from N simulated modules on one simulated cable at the wire's
// speed, on a clock that runs X times faster than the real one: the figures then include the
// link, the simulated modules and wire, the CSV rows and the publisher.
//   mqtt_bench --watch [--modules N] [--minutes M] [--speed X] [--interval S]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <vector>

#include "Measures.hpp"
#include "link/Clock.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "mqtt/Discovery.hpp"
#include "mqtt/MosquittoPublisher.hpp"
#include "mqtt/Payloads.hpp"
#include "mqtt/Topics.hpp"
#include "mqtt/testing/LocalBroker.hpp"
#include "mqtt/testing/Subscriber.hpp"
#include "sim/SimFtdi.hpp"
#include "sim/SimulatedModule.hpp"
#include "tools/Nuvctl.hpp"

namespace {

using namespace nuv;
using namespace nuv::mqtt;
using SteadyClock = std::chrono::steady_clock;

struct Settings {
    int modules = 10;
    int minutes = 10;
    double speed = 20;
    bool watch = false;
    int interval = 1;
};

// The machine's steady clock run `speed` times faster: a sleep takes 1/speed of its time, and
// the wall time starts at 2026-01-01T13:00:00+01:00.
class FastClock final : public nuv::Clock {
  public:
    explicit FastClock(double speed) : speed_(speed), start_(std::chrono::steady_clock::now()) {}
    std::int64_t NowNs() const override {
        const auto real = std::chrono::steady_clock::now() - start_;
        return static_cast<std::int64_t>(
            static_cast<double>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(real).count()) *
            speed_);
    }
    void SleepMs(std::uint32_t milliseconds) override {
        SleepNs(static_cast<std::int64_t>(milliseconds) * 1'000'000);
    }
    void SleepNs(std::int64_t nanoseconds) override {
        if (nanoseconds <= 0) return;
        std::this_thread::sleep_for(std::chrono::nanoseconds(
            static_cast<std::int64_t>(static_cast<double>(nanoseconds) / speed_)));
    }
    nuv::TimeOfDay LocalTime() const override {
        const std::int64_t s = (WallSeconds() + 3600) % 86400;
        return {static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60)};
    }
    std::int64_t WallSeconds() const override { return 1767268800 + NowNs() / 1'000'000'000; }
    int UtcOffsetSeconds(std::int64_t) const override { return 3600; }

  private:
    double speed_;
    std::chrono::steady_clock::time_point start_;
};

// Output that goes nowhere (the watch's CSV rows), counting its lines.
class CountingSink final : public std::streambuf {
  public:
    long Lines() const { return lines_; }

  protected:
    int_type overflow(int_type c) override {
        if (c == '\n') ++lines_;
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        lines_ += std::count(text, text + n, '\n');
        return n;
    }

  private:
    std::atomic<long> lines_ = 0;
};

// The watch's publisher, which the measuring thread may ask for its figures while it lives:
// nuvctl ends it when the watch ends.
class WatchedPublisher final : public Publisher {
  public:
    WatchedPublisher(std::unique_ptr<Publisher> inner, std::mutex& mutex, Publisher*& current,
                     PublisherStats& last)
        : inner_(std::move(inner)), mutex_(mutex), current_(current), last_(last) {
        std::lock_guard lock(mutex_);
        current_ = inner_.get();
    }
    ~WatchedPublisher() override {
        std::lock_guard lock(mutex_);
        current_ = nullptr;
        last_ = inner_->Stats();  // the figures at its end
    }
    WatchedPublisher(const WatchedPublisher&) = delete;
    WatchedPublisher& operator=(const WatchedPublisher&) = delete;
    void Publish(MqttMessage message) override { inner_->Publish(std::move(message)); }
    ConnectionState WaitForConnection(std::chrono::milliseconds limit) override {
        return inner_->WaitForConnection(limit);
    }
    PublisherStats Stats() const override { return inner_->Stats(); }
    std::optional<std::string> Failure() const override { return inner_->Failure(); }
    std::vector<std::string> TakeEvents() override { return inner_->TakeEvents(); }
    CloseReport Close(std::chrono::milliseconds limit) override { return inner_->Close(limit); }

  private:
    std::unique_ptr<Publisher> inner_;
    std::mutex& mutex_;
    Publisher*& current_;
    PublisherStats& last_;
};

// nuvctl's watch over a simulated bus of `modules`, publishing to `broker`, measured each
// virtual minute.
int RunWatch(const Settings& settings, testing::LocalBroker& broker) {
    FastClock clock(settings.speed);
    nuv::NullEventPump pump;
    nuv::sim::SimFtdi driver(clock);
    std::vector<int> addresses;
    for (int a = 1; a <= settings.modules; ++a) addresses.push_back(a);
    nuv::sim::AddSimulatedBus(driver, addresses);
    CountingSink rows;
    std::ostream out(&rows);
    std::ostringstream err;
    const std::int64_t endNs = settings.minutes * 60LL * 1'000'000'000;
    std::mutex publisherMutex;
    Publisher* publisher = nullptr;  // while nuvctl's lives
    PublisherStats lastStats;
    nuv::cli::Environment environment{
        [&](const nuv::cli::DriverChoice&) -> nuv::FtdiApi& { return driver; }, clock, pump, out,
        err};
    environment.interrupted = [&] { return clock.NowNs() >= endNs; };
    environment.processId = getpid();
    environment.startPublisher = [&](const PublisherOptions& options, std::string& reason) {
        auto started = StartMosquittoPublisher(options, reason);
        if (!started) return started;
        return std::unique_ptr<Publisher>(std::make_unique<WatchedPublisher>(
            std::move(started), publisherMutex, publisher, lastStats));
    };
    std::printf(
        "mqtt_bench --watch: nuvctl watch of %d simulated modules on one cable (9600 baud), "
        "interval %d s, %d virtual minutes at %gx speed, mosquitto %s\n",
        settings.modules, settings.interval, settings.minutes, settings.speed,
        broker.Url().c_str());
    std::printf("%8s %10s %12s %12s %10s %10s %8s\n", "minute", "RSS kB", "CPU s", "CPU share",
                "readings", "delivered", "queued");
    const double cpuStart = bench::CpuSeconds();
    const long rssStart = bench::ResidentKilobytes();
    std::printf("%8d %10ld %12.3f %12s %10s %10s %8s\n", 0, rssStart, 0.0, "-", "-", "-", "-");
    std::fflush(stdout);

    // A virtual minute's figures from a thread of their own, while the watch runs.
    std::atomic<bool> done{false};
    long rssMax = rssStart;
    std::thread monitor([&] {
        double cpuMinute = cpuStart;
        for (int minute = 1; minute <= settings.minutes; ++minute) {
            while (!done && clock.NowNs() < minute * 60LL * 1'000'000'000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const double cpu = bench::CpuSeconds();
            const long rss = bench::ResidentKilobytes();
            rssMax = std::max(rssMax, rss);
            PublisherStats stats;
            {
                std::lock_guard lock(publisherMutex);
                if (publisher) lastStats = publisher->Stats();
                stats = lastStats;
            }
            std::printf("%8d %10ld %12.3f %11.3f%% %10ld %10llu %8zu\n", minute, rss,
                        cpu - cpuStart, (cpu - cpuMinute) / 60.0 * 100.0, rows.Lines() - 1,
                        static_cast<unsigned long long>(stats.delivered), stats.queued);
            std::fflush(stdout);
            cpuMinute = cpu;
            if (done) return;  // the last line: the figures at the end
        }
    });
    const auto realStart = std::chrono::steady_clock::now();
    const std::string interval = std::to_string(settings.interval);
    const int status =
        nuv::cli::Run({"--simulate", "watch", "--address", "1-" + std::to_string(settings.modules),
                       "--interval", interval, "--mqtt", broker.Url(), "--site", "bench"},
                      environment);
    done = true;
    monitor.join();
    const double realSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    const double cpuEnd = bench::CpuSeconds();
    const long rssEnd = bench::ResidentKilobytes();
    const long readings = rows.Lines() - 1;  // the header
    const double virtualSeconds = settings.minutes * 60.0;
    std::printf("\nnuvctl ended with %d; its standard error:\n%s\n", status, err.str().c_str());
    std::printf(
        "readings %ld (%.2f a second, %.3f a second per module)\n"
        "CPU %.3f s for %.0f virtual s: %.3f%% of one core at the real rate (%.1f us a "
        "reading, simulated modules and wire included); %.1f%% while compressed into %.1f s\n",
        readings, readings / virtualSeconds, readings / virtualSeconds / settings.modules,
        cpuEnd - cpuStart, virtualSeconds, (cpuEnd - cpuStart) / virtualSeconds * 100.0,
        readings > 0 ? (cpuEnd - cpuStart) / static_cast<double>(readings) * 1e6 : 0.0,
        (cpuEnd - cpuStart) / realSeconds * 100.0, realSeconds);
    std::printf("RSS %ld kB at the start, %ld kB at the end, %ld kB at most\n", rssStart, rssEnd,
                rssMax);
    return status == 0 && readings > 0 ? 0 : 1;
}

// A reading as a module sends it: 10 levels a channel, drifting a little with time, and one
// probe missing on the last channel.
TemperatureReading ReadingAt(int address, long second) {
    TemperatureReading reading;
    reading.sensorsPerChannel = 10;
    for (int c = 0; c < 10; ++c) {
        for (int s = 0; s < 10; ++s) {
            const double drift = 8 * std::sin((second + c * 10 + s + address) / 60.0);
            reading.sensors.push_back(
                static_cast<std::uint16_t>(24 * 16 - s * 8 + c * 2 + std::lround(drift)));
        }
    }
    reading.sensors.back() = 0xF060;
    reading.module = static_cast<std::uint16_t>(31 * 16 + address);
    return reading;
}

// The subscriber's process: counts the readings that arrive, says "ready" once subscribed and
// the count at the end (when all arrived, or after `limit` seconds).
pid_t StartCounter(int port, long expected, int limit, int& fromCounter) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid != 0) {
        close(pipeFds[1]);
        fromCounter = pipeFds[0];
        return pid;
    }
    close(pipeFds[0]);
    testing::SubscriberOptions options;
    options.port = port;
    options.topicFilter = "nuv/bench/+/reading";
    options.clientId = "nuv-bench-counter";
    options.keepSession = false;
    testing::Subscriber subscriber(options);
    std::string reason;
    if (!subscriber.Start(reason)) _exit(1);
    [[maybe_unused]] auto written = write(pipeFds[1], "ready\n", 6);
    subscriber.WaitUntil(
        [&](const std::vector<testing::Received>& messages) {
            return static_cast<long>(messages.size()) >= expected;
        },
        std::chrono::seconds(limit));
    const std::string count = std::to_string(subscriber.Messages().size()) + "\n";
    written = write(pipeFds[1], count.data(), count.size());
    _exit(0);
}

std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    bool known = true;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool value = i + 1 < argc;
        if (option == "--watch") {
            settings.watch = true;
        } else if (option == "--modules" && value) {
            settings.modules = std::atoi(argv[++i]);
        } else if (option == "--minutes" && value) {
            settings.minutes = std::atoi(argv[++i]);
        } else if (option == "--speed" && value) {
            settings.speed = std::atof(argv[++i]);
        } else if (option == "--interval" && value) {
            settings.interval = std::atoi(argv[++i]);
        } else {
            known = false;
        }
    }
    if (!known || settings.modules < 1 || settings.modules > 247 || settings.minutes < 1 ||
        settings.speed <= 0 || settings.interval < 1 || settings.interval > 255) {
        std::fprintf(stderr,
                     "usage: mqtt_bench [--modules N] [--minutes M] [--speed X]\n"
                     "       mqtt_bench --watch [--modules N] [--minutes M] [--speed X] "
                     "[--interval S]\n");
        return 2;
    }
    if (testing::FindProgram("mosquitto").empty()) {
        std::printf("mqtt_bench: mosquitto is not installed (scripts/deps.sh test): skipped\n");
        return 0;
    }
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("nuv-mqtt-bench-" + std::to_string(getpid())))
            .string();
    testing::LocalBroker broker(folder);
    std::string reason;
    if (!broker.Start(reason)) {
        std::fprintf(stderr, "mqtt_bench: %s\n", reason.c_str());
        return 1;
    }
    if (settings.watch) {
        const int status = RunWatch(settings, broker);
        broker.Stop();
        std::filesystem::remove_all(folder);
        return status;
    }
    const long seconds = settings.minutes * 60L;
    const long expected = seconds * settings.modules;
    int fromCounter = -1;
    const pid_t counter = StartCounter(
        broker.Port(), expected, static_cast<int>(seconds / settings.speed) + 60, fromCounter);
    if (counter < 0 || ReadLine(fromCounter) != "ready") {
        std::fprintf(stderr, "mqtt_bench: the counting subscriber did not start\n");
        return 1;
    }

    const std::string site = "bench";
    const std::string prefix = TopicPrefix(site);
    PublisherOptions options;
    options.broker = *ParseBrokerUrl(broker.Url(), reason);
    options.clientId = DefaultClientId(site, getpid());
    options.bridgeTopic = BridgeTopic(prefix);
    auto publisher = StartMosquittoPublisher(options, reason);
    if (!publisher ||
        publisher->WaitForConnection(std::chrono::seconds(5)) != ConnectionState::Connected) {
        std::fprintf(stderr, "mqtt_bench: no connection: %s\n", reason.c_str());
        return 1;
    }
    DiscoveryAnnouncer announcer(kDiscoveryPrefix, site, prefix);
    std::vector<ModuleStatus> statuses(static_cast<std::size_t>(settings.modules));

    std::printf(
        "mqtt_bench: %d modules, 1 reading/s each, %d virtual minutes at %gx speed, "
        "mosquitto %s\n",
        settings.modules, settings.minutes, settings.speed, broker.Url().c_str());
    std::printf("%8s %10s %12s %12s %10s %8s %10s\n", "minute", "RSS kB", "CPU s", "CPU share",
                "delivered", "queued", "messages");
    const double cpuStart = bench::CpuSeconds();
    const long rssStart = bench::ResidentKilobytes();
    std::printf("%8d %10ld %12.3f %12s %10s %8s %10s\n", 0, rssStart, 0.0, "-", "-", "-", "-");
    double cpuMinute = cpuStart;
    long rssMax = rssStart;
    long published = 0;
    const std::int64_t wallStart = 1767268800;  // 2026-01-01T13:00:00+01:00
    const SteadyClock::time_point start = SteadyClock::now();
    for (long second = 0; second < seconds; ++second) {
        std::this_thread::sleep_until(start +
                                      std::chrono::duration_cast<SteadyClock::duration>(
                                          std::chrono::duration<double>(second / settings.speed)));
        const std::string time = LocalTimeStamp(wallStart + second, 3600);
        for (int m = 0; m < settings.modules; ++m) {
            const int address = m + 1;
            const TemperatureReading reading = ReadingAt(address, second);
            for (MqttMessage& config : announcer.NewSensors(address, reading)) {
                publisher->Publish(std::move(config));
                ++published;
            }
            ModuleStatus& status = statuses[static_cast<std::size_t>(m)];
            status.address = address;
            status.time = time;
            status.lastResult = SensorPresenceResult;
            status.lastReadingTime = time;
            CountReading(status.counters, status.lastResult);
            publisher->Publish(ReadingMessage(
                prefix, address, ReadingJson(address, time, status.lastResult, reading, 10)));
            publisher->Publish(StatusMessage(prefix, status));
            published += 2;
        }
        if ((second + 1) % 60 == 0) {
            const double cpu = bench::CpuSeconds();
            const long rss = bench::ResidentKilobytes();
            rssMax = std::max(rssMax, rss);
            const PublisherStats stats = publisher->Stats();
            // CPU seconds per virtual minute: the share of one core at the real rate.
            std::printf("%8ld %10ld %12.3f %11.3f%% %10llu %8zu %10ld\n", (second + 1) / 60, rss,
                        cpu - cpuStart, (cpu - cpuMinute) / 60.0 * 100.0,
                        static_cast<unsigned long long>(stats.delivered), stats.queued, published);
            std::fflush(stdout);
            cpuMinute = cpu;
        }
    }
    const double realSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    const CloseReport report = publisher->Close(std::chrono::seconds(5));
    const double cpuEnd = bench::CpuSeconds();
    const long rssEnd = bench::ResidentKilobytes();
    const long arrived = std::atol(ReadLine(fromCounter).c_str());
    waitpid(counter, nullptr, 0);
    const PublisherStats stats = publisher->Stats();

    // A status that still waited when its module's next one came was replaced, not sent.
    const long replaced = published - static_cast<long>(stats.delivered + stats.dropped) -
                          static_cast<long>(report.undelivered);
    std::printf(
        "\nreadings published %ld, arrived at the subscriber %ld; messages %ld, delivered "
        "%llu, replaced by a newer status %ld, dropped %llu, undelivered at close %zu\n",
        expected, arrived, published, static_cast<unsigned long long>(stats.delivered), replaced,
        static_cast<unsigned long long>(stats.dropped), report.undelivered);
    std::printf(
        "CPU %.3f s for %ld virtual s: %.3f%% of one core at the real rate "
        "(%.1f us a message); %.1f%% while compressed into %.1f s\n",
        cpuEnd - cpuStart, seconds, (cpuEnd - cpuStart) / seconds * 100.0,
        (cpuEnd - cpuStart) / static_cast<double>(published) * 1e6,
        (cpuEnd - cpuStart) / realSeconds * 100.0, realSeconds);
    std::printf("RSS %ld kB at the start, %ld kB at the end, %ld kB at most\n", rssStart, rssEnd,
                rssMax);
    publisher.reset();
    broker.Stop();
    std::filesystem::remove_all(folder);
    return arrived == expected && stats.dropped == 0 && report.undelivered == 0 ? 0 : 1;
}
