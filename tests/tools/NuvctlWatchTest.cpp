// `nuvctl watch` over several modules on one simulated cable, on a virtual clock: the list of
// addresses, a round of the list every interval, the address in every row, each module's
// failures counted on its own, and a round that outlasts the interval.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "measure/ReadingRow.hpp"
#include "sim/ModuleBus.hpp"
#include "sim/SimFtdi.hpp"
#include "tests/link/LinkFixture.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

class NuvctlWatchTest : public ::testing::Test {
  protected:
    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump, out, err};
        environment.interrupted = [this] { return stop && stop(); };
        return cli::Run(args, environment);
    }
    std::vector<std::string> Lines(const std::string& text) const {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::size_t Count(const std::string& text) const {
        std::size_t n = 0;
        const std::string all = err.str();
        for (std::size_t at = 0; (at = all.find(text, at)) != std::string::npos; ++at) ++n;
        return n;
    }
    sim::ModuleSimulator& Module(int address) {
        return *bus.At(static_cast<std::uint8_t>(address));
    }
    // When the requests for `address` came (every module hears them all, and keeps them all).
    std::vector<std::int64_t> RequestTimes(int address) {
        const sim::ModuleSimulator& any = Module(1);
        std::vector<std::int64_t> times;
        for (std::size_t i = 0; i < any.Requests().size(); ++i) {
            if (any.Requests()[i][0] == address) times.push_back(any.RequestTimesNs()[i]);
        }
        return times;
    }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    // Three modules; the one at 7 never answers.
    sim::ModuleBus& bus = sim::AttachModuleBus(device, {1, 4, 7}, {7});
    std::ostringstream out;
    std::ostringstream err;
    std::function<bool()> stop;
};

// The requests of whole readings (101 registers) for 1, 4 and 7, as they go on the wire.
constexpr const char* kReadAll1 = "01 03 00 00 00 65 85 E1";
constexpr const char* kReadAll4 = "04 03 00 00 00 65 85 B4";
constexpr const char* kReadAll7 = "07 03 00 00 00 65 85 87";

