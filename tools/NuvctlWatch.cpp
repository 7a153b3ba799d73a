// `nuvctl watch`: readings of one module, or of several on one cable, at an interval, as CSV rows
// or JSON lines, and published to an MQTT broker on request.
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>

#include "measure/Cyclic.hpp"
#include "measure/ReadingLog.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "mqtt/BrokerSettings.hpp"
#include "mqtt/Discovery.hpp"
#include "mqtt/MosquittoPublisher.hpp"
#include "mqtt/Payloads.hpp"
#include "mqtt/Topics.hpp"
#include "protocol/AddressList.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli::detail {

namespace {

using namespace std::chrono_literals;

// How long the start waits for the broker's first answer: a refused login or a certificate that
// does not verify ends the program there; a broker that does not answer yet is tried again while
// readings wait in the queue.
constexpr std::chrono::milliseconds kFirstConnectionWait = 5s;
// The discovery configs of a module with every level present, its reading and its status.
constexpr std::size_t kMessagesOfAnnouncedModule = 16 * 10 + 1 + 2;
// How long a stop or the end of the count gives the queue to reach the broker ("a few seconds",
// well inside the service's stop time-out).
constexpr std::chrono::milliseconds kCloseLimit = 3s;
// After a permanent failure nothing goes out any more: the close only disconnects.
constexpr std::chrono::milliseconds kCloseAfterFailure = 500ms;
constexpr std::chrono::milliseconds kConnectionWaitSlice = 100ms;
// The queue's size in messages may be chosen up to this (about 1.3 GB of readings).
constexpr long kMaxQueueSize = 1'000'000;

// What the watch was asked to do, checked before anything is opened.
struct WatchSettings {
    long interval = 4;
    long count = -1;  // readings of each module; -1: until stopped
    std::vector<int> addresses;
    // More than one module: rows and summaries name the address (a log of one module keeps the
    // columns it always had, so that it can be continued).
    bool AddressColumn() const { return addresses.size() > 1; }
    std::optional<std::string> csv;
    bool json = false;
    // The broker.
    std::optional<mqtt::BrokerUrl> broker;
    std::string site;
    std::optional<std::string> authFile;
    std::string caFile;
    std::size_t queueSize = mqtt::kDefaultQueueSize;
    bool discovery = false;
};

// One module of the list and what the watch knows of it.
struct WatchedModule {
    int address = 0;
    // The error logger's counters of this module, put in the tool's place for its reading, so
    // that the logger's lines count each module's failures apart.
    ErrorCounters counters;
    mqtt::ModuleStatus status;
    std::set<LinkResult> kindsSaid;
};

std::string Seconds(std::int64_t milliseconds) {
    std::ostringstream text;
    text << milliseconds / 1000;
    if (milliseconds % 1000 != 0) {
        text << '.' << (milliseconds % 1000) / 100;
    }
    return text.str() + " s";
}

}  // namespace

// The watch as a run of its own: the settings, the modules, the outputs and the publisher.
class WatchRun {
  public:
    WatchRun(Program& program, const CommandOptions& opts) : p_(program), opts_(opts) {}

    int Execute();

  private:
    WatchSettings Settings() const;
    // The broker's credentials: the file's when one is named, else the environment's. None,
    // with the failure said, when they cannot be read; `failed` says so.
    std::optional<mqtt::Credentials> Credentials(bool& failed);
    // Starts the publisher and waits for the broker's first answer; 0 when it goes on.
    int StartPublisher();
    // Reads one module; false when the run ends (a stop, a failed output), `status` then its
    // exit status.
    bool ReadModule(WatchedModule& module, bool& stopped, int& status);
    // `json`: the reading as its JSON line, made when the publisher or --json wants it.
    void Publish(WatchedModule& module, const std::string& time, LinkResult code,
                 const std::optional<TemperatureReading>& reading, std::string json);
    // Prints the publisher's lines; false (the failure said) when the broker refused the bridge
    // for good.
    bool PublisherWell();
    // Delivers what waits, says "offline" and the totals; true when nothing was lost.
    bool ClosePublisher();
    void Summary();
    std::string Who(const WatchedModule& module) const {
        return settings_.AddressColumn() ? "module " + std::to_string(module.address) + ": " : "";
    }