TEST_F(NuvctlWatchTest, EachModuleOfTheListIsReadInTurnAndASilentOneIsCountedOnItsOwn) {
    Module(1).SensorAt(0, 0).fixedRaw = 0x0191;  // 25.0625 degrees
    Module(4).SensorAt(0, 0).fixedRaw = 0x0140;  // 20 degrees
    Module(4).SensorAt(9, 9).fixedRaw = 0xF060;  // no probe
    clock.SetUtcOffset(3600);
    const std::int64_t start = clock.NowMs();
    // The silent module fails the watch, after all its rounds; the others went on.
    ASSERT_EQ(
        Run({"--simulate", "watch", "--address", "1,4,7", "--count", "2", "--interval", "10"}), 1)
        << err.str();
    // Two rounds, ten seconds apart; each module read once a round, in the list's order.
    EXPECT_GE(clock.NowMs() - start, 10'000);
    EXPECT_LT(clock.NowMs() - start, 14'000);
    std::string wire;
    for (int round = 0; round < 2; ++round) {
        wire += std::string(kReadAll1) + " " + kReadAll4 + " " + kReadAll7 + " ";
    }
    wire.pop_back();
    EXPECT_EQ(device.Written(), Hex(wire));

    const std::vector<std::string> rows = Lines(out.str());
    ASSERT_EQ(rows.size(), 7U) << out.str();
    EXPECT_EQ(rows[0].substr(0, 30), "time,address,result,c0s1,c0s2,");
    EXPECT_EQ(rows[0].substr(rows[0].size() - 26), "c9s10,module,sensor_errors");
    EXPECT_EQ(rows[1].substr(0, 37), "2026-01-01T01:00:00+01:00,1,0,25.0625");
    EXPECT_EQ(rows[2].substr(0, 34), "2026-01-01T01:00:00+01:00,4,250,20");
    EXPECT_EQ(rows[2].substr(rows[2].size() - 17), ",,31.25,c9s10:250");
    EXPECT_EQ(rows[3], "2026-01-01T01:00:00+01:00,7,17" + std::string(102, ','));
    EXPECT_EQ(rows[4].substr(0, 37), "2026-01-01T01:00:10+01:00,1,0,25.0625");
    EXPECT_EQ(rows[5].substr(0, 28), "2026-01-01T01:00:10+01:00,4,");
    EXPECT_EQ(rows[6], "2026-01-01T01:00:10+01:00,7,17" + std::string(102, ','));

    // The silent module's first failure in words, and its own counters in the logger's lines,
    // as the missing probe of module 4 has its own.
    EXPECT_EQ(Count("nuvctl: module 7: reading 1 failed: no answer from the module (time-out): "
                    "check the cable, the port and --address (result 17)\n"),
              1U)
        << err.str();
    EXPECT_EQ(Count("reading 2 failed"), 0U) << err.str();
    for (const char* line :
         {"module 4: 0:0:0    Bledy Presence 1W (brak sondy/zwarcie do +5V): 1\n",
          "module 7: 0:0:0    Data Timeout Couner: 1\n",
          "module 4: 0:0:10    Bledy Presence 1W (brak sondy/zwarcie do +5V): 2\n",
          "module 7: 0:0:10    Data Timeout Couner: 2\n"}) {
        EXPECT_EQ(Count(line), 1U) << line << err.str();
    }
    EXPECT_EQ(Count("module 1: 0:"), 0U) << err.str();
    EXPECT_NE(err.str().find("nuvctl: module 1: 2 readings, 0 failed\n"
                             "nuvctl: module 4: 2 readings, 0 failed\n"
                             "nuvctl: module 7: 2 readings, 2 failed (no reading succeeded)\n"),
              std::string::npos)
        << err.str();
}

TEST_F(NuvctlWatchTest, JsonLinesCarryTheAddressAndEveryValue) {
    Module(1).SensorAt(0, 0).fixedRaw = 0x0191;
    Module(4).SensorAt(3, 1).fixedRaw = 0xF040;  // a shorted line
    Module(4).moduleTemperatureRaw = 0xFFF8;     // -0.5 degrees
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4,1", "--count", "1", "--json"}), 0)
        << err.str();
    EXPECT_EQ(device.Written(), Hex(std::string(kReadAll4) + " " + kReadAll1));
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 2U) << out.str();
    const QJsonObject four = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
    const QJsonObject one = QJsonDocument::fromJson(QByteArray::fromStdString(lines[1])).object();
    EXPECT_EQ(four["time"].toString(), "2026-01-01T00:00:00+00:00");
    EXPECT_EQ(four["address"].toInt(), 4);
    EXPECT_EQ(four["result"].toInt(), 252);
    EXPECT_EQ(four["sensors_per_channel"].toInt(), 10);
    EXPECT_EQ(four["module_temperature"].toDouble(), -0.5);
    EXPECT_TRUE(four["channels"].toArray()[3].toArray()[1].isNull());
    EXPECT_EQ(four["sensor_errors"].toObject()["c3s2"].toInt(), 252);
    EXPECT_EQ(one["address"].toInt(), 1);
    EXPECT_EQ(one["result"].toInt(), 0);
    EXPECT_EQ(one["channels"].toArray()[0].toArray()[0].toDouble(), 25.0625);
    EXPECT_EQ(one["module_temperature"].toDouble(), 31.25);
    EXPECT_TRUE(one["sensor_errors"].toObject().isEmpty());
    EXPECT_NE(err.str().find("nuvctl: module 4: 1 reading, 0 failed\n"), std::string::npos);
}

TEST_F(NuvctlWatchTest, ARoundLongerThanTheIntervalIsSaidOnceAndTheRoundsGoOnBackToBack) {
    // The silent module's time-out makes every round of 1,4,7 outlast a second.
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4,7", "--count", "3", "--interval", "1"}),
              1);
    EXPECT_EQ(Count("longer than the interval"), 1U) << err.str();
    EXPECT_NE(err.str().find("nuvctl: reading the 3 modules 1,4,7 took "), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(", longer than the interval of 1 s: the readings follow back to "
                             "back\n"),
              std::string::npos)
        << err.str();

    // The last round of a counted run is followed by nothing: no sentence about the rounds.
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4,7", "--count", "1", "--interval", "1"}),
              1);
    EXPECT_EQ(Count("longer than the interval"), 0U) << err.str();

    // One slow round, then fast ones: the next round starts as the slow one ends, and the
    // rounds after it keep the interval from there, without catching up on the lost time.
    Module(7).faults.silent = 1;
    const std::size_t before = RequestTimes(1).size();
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4,7", "--count", "4", "--interval", "1"}),
              1);
    const std::vector<std::int64_t> times = RequestTimes(1);
    ASSERT_EQ(times.size(), before + 4);
    const std::int64_t second = 1'000'000'000;
    EXPECT_GT(times[before + 1] - times[before], second);  // the slow round
    // A round starts an interval after the one before it (the request a little after).
    for (const std::size_t round : {before + 2, before + 3}) {
        EXPECT_GE(times[round] - times[round - 1], second);
        EXPECT_LT(times[round] - times[round - 1], second + 1'000'000);
    }
    EXPECT_EQ(Count("longer than the interval"), 1U) << err.str();
    EXPECT_NE(err.str().find("nuvctl: module 7: 4 readings, 1 failed\n"), std::string::npos)
        << err.str();
}

TEST_F(NuvctlWatchTest, AStopEndsTheRoundWhereItIsWithTheSummary) {
    stop = [this] { return RequestTimes(4).size() >= 2; };
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "1,4,7", "--interval", "1"}), 130);
    // The second round's module 4 was read, module 7 was not asked again.
    EXPECT_EQ(device.Written(), Hex(std::string(kReadAll1) + " " + kReadAll4 + " " + kReadAll7 +
                                    " " + kReadAll1 + " " + kReadAll4));
    EXPECT_NE(err.str().find("nuvctl: module 1: 2 readings, 0 failed\n"
                             "nuvctl: module 4: 2 readings, 0 failed\n"
                             "nuvctl: module 7: 1 reading, 1 failed (no reading succeeded)\n"),
              std::string::npos)
        << err.str();
}

TEST_F(NuvctlWatchTest, AListOfOneKeepsTheColumnsOfOneModule) {
    Module(4).SensorAt(0, 0).fixedRaw = 0x0140;
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "1"}), 0) << err.str();
    const std::vector<std::string> rows = Lines(out.str());
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0] + "\n", ReadingCsvHeader(10));
    EXPECT_EQ(rows[1].substr(0, 31), "2026-01-01T00:00:00+00:00,0,20,");
    EXPECT_EQ(err.str(), "nuvctl: 1 reading, 0 failed\n");
    // The address before the command, as before.
    ASSERT_EQ(Run({"--simulate", "--address", "1", "watch", "--count", "1"}), 0) << err.str();
    EXPECT_EQ(Lines(out.str())[0] + "\n", ReadingCsvHeader(10));
    EXPECT_EQ(device.Written(), Hex(std::string("04 03 00 00 00 65 85 B4 ") + kReadAll1));
}