    Program& p_;
    const CommandOptions& opts_;
    WatchSettings settings_;
    int sensors_ = 10;
    ReadingLog file_;
    std::vector<WatchedModule> modules_;
    std::unique_ptr<mqtt::Publisher> publisher_;
    std::string prefix_;
    std::optional<mqtt::DiscoveryAnnouncer> announcer_;
    // What the publisher had dropped and how often it had connected at the last reading, and
    // whether the configs are to be announced again.
    std::uint64_t droppedSeen_ = 0;
    std::uint64_t connectsSeen_ = 0;
    bool announceAgain_ = false;
};

WatchSettings WatchRun::Settings() const {
    WatchSettings s;
    const CommandOptions& o = opts_;
    if (o.Has("--interval")) s.interval = NumberIn("--interval", o.Value("--interval"), 1, 255);
    if (o.Has("--count")) s.count = NumberIn("--count", o.Value("--count"), 1, 1'000'000'000);
    if (o.Has("--address")) {
        if (p_.options_.addressGiven) {
            throw UsageError(
                "--address is given both before the command and to watch: give it once");
        }
        std::string reason;
        const auto list = ParseAddressList(o.Value("--address"), reason);
        if (!list) throw UsageError("--address: " + reason);
        s.addresses = *list;
    } else {
        s.addresses = {p_.options_.address};
    }
    if (o.Has("--csv")) s.csv = o.Value("--csv");
    s.json = o.Has("--json");

    if (!o.Has("--mqtt")) {
        for (const char* option :
             {"--site", "--mqtt-auth", "--mqtt-ca", "--mqtt-queue", "--ha-discovery"}) {
            if (o.Has(option)) throw UsageError(std::string(option) + " needs --mqtt URL");
        }
        return s;
    }
    std::string reason;
    s.broker = mqtt::ParseBrokerUrl(o.Value("--mqtt"), reason);
    if (!s.broker) throw UsageError("--mqtt: " + reason);
    if (o.Has("--mqtt-ca")) {
        if (!s.broker->tls) {
            throw UsageError(
                "--mqtt-ca is for a broker over TLS: write its URL as mqtts://HOST[:PORT]");
        }
        s.caFile = o.Value("--mqtt-ca");
        if (s.caFile.empty()) throw UsageError("--mqtt-ca needs the path of a certificate");
    }
    if (o.Has("--site")) {
        s.site = o.Value("--site");
        if (s.site.empty()) throw UsageError("--site needs a name");
    } else {
        s.site = mqtt::DefaultSite();
    }
    if (o.Has("--mqtt-auth")) {
        s.authFile = o.Value("--mqtt-auth");
        if (s.authFile->empty()) throw UsageError("--mqtt-auth needs the path of a file");
    }
    if (o.Has("--mqtt-queue")) {
        s.queueSize = static_cast<std::size_t>(
            NumberIn("--mqtt-queue", o.Value("--mqtt-queue"), 1, kMaxQueueSize));
    }
    s.discovery = o.Has("--ha-discovery");
    if (s.discovery) {
        // A module's configs (at most 16 levels of 10 channels and its own temperature) go out
        // with its first reading and status through the same queue: they must fit in it whole,
        // or the oldest of them would be dropped as soon as they are queued.
        const std::size_t needed = s.addresses.size() * kMessagesOfAnnouncedModule;
        if (s.queueSize < needed) {
            throw UsageError(
                "--ha-discovery announces up to " + std::to_string(kMessagesOfAnnouncedModule - 2) +
                " sensors a module through the queue: with " + std::to_string(s.addresses.size()) +
                " module(s) give --mqtt-queue " + std::to_string(needed) + " or more");
        }
    }
    return s;
}

std::optional<mqtt::Credentials> WatchRun::Credentials(bool& failed) {
    failed = false;
    std::ostream& err = p_.env_.err;
    std::string reason;
    // The file wins: it is named on this command line, the environment may be a leftover.
    if (settings_.authFile) {
        auto credentials = mqtt::ReadCredentialsFile(*settings_.authFile, reason);
        if (!credentials) {
            err << "nuvctl: --mqtt-auth: " << reason << '\n';
            failed = true;
        }
        return credentials;
    }
    auto credentials = mqtt::CredentialsFromEnvironment(reason, p_.env_.variable);
    if (!credentials && !reason.empty()) {
        err << "nuvctl: " << reason << '\n';
        failed = true;
    }
    return credentials;
}

int WatchRun::StartPublisher() {
    bool failed = false;
    mqtt::PublisherOptions options;
    options.credentials = Credentials(failed);
    if (failed) return kExitFailure;
    options.broker = *settings_.broker;
    prefix_ = mqtt::TopicPrefix(settings_.site);
    options.clientId = mqtt::DefaultClientId(settings_.site, p_.env_.processId);
    options.bridgeTopic = mqtt::BridgeTopic(prefix_);
    options.caFile = settings_.caFile;
    options.queueSize = settings_.queueSize;
    std::string reason;
    publisher_ = p_.env_.startPublisher(options, reason);
    if (!publisher_) {
        p_.env_.err << "nuvctl: " << reason << '\n';
        return kExitFailure;
    }
    if (settings_.discovery) announcer_.emplace(mqtt::kDiscoveryPrefix, settings_.site, prefix_);
    // A refused login or certificate is a failure (said with the events so far); a broker that
    // does not answer yet is tried again while the readings wait.
    // In slices, so that Ctrl-C or SIGTERM ends the wait (the watch then closes the bridge).
    const auto until = std::chrono::steady_clock::now() + kFirstConnectionWait;
    while (publisher_->WaitForConnection(kConnectionWaitSlice) ==
               mqtt::ConnectionState::Connecting &&
           std::chrono::steady_clock::now() < until && !p_.env_.interrupted()) {
    }
    if (!PublisherWell()) {
        publisher_->Close(kCloseAfterFailure);
        publisher_.reset();
        return kExitFailure;
    }
    return kExitDone;
}

bool WatchRun::PublisherWell() {
    if (!publisher_) return true;
    for (const std::string& line : publisher_->TakeEvents()) {
        p_.env_.err << "nuvctl: " << line << '\n';
    }
    if (const auto failure = publisher_->Failure()) {
        p_.env_.err << "nuvctl: " << *failure << '\n';
        return false;
    }
    return true;
}

void WatchRun::Publish(WatchedModule& module, const std::string& time, LinkResult code,
                       const std::optional<TemperatureReading>& reading, std::string json) {
    mqtt::ModuleStatus& status = module.status;
    status.address = module.address;
    status.time = time;
    status.lastResult = code;
    if (reading) status.lastReadingTime = time;
    mqtt::CountReading(status.counters, code);
    if (!publisher_) return;
    if (announcer_) {
        // Configs dropped from the queue while the broker was away, or lost by a broker that
        // started again without its retained messages, are announced again once connected.
        const mqtt::PublisherStats stats = publisher_->Stats();
        if (stats.dropped != droppedSeen_ ||
            (stats.connects > 1 && stats.connects != connectsSeen_)) {
            announceAgain_ = true;
        }
        droppedSeen_ = stats.dropped;
        connectsSeen_ = stats.connects;
        if (announceAgain_ && stats.connected) {
            announcer_->Forget();
            announceAgain_ = false;
        }
    }
    if (announcer_ && reading) {
        for (mqtt::MqttMessage& config : announcer_->NewSensors(module.address, *reading)) {
            publisher_->Publish(std::move(config));
        }
    }
    publisher_->Publish(mqtt::ReadingMessage(prefix_, module.address, std::move(json)));
    publisher_->Publish(mqtt::StatusMessage(prefix_, status));
}

bool WatchRun::ReadModule(WatchedModule& module, bool& stopped, int& status) {
    Tool& tool = p_.tool_;
    Environment& env = p_.env_;
    const std::int64_t stamp = env.clock.WallSeconds();
    std::swap(tool.measure.counters, module.counters);
    const LinkResult code = CyclicReading(tool, static_cast<std::uint8_t>(module.address));
    std::swap(tool.measure.counters, module.counters);
    if (code == result::Stopped) {  // no reading was made
        stopped = true;
        return false;
    }
    const std::optional<TemperatureReading>& reading = tool.measure.lastReading;
    const std::string time = LocalTimeStamp(stamp, env.clock.UtcOffsetSeconds(stamp));
    const std::optional<int> address =
        settings_.AddressColumn() ? std::optional<int>(module.address) : std::nullopt;
    // Readings that cannot be written are lost: stop rather than measure for nothing.
    std::string reason;
    std::string where = "to standard output";
    if (file_.Active()) {
        if (const auto failure = file_.Write(time, code, reading, sensors_, address)) {
            reason = *failure;
            where = *settings_.csv;
        }
    } else if (!settings_.json) {
        env.out << ReadingCsvRow(time, code, reading, sensors_, address) << std::flush;
        OutputWritten(env.out, reason);
    }
    const std::string json = settings_.json || publisher_
                                 ? mqtt::ReadingJson(module.address, time, code, reading, sensors_)
                                 : std::string();
    if (reason.empty() && settings_.json) {
        env.out << json << '\n' << std::flush;
        OutputWritten(env.out, reason);
    }
    if (!reason.empty()) {
        env.err << "nuvctl: cannot write " << where << ": " << reason << '\n';
        status = kExitFailure;
        return false;
    }
    Publish(module, time, code, reading, json);
    // The first failure of each kind in a sentence (the port and the system's reason, what the
    // module did); after it, the error logger's lines count them. On a bus the module in
    // program mode is not asked after: any module on the cable might answer.
    if (!reading && module.kindsSaid.insert(code).second) {
        env.err << "nuvctl: " << Who(module) << "reading " << module.status.counters.readings
                << " failed: " << p_.Explain(code, !settings_.AddressColumn()) << " (result "
                << code << ")\n";
    }
    // The logger's and the log's lines of this reading, then they are emptied: a watch runs for
    // months, and nothing reads them back.
    std::istringstream logger(tool.logger.Text());
    for (std::string line; std::getline(logger, line);) env.err << Who(module) << line << '\n';
    tool.logger.Clear();
    if (p_.options_.verbose) env.err << tool.log.Text() << '\n';
    tool.log.Clear();
    tool.measure.cyclicTrend.Clear();
    return true;
}

bool WatchRun::ClosePublisher() {
    if (!publisher_) return true;
    const mqtt::CloseReport report = publisher_->Close(kCloseLimit);
    PublisherWell();
    const mqtt::PublisherStats stats = publisher_->Stats();
    std::ostream& err = p_.env_.err;
    err << "nuvctl: " << settings_.broker->Text() << ": " << stats.delivered
        << (stats.delivered == 1 ? " message" : " messages") << " delivered";
    if (stats.dropped != 0) err << ", " << stats.dropped << " dropped for want of room";
    if (report.undelivered != 0) err << ", " << report.undelivered << " not delivered";
    err << (report.offlinePublished ? "; the bridge said \"offline\"" : "") << '\n';
    if (stats.connects == 0 && !publisher_->Failure()) {
        err << "nuvctl: " << settings_.broker->Text()
            << " never answered: check the host, the port and that a broker runs there\n";
    }
    const bool whole = stats.dropped == 0 && report.undelivered == 0 && !publisher_->Failure();
    publisher_.reset();
    return whole;
}

void WatchRun::Summary() {
    std::ostream& err = p_.env_.err;
    for (const WatchedModule& module : modules_) {
        const std::uint64_t readings = module.status.counters.readings;
        const std::uint64_t failed = module.status.counters.failed;
        err << "nuvctl: " << Who(module) << readings
            << (readings == 1 ? " reading, " : " readings, ") << failed << " failed"
            << (readings != 0 && failed == readings ? " (no reading succeeded)" : "") << '\n';
    }
}

int WatchRun::Execute() {
    Environment& env = p_.env_;
    Tool& tool = p_.tool_;
    settings_ = Settings();
    sensors_ = SensorsPerChannel(tool.panel);
    for (const int address : settings_.addresses) modules_.push_back({address, {}, {}, {}});

    // Rows go to a file whole and flushed one by one (a crash loses at most the row being
    // written), or to standard output. An existing log goes on under its header; one of other
    // columns is refused. Nothing is written, nor a file made, before the port is open.
    bool headerThere = false;
    if (settings_.csv) {
        if (const auto failure = CheckLogToContinue(*settings_.csv, sensors_, headerThere,
                                                    settings_.AddressColumn())) {
            env.err << "nuvctl: cannot write " << *settings_.csv << ": " << *failure << '\n';
            return kExitFailure;
        }
    }
    if (settings_.broker) {
        if (const int status = StartPublisher(); status != kExitDone) return status;
        // A bridge that a service manager stops has done its work.
        p_.stopIsNormalEnd_ = true;
    }
    if (settings_.csv) {
        if (const LinkResult code = tool.link.ConnectModule(); code != result::Ok) {
            ClosePublisher();
            return p_.Finish(code);
        }
        std::string reason;
        auto opened = ContinueAppendFile(*settings_.csv, reason);
        if (!opened) {
            env.err << "nuvctl: cannot write " << *settings_.csv << ": " << reason << '\n';
            ClosePublisher();
            return kExitFailure;
        }
        file_.Start(std::move(opened), *settings_.csv, headerThere ? sensors_ : 0,
                    headerThere && settings_.AddressColumn());
    }
    if (!file_.Active() && !settings_.json) {
        env.out << ReadingCsvHeader(sensors_, settings_.AddressColumn()) << std::flush;
    }

    int status = kExitDone;
    bool stopped = false;
    bool overrunSaid = false;
    // The rounds keep to the nanosecond, so that they start exactly an interval apart.
    const std::int64_t intervalNs = settings_.interval * 1'000'000'000LL;
    constexpr std::int64_t kLongestSleepNs = 100'000'000;
    std::int64_t next = env.clock.NowNs();
    for (long done = 0; (settings_.count < 0 || done < settings_.count) && !env.interrupted();
         ++done) {
        while (env.clock.NowNs() < next && !env.interrupted()) {
            env.clock.SleepNs(std::min(next - env.clock.NowNs(), kLongestSleepNs));
            if (!PublisherWell()) {
                ClosePublisher();
                Summary();
                return kExitFailure;
            }
        }
        if (env.interrupted()) break;
        const std::int64_t cycleStart = env.clock.NowNs();
        next += intervalNs;
        for (WatchedModule& module : modules_) {
            if (!ReadModule(module, stopped, status)) break;
        }
        if (status != kExitDone) {
            // The output failed: the readings from now on would be lost.
            ClosePublisher();
            return status;
        }
        if (stopped) break;
        if (!PublisherWell()) {
            ClosePublisher();
            Summary();
            return kExitFailure;
        }
        // The interval is the cycle of the whole list. A list that takes longer is read back to
        // back from now on, without trying to catch up on the lost time; said once.
        const bool lastRound = settings_.count >= 0 && done + 1 >= settings_.count;
        if (const std::int64_t now = env.clock.NowNs(); now > next && !lastRound) {
            if (!overrunSaid) {
                overrunSaid = true;
                env.err << "nuvctl: reading "
                        << (modules_.size() == 1
                                ? std::string("the module")
                                : "the " + std::to_string(modules_.size()) + " modules " +
                                      AddressListText(settings_.addresses))
                        << " took " << Seconds((now - cycleStart) / 1'000'000)
                        << ", longer than the interval of " << settings_.interval
                        << " s: the readings follow back to back\n";
            }
            next = now;
        }
    }
    const bool delivered = ClosePublisher();
    Summary();
    bool failed = false;
    for (const WatchedModule& module : modules_) failed |= module.status.counters.failed != 0;
    // A stopped bridge ends well; readings that did not reach the broker fail a counted run.
    if (settings_.broker && env.interrupted()) return kExitDone;
    return failed || !delivered ? kExitFailure : kExitDone;
}

int Program::Watch() {
    const CommandOptions opts("watch", options_.rest, {"--json", "--ha-discovery"},
                              {"--interval", "--count", "--csv", "--sensors", "--address", "--mqtt",
                               "--site", "--mqtt-auth", "--mqtt-ca", "--mqtt-queue"});
    SelectSensors(opts);
    WatchRun run(*this, opts);
    return run.Execute();
}

}  // namespace nuv::cli::detail