TEST_F(NuvctlWatchTest, ABusLogGoesOnUnderItsHeaderAndALogOfOneModuleIsNotMixedWithIt) {
    const std::string folder = ::testing::TempDir() + "nuvctl-bus-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const std::string bus = folder + "/bus.csv";
    const std::string one = folder + "/one.csv";
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--count", "1", "--csv", bus}), 0)
        << err.str();
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--count", "1", "--csv", bus}), 0)
        << err.str();
    EXPECT_EQ(out.str(), "");
    std::vector<std::string> rows;
    {
        std::ifstream file(bus);
        for (std::string line; std::getline(file, line);) rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 5U);
    EXPECT_EQ(rows[0] + "\n", ReadingCsvHeader(10, true));
    EXPECT_EQ(rows[1].substr(25, 5), ",1,0,");
    EXPECT_EQ(rows[2].substr(25, 5), ",4,0,");
    EXPECT_EQ(rows[3].substr(25, 5), ",1,0,");
    EXPECT_EQ(rows[4].substr(25, 5), ",4,0,");

    // A one-module log is not continued by a bus's rows, nor the reverse; nothing is read.
    ASSERT_EQ(Run({"--simulate", "watch", "--address", "4", "--count", "1", "--csv", one}), 0);
    const std::size_t written = device.Written().size();
    EXPECT_EQ(Run({"--simulate", "watch", "--address", "1,4", "--count", "1", "--csv", one}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + one +
                             ": its columns are not those of this log (10 sensors per channel, "
                             "with an address column); it is a log of one module (it has no "
                             "address column): name another file\n");
    EXPECT_EQ(Run({"--simulate", "watch", "--count", "1", "--csv", bus}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + bus +
                             ": its columns are not those of this log (10 sensors per channel); "
                             "it is a log of several modules (it has an address column): name "
                             "another file\n");
    EXPECT_EQ(device.Written().size(), written);
    std::filesystem::remove_all(folder);
}

TEST_F(NuvctlWatchTest, BadListsAndOptionsAreUsageErrorsBeforeAnythingIsSent) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--address", "0"}, "--address: '0' is not an address of 1..247"},
        {{"--address", "248"}, "--address: '248' is not an address of 1..247"},
        {{"--address", "1,4,4"}, "--address: 4 is listed twice"},
        {{"--address", "3-9,5"}, "--address: 5 is listed twice"},
        {{"--address", "9-3"}, "--address: the range '9-3' goes downwards: write it as 3-9"},
        {{"--address", "1,,4"}, "--address: an empty item in the list of addresses '1,,4'"},
        {{"--address", "x"}, "--address: 'x' is not an address of 1..247"},
        {{"--address"}, "--address needs a value"},
        {{"--site", "boiler"}, "--site needs --mqtt URL"},
        {{"--ha-discovery"}, "--ha-discovery needs --mqtt URL"},
        {{"--mqtt-auth", "/etc/passwd"}, "--mqtt-auth needs --mqtt URL"},
        {{"--mqtt-queue", "5"}, "--mqtt-queue needs --mqtt URL"},
        {{"--mqtt", "http://broker"},
         "--mqtt: 'http://broker' is no broker URL: mqtt://HOST[:PORT] or mqtts://..."},
        {{"--mqtt", "mqtt://broker", "--mqtt-ca", "ca.crt"},
         "--mqtt-ca is for a broker over TLS: write its URL as mqtts://HOST[:PORT]"},
        {{"--mqtt", "mqtt://broker", "--mqtt-queue", "0"},
         "--mqtt-queue takes a whole number from 1 to 1000000, not '0'"},
        {{"--mqtt", "mqtt://broker", "--site", ""}, "--site needs a name"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args{"--simulate", "watch", "--count", "1"};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(message);
        EXPECT_EQ(Run(args), 2);
        EXPECT_EQ(err.str(), "nuvctl: " + message + "\nTry 'nuvctl --help'.\n");
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_EQ(Run({"--simulate", "--address", "4", "watch", "--address", "1,4"}), 2);
    EXPECT_EQ(err.str(),
              "nuvctl: --address is given both before the command and to watch: give it once\n"
              "Try 'nuvctl --help'.\n");
    EXPECT_EQ(Run({"--simulate-bus", "1,1", "watch"}), 2);
    EXPECT_EQ(err.str(), "nuvctl: --simulate-bus: 1 is listed twice\nTry 'nuvctl --help'.\n");
    EXPECT_TRUE(device.Written().empty());
}

}  // namespace
}  // namespace nuv::test
