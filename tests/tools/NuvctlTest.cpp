// The command-line program against the simulated module on a virtual clock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "link/SerialPortFtdi.hpp"
#include "measure/ReadingRow.hpp"
#include "sensors/SensorCommon.hpp"
#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

class NuvctlTest : public ::testing::Test {
  protected:
    NuvctlTest() { device.AttachPeer(moduleOwner); }

    int Run(const std::vector<std::string>& args, std::ostream* output = nullptr) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice& choice) -> FtdiApi& {
                lastChoice = choice;
                if (choice.port.empty()) return driver;
                // A named port goes to the system's serial ports.
                serialPorts = std::make_unique<SerialPortFtdi>(
                    std::vector<ExplicitPort>{{choice.port, "ORNEVA NUV", ""}});
                return *serialPorts;
            },
            clock, pump, output != nullptr ? *output : out, err};
        return cli::Run(args, environment);
    }
    QJsonObject Json() const {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.str();
        return document.object();
    }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    std::ostringstream out;
    std::ostringstream err;
    cli::DriverChoice lastChoice;
    std::unique_ptr<SerialPortFtdi> serialPorts;
};

TEST_F(NuvctlTest, ReadAsJsonHoldsEveryValue) {
    module.SensorAt(3, 2).fixedRaw = 0xF040;  // a shorted line is data, not a failure
    module.SensorAt(9, 9).fixedRaw = 0x7FFF;
    module.moduleTemperatureRaw = 0xFFF8;
    ASSERT_EQ(Run({"--simulate", "read", "--json"}), 0) << err.str();
    EXPECT_TRUE(lastChoice.simulate);
    const QJsonObject json = Json();
    EXPECT_EQ(json["address"].toInt(), 2);
    EXPECT_EQ(json["sensors_per_channel"].toInt(), 10);
    EXPECT_EQ(json["result"].toInt(), 252);
    EXPECT_EQ(json["module_temperature"].toDouble(), -0.5);
    const QJsonArray channels = json["channels"].toArray();
    const QJsonArray raw = json["raw"].toArray();
    ASSERT_EQ(channels.size(), 10);
    ASSERT_EQ(raw.size(), 10);
    EXPECT_EQ(channels[3].toArray().size(), 10);
    EXPECT_EQ(channels[3].toArray()[2].toDouble(), -252.0);
    EXPECT_EQ(raw[3].toArray()[2].toInt(), 0xF040);
    EXPECT_EQ(channels[9].toArray()[9].toDouble(), 2047.9375);
    EXPECT_EQ(raw[9].toArray()[9].toInt(), 0x7FFF);
    // Every value is the conversion of its raw word.
    const int word = raw[0].toArray()[0].toInt();
    EXPECT_EQ(channels[0].toArray()[0].toDouble(), word * 0.0625);
}

TEST_F(NuvctlTest, ReadTableAndSixteenSensors) {
    module.sensorsPerChannel = 16;
    module.SensorAt(0, 15).fixedRaw = 0x0191;
    ASSERT_EQ(Run({"--simulate", "--address", "2", "read", "--sensors", "16"}), 0) << err.str();
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(lines, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), 18U);  // header, 16 levels, module
    EXPECT_EQ(rows[0].substr(0, 9), "level\tch0");
    EXPECT_EQ(rows[16].substr(0, 9), "16\t25.06\t");
    EXPECT_EQ(rows[17], "module\t31.25");
}

TEST_F(NuvctlTest, WatchWritesOneCsvRowPerReadingAndLogsFailures) {
    const std::string path = ::testing::TempDir() + "/nuvctl-watch.csv";
    std::filesystem::remove(path);  // an earlier log would be continued
    module.faults.silent = 1;       // the first reading gets no answer
    module.SensorAt(1, 1).fixedRaw = 0x0140;
    module.SensorAt(2, 0).fixedRaw = 0xF060;  // no probe: an empty cell, its code at the end
    clock.SetUtcOffset(3600);
    const std::int64_t start = clock.NowMs();
    // A failed reading makes the watch fail, after all its readings.
    ASSERT_EQ(Run({"--simulate", "watch", "--count", "3", "--interval", "5", "--csv", path}), 1)
        << err.str();
    EXPECT_GE(clock.NowMs() - start, 10'000);  // three readings, five seconds apart
    EXPECT_LT(clock.NowMs() - start, 11'000);
    std::ifstream file(path);
    std::vector<std::string> rows;
    for (std::string line; std::getline(file, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_EQ(rows[0].substr(0, 23), "time,result,c0s1,c0s2,c");
    EXPECT_EQ(rows[0].substr(rows[0].size() - 26), "c9s10,module,sensor_errors");
    // Local time with its offset; a failed reading has every value cell empty.
    const std::regex failed(R"(2026-01-01T01:00:00\+01:00,17(,){102})");
    EXPECT_TRUE(std::regex_match(rows[1], failed)) << rows[1];
    const std::regex good(
        R"(2026-01-01T01:00:(05|10)\+01:00,250(,-?[0-9.]+){20},(,-?[0-9.]+){80},c2s1:250)");
    EXPECT_TRUE(std::regex_match(rows[2], good)) << rows[2];
    EXPECT_TRUE(std::regex_match(rows[3], good)) << rows[3];
    EXPECT_NE(rows[2].find(",20,"), std::string::npos);  // channel 1, level 2: 0x0140
    EXPECT_LT(rows[1].substr(0, 20), rows[2].substr(0, 20));
    EXPECT_EQ(out.str(), "");  // the rows went to the file
    EXPECT_NE(err.str().find("0:0:0    Data Timeout Couner: 1\n"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("nuvctl: 3 readings, 1 failed\n"), std::string::npos) << err.str();
    std::filesystem::remove(path);
}

TEST_F(NuvctlTest, WatchContinuesAnExistingLogAndTouchesNoFileBeforeThePortIsOpen) {
    const std::string folder = ::testing::TempDir() + "nuvctl-log-" + std::to_string(::getpid());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string old = folder + "/old.csv";
    const std::string earlier =
        ReadingCsvHeader(10) + "2025-12-31T23:59:00+00:00,17" + std::string(102, ',') + "\n";
    std::ofstream(old, std::ios::binary) << earlier;
    auto text = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    };

    // A port that does not open: the log stays as it was, and a new one is not made.
    EXPECT_EQ(Run({"--port", "/nonexistent-nuv-port", "watch", "--csv", old, "--count", "1"}), 1);
    EXPECT_EQ(text(old), earlier);
    EXPECT_NE(err.str().find("cannot open /nonexistent-nuv-port: No such file or directory"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"--port", "/nonexistent-nuv-port", "watch", "--csv", folder + "/new.csv",
                   "--count", "1"}),
              1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/new.csv"));

    // The module answers: the rows go on after the earlier ones, under the one header.
    ASSERT_EQ(Run({"--simulate", "watch", "--csv", old, "--count", "2", "--interval", "1"}), 0)
        << err.str();
    const std::string now = text(old);
    EXPECT_EQ(now.substr(0, earlier.size()), earlier);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 4);
    EXPECT_EQ(now.find("time,result", 1), std::string::npos);

    // A log of other columns is refused before the module is asked, and left as it was.
    const std::size_t sent = device.Written().size();
    EXPECT_EQ(Run({"--simulate", "watch", "--sensors", "12", "--csv", old, "--count", "1"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + old +
                             ": its columns are not those of this log (12 sensors per channel): "
                             "name another file\n");
    EXPECT_EQ(text(old), now);
    EXPECT_EQ(device.Written().size(), sent);
    std::filesystem::remove_all(folder);
}

TEST_F(NuvctlTest, ASilentModuleIsAFailure) {
    module.faults.silent = -1;
    EXPECT_EQ(Run({"--simulate", "read"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("no answer from the module"), std::string::npos);
    EXPECT_EQ(Run({"--simulate", "power", "--json"}), 1);
    EXPECT_EQ(Run({"--simulate", "watch", "--count", "2"}), 1);
    EXPECT_NE(err.str().find("no reading succeeded"), std::string::npos);
    driver.Unplug(0);
    EXPECT_EQ(Run({"--simulate", "read"}), 1);
    EXPECT_NE(err.str().find("no device found"), std::string::npos);
    EXPECT_EQ(Run({"--simulate", "devices"}), 0);  // listing nothing is still a listing
}

TEST_F(NuvctlTest, BadArgumentsAreUsageErrors) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--simulate"},
                                               {"--address", "0", "read"},
                                               {"--address", "248", "read"},
                                               {"--address"},
                                               {"--simulate", "--port", "/dev/x", "read"},
                                               {"--frobnicate", "read"},
                                               {"--simulate", "fly"},
                                               {"--simulate", "read", "--sensors", "11"},
                                               {"--simulate", "read", "--csv", "x"},
                                               {"--simulate", "outputs", "--set", "16"},
                                               // A sign is no part of a mask or a count.
                                               {"--simulate", "outputs", "--set", "-0"},
                                               {"--simulate", "outputs", "--set", "+5"},
                                               {"--simulate", "watch", "--count", "-0"},
                                               {"--simulate", "search", "--channel", "+1"},
                                               {"--simulate", "outputs", "--set"},
                                               {"--simulate", "watch", "--interval", "0"}}) {
        EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
        EXPECT_NE(err.str().find("nuvctl: "), std::string::npos);
    }
    EXPECT_TRUE(device.Written().empty());  // nothing reached the module
    EXPECT_EQ(Run({"--simulate", "watch", "--count", "1", "--csv", "/nonexistent/dir/x.csv"}), 1);
}

// A table with sensor error values ends with the error logger's two lines: the presence errors,
// and the 1-Wire short or CRC error that the reading found last.
TEST_F(NuvctlTest, ReadTableEndsWithTheSensorErrorLines) {
    module.SensorAt(2, 0).fixedRaw = 0xF060;
    module.SensorAt(3, 1).fixedRaw = 0xF040;
    module.SensorAt(7, 1).fixedRaw = 0xF050;
    module.SensorAt(7, 2).fixedRaw = 0xF050;
    ASSERT_EQ(Run({"--simulate", "read"}), 0) << err.str();
    const std::string text = out.str();
    EXPECT_EQ(text.substr(text.find("module\t31.25\n") + 13),
              "sensor error 250 at c2s1: a sensor did not answer: no probe on the channel, or a "
              "broken 1-Wire line\n"
              "sensor error 251 at c7s2 c7s3: a sensor's answer failed its 1-Wire CRC: a poor "
              "contact or interference on the probe\n"
              "sensor error 252 at c3s2: a 1-Wire line is shorted: check the probe and its "
              "connector\n");
    EXPECT_EQ(text.find("Bledy"), std::string::npos);  // not the window's counters

    module.SensorAt(2, 0).fixedRaw.reset();
    module.SensorAt(7, 1).fixedRaw.reset();
    module.SensorAt(7, 2).fixedRaw.reset();
    ASSERT_EQ(Run({"--simulate", "read"}), 0) << err.str();
    EXPECT_EQ(out.str().substr(out.str().find("module\t31.25\n") + 13),
              "sensor error 252 at c3s2: a 1-Wire line is shorted: check the probe and its "
              "connector\n");
}

TEST_F(NuvctlTest, PowerOutputsDiagnosticsAndDevices) {
    ASSERT_EQ(Run({"--simulate", "power", "--json"}), 0) << err.str();
    const QJsonObject power = Json();
    EXPECT_EQ(power["system_v"].toDouble(), 5.0);
    EXPECT_NEAR(power["main_v"].toDouble(), 12.597656, 1e-5);
    EXPECT_NEAR(power["currents_a"].toArray()[0].toDouble(), 0.25, 1e-6);

    EXPECT_EQ(Run({"--simulate", "outputs", "--set", "5"}), 0);
    EXPECT_EQ(module.outputs, 5);
    EXPECT_EQ(Run({"--simulate", "outputs"}), 0);
    EXPECT_EQ(out.str(), "OUT1 on\nOUT2 off\nOUT3 on\nOUT4 off\nmask 5\n");

    module.resetCounters = {7, 0, 1, 0, 2, 4};
    EXPECT_EQ(Run({"--simulate", "diag"}), 0);
    EXPECT_EQ(out.str(),
              "total\t7\njtag\t0\nwatchdog\t1\nbrown-out\t0\nexternal\t2\npower-up\t4\n");
    EXPECT_EQ(Run({"--simulate", "diag", "--clear"}), 0);
    EXPECT_EQ(module.resetCounters, (std::array<std::uint16_t, 6>{}));

    EXPECT_EQ(Run({"--simulate", "devices"}), 0);
    EXPECT_EQ(out.str(), "ORNEVA NUV\tNUV13001\tUSED BY THIS PROGRAM\n");
}

TEST_F(NuvctlTest, VerboseShowsTheWireTrace) {
    ASSERT_EQ(Run({"--simulate", "-v", "read"}), 0);
    EXPECT_NE(err.str().find("02 03 00 00 00 65 85 D2"), std::string::npos);
    ASSERT_EQ(Run({"--simulate", "read"}), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out.str().find("Usage: nuvctl"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out.str().substr(0, 7), "nuvctl ");
}

TEST_F(NuvctlTest, OutputThatCannotBeWrittenIsAFailure) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--simulate", "read"},
             {"--simulate", "read", "--json"},
             {"--simulate", "power"},
             {"--simulate", "devices"},
             {"--simulate", "diag"},
             {"--simulate", "watch", "--count", "3", "--interval", "1"}}) {
        // Standard output on a full disk.
        const int fd = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(fd, 0);
        cli::DescriptorBuffer full(fd);
        std::ostream failing(&full);
        const std::int64_t start = clock.NowMs();
        EXPECT_EQ(Run(args, &failing), 1) << ::testing::PrintToString(args);
        EXPECT_NE(
            err.str().find("nuvctl: cannot write to standard output: No space left on device"),
            std::string::npos)
            << err.str();
        // A watch stops at the first row it cannot write.
        EXPECT_LT(clock.NowMs() - start, 1000) << ::testing::PrintToString(args);
        ::close(fd);
    }
    // And on a descriptor that is closed.
    cli::DescriptorBuffer closed(-1);
    std::ostream failing(&closed);
    EXPECT_EQ(Run({"--simulate", "power", "--json"}, &failing), 1);
    EXPECT_NE(err.str().find("nuvctl: cannot write to standard output: Bad file descriptor"),
              std::string::npos)
        << err.str();
}

TEST_F(NuvctlTest, AReplyThatAnswersAnotherRequestIsNamed) {
    module.faults.answerAsAnyAddress = true;  // the module at 2 answers a request for 6
    EXPECT_EQ(Run({"--simulate", "--address", "6", "read"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("nuvctl: the answer came from address 2, not 6 (result 1)"),
              std::string::npos)
        << err.str();
    module.faults.answerAsAnyAddress = false;
    // Twelve sensors per channel ask past the register map of a module with ten.
    EXPECT_EQ(Run({"--simulate", "read", "--sensors", "12"}), 1);
    EXPECT_NE(err.str().find("nuvctl: the module answered exception 02, illegal data address: "
                             "check --sensors and --address (result 17)"),
              std::string::npos)
        << err.str();
}

TEST_F(NuvctlTest, APortThatCannotBeOpenedIsNamedWithItsReason) {
    EXPECT_EQ(Run({"--port", "/nonexistent-nuv-port", "read"}), 1);
    EXPECT_EQ(lastChoice.port, "/nonexistent-nuv-port");
    EXPECT_NE(err.str().find("nuvctl: cannot open /nonexistent-nuv-port: No such file or "
                             "directory (result 30)"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"--port", "/dev/null", "power"}), 1);
    EXPECT_NE(err.str().find("nuvctl: cannot open /dev/null: it is not a serial port"),
              std::string::npos)
        << err.str();
    // An empty path is no port: a usage error, not a search for USB devices.
    EXPECT_EQ(Run({"--port", "", "read"}), 2);
    EXPECT_NE(err.str().find("--port needs the path of a serial port"), std::string::npos);
}

TEST_F(NuvctlTest, VerboseTellsHowMuchStaleInputWasThrownAway) {
    device.keepsInputWhileClosed = true;
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    // Another program asked for the power values and left; their answer waits on the port.
    FtHandle other = 0;
    ASSERT_EQ(driver.Open(0, other), ft::Ok);
    const auto request = std::vector<std::uint8_t>{0x02, 0x06, 0x00, 0x00, 0x00, 0x07, 0xC8, 0x3B};
    std::uint32_t written = 0;
    ASSERT_EQ(driver.Write(other, request.data(), 8, written), ft::Ok);
    clock.AdvanceMs(100);
    driver.Close(other);
    ASSERT_EQ(Run({"--simulate", "-v", "diag"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "total\t7\njtag\t0\nwatchdog\t1\nbrown-out\t0\nexternal\t2\npower-up\t4\n");
    EXPECT_NE(err.str().find("nuvctl: discarded 19 byte(s) of stale input\n"), std::string::npos)
        << err.str();
}

TEST_F(NuvctlTest, InfoEntersProgramModeReportsAndLeaves) {
    module.Configure(9, 30);
    module.firmwareClass = 0x12;
    module.firmwareBuild = 0x47;
    ASSERT_EQ(Run({"--simulate", "info", "--json"}), 0) << err.str();
    const QJsonObject info = Json();
    EXPECT_EQ(info["address"].toInt(), 9);
    EXPECT_EQ(info["interval_s"].toInt(), 30);
    EXPECT_EQ(info["firmware"].toString(), "12.47");
    EXPECT_EQ(info["standard"].toString(), "MULTICORE");
    EXPECT_EQ(info["sensors_per_channel"].toInt(), 16);
    EXPECT_FALSE(info["up_to_date"].toBool());
    EXPECT_FALSE(module.programMode);

    ASSERT_EQ(Run({"--simulate", "info", "--stay"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "address\t9\ninterval\t30 s\nfirmware\t12.47\nstandard\tMULTICORE\nsensors per "
              "channel\t16\nupdate\tthe tool carries firmware 00.48\n");
    EXPECT_TRUE(module.programMode);
}

TEST_F(NuvctlTest, ConfigSetsAddressAndIntervalAndSavesOnRequest) {
    ASSERT_EQ(Run({"--simulate", "config", "--address", "5", "--interval", "9"}), 0) << err.str();
    EXPECT_EQ(out.str(), "address 5 set\ninterval 9 s set\n");
    EXPECT_EQ(module.address, 5);
    EXPECT_EQ(module.intervalSeconds, 9);
    EXPECT_EQ(module.storedAddress, 2);  // not permanent
    EXPECT_FALSE(module.programMode);

    module.Configure(2, 4);
    ASSERT_EQ(Run({"--simulate", "config", "--address", "7", "--save"}), 0) << err.str();
    EXPECT_EQ(out.str(), "address 7 set\nconfiguration saved permanently\n");
    EXPECT_EQ(module.storedAddress, 7);
    EXPECT_FALSE(module.programMode);

    EXPECT_EQ(Run({"--simulate", "config"}), 2);
    EXPECT_EQ(Run({"--simulate", "config", "--address", "248"}), 2);
}

TEST_F(NuvctlTest, AFailedCommandStillLeavesProgramMode) {
    module.faults.refuse = 2;  // the identification and the address are refused
    EXPECT_EQ(Run({"--simulate", "config", "--address", "5"}), 1);
    EXPECT_NE(err.str().find("nuvctl: saving the address: the module refused the request "
                             "(result 21)"),
              std::string::npos)
        << err.str();
    EXPECT_FALSE(module.programMode);
    EXPECT_EQ(module.address, 2);
}

TEST_F(NuvctlTest, DumpWritesTheMemoryWholeOrNotAtAll) {
    const std::string folder = ::testing::TempDir() + "nuvctl-dump-" + std::to_string(::getpid());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/module.dat";
    ASSERT_EQ(Run({"--simulate", "dump", file}), 0) << err.str();
    EXPECT_EQ(out.str(), "4096 bytes written to " + file + "\n");
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    const auto memory = module.Memory();
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(memory.begin(), memory.end()));
    EXPECT_FALSE(module.programMode);

    // A folder nobody may write into. Root writes into any folder whatever its mode, so as
    // root sysfs stands in: it takes no new files from anyone.
    std::string readOnly = folder + "/read-only";
    std::filesystem::create_directories(readOnly);
    std::filesystem::permissions(
        readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() == 0) readOnly = "/sys";
    EXPECT_EQ(Run({"--simulate", "dump", readOnly + "/module.dat"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + readOnly + "/module.dat: Permission denied\n");
    EXPECT_FALSE(std::filesystem::exists(readOnly + "/module.dat"));
    if (readOnly != "/sys") {
        EXPECT_TRUE(std::filesystem::is_empty(readOnly));
    }
    EXPECT_FALSE(module.programMode);
    std::filesystem::permissions(folder + "/read-only", std::filesystem::perms::owner_all);
    std::filesystem::remove_all(folder);

    EXPECT_EQ(Run({"--simulate", "dump"}), 2);
}

TEST_F(NuvctlTest, ADumpThroughALinkWritesItsTargetAndAFolderIsRefusedAtOnce) {
    const std::string folder = ::testing::TempDir() + "nuvctl-link-" + std::to_string(::getpid());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/real");
    std::ofstream(folder + "/real/t.dat") << "stale";
    std::filesystem::create_symlink("real/t.dat", folder + "/l.dat");
    ASSERT_EQ(Run({"--simulate", "dump", folder + "/l.dat"}), 0) << err.str();
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "/l.dat"));
    EXPECT_EQ(std::filesystem::file_size(folder + "/real/t.dat"), 4096U);

    const std::size_t sent = device.Written().size();
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(Run({"--simulate", "dump", folder}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + folder + ": it is a folder\n");
    std::filesystem::create_symlink("real/gone.dat", folder + "/dangling.dat");
    EXPECT_EQ(Run({"--simulate", "dump", folder + "/dangling.dat"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + folder + "/dangling.dat: it is a link to " +
                             folder + "/real/gone.dat, which does not exist\n");
    // A FIFO that no program reads is said before the memory is read, not after.
    const std::string fifo = folder + "/dump.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Run({"--simulate", "dump", fifo}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + fifo +
                             ": it is a FIFO that no program reads: start the reading program "
                             "first\n");
    EXPECT_EQ(device.Written().size(), sent);  // the module was not asked
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_FALSE(module.programMode);
    std::filesystem::remove_all(folder);
}

// Two bit errors that cancel out pass a memory piece's checks: the plain dump keeps them,
// --verify reads the memory twice and reads again what differs.
TEST_F(NuvctlTest, DumpVerifyReadsAgainWhatDiffers) {
    const std::string folder = ::testing::TempDir() + "nuvctl-verify-" + std::to_string(::getpid());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/module.dat";
    const auto bytes = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::vector<std::uint8_t>{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    };
    const auto memory = module.Memory();
    const std::vector<std::uint8_t> expected(memory.begin(), memory.end());
    // Beyond the identification's bytes: only the memory's answers have bytes there.
    module.faults.flipFirst = 9;
    module.faults.flipLast = 64;
    module.faults.cancellingFlips = 1;
    ASSERT_EQ(Run({"--simulate", "dump", file}), 0) << err.str();
    EXPECT_NE(bytes(), expected);  // what the line spoilt unseen

    module.faults.cancellingFlips = 1;
    ASSERT_EQ(Run({"--simulate", "dump", file, "--verify"}), 0) << err.str();
    EXPECT_EQ(out.str(), "4096 bytes written to " + file +
                             " (read twice and compared; 1 piece(s) read again)\n");
    EXPECT_EQ(bytes(), expected);
    EXPECT_FALSE(module.programMode);

    // A piece that reads differently every time: named, and the file is left as it was.
    module.sensorCount.fill(0);
    module.faults.flipFirst = 1;
    module.faults.cancellingFlips = -1;
    EXPECT_EQ(Run({"--simulate", "dump", file, "--verify"}), 1);
    module.faults.cancellingFlips = 0;
    EXPECT_EQ(err.str(),
              "nuvctl: reading the memory: no two reads agreed for piece(s) 0 (0x0000) in 6 reads "
              "each: the line spoils the module's answers; nothing was written\n");
    EXPECT_EQ(bytes(), expected);
    EXPECT_FALSE(module.programMode);
    std::filesystem::remove_all(folder);
}

TEST_F(NuvctlTest, ADumpToStandardOutputIsTheDumpAlone) {
    // "nuvctl dump /dev/stdout | wc -c": standard output is a pipe for the time of the run. The
    // pipe gets the memory alone; what was done is said on standard error.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    const int status = Run({"--simulate", "dump", "/dev/stdout"});
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(pipeFds[1]);
    std::string piped;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        piped.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(piped.size(), 4096U);
    const auto memory = module.Memory();
    EXPECT_EQ(piped, std::string(memory.begin(), memory.end()));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "4096 bytes written to /dev/stdout\n");
    EXPECT_TRUE(std::filesystem::is_symlink("/dev/stdout"));
}

TEST_F(NuvctlTest, ResetByCodeOrByTheCable) {
    ASSERT_EQ(Run({"--simulate", "reset"}), 0) << err.str();
    EXPECT_EQ(out.str(), "module reset\n");
    EXPECT_EQ(module.resetCounters[2], 1);  // by the firmware
    EXPECT_FALSE(module.programMode);
    ASSERT_EQ(Run({"--simulate", "reset", "--usb"}), 0) << err.str();
    EXPECT_EQ(module.resetCounters[4], 1);  // by the cable
    module.faults.silent = -1;
    EXPECT_EQ(Run({"--simulate", "reset"}), 1);
    EXPECT_NE(err.str().find("no answer from the module"), std::string::npos) << err.str();
}

TEST_F(NuvctlTest, SearchListsTheSerialsByLevel) {
    module.sensorCount[3] = 2;
    ASSERT_EQ(Run({"--simulate", "search", "--channel", "3"}), 0) << err.str();
    const std::vector<int> order = module.Order(3);
    EXPECT_EQ(out.str(), "channel 3\t2 sensor(s)\n  1\t" +
                             SerialText(module.SensorAt(3, order[0]).serial) + "\n  2\t" +
                             SerialText(module.SensorAt(3, order[1]).serial) + "\n");
    EXPECT_FALSE(module.programMode);

    module.sensorCount[5] = 0;
    ASSERT_EQ(Run({"--simulate", "search", "--json"}), 0) << err.str();
    const QJsonObject json = Json();
    EXPECT_EQ(json["sensors_per_channel"].toInt(), 10);
    const QJsonArray channels = json["channels"].toArray();
    ASSERT_EQ(channels.size(), 10);
    EXPECT_EQ(channels[3].toObject()["serials"].toArray().size(), 2);
    EXPECT_EQ(channels[5].toObject()["reported"].toInt(), 0);
    EXPECT_FALSE(module.programMode);

    module.faults.sameSerials = 1;
    EXPECT_EQ(Run({"--simulate", "search", "--channel", "0"}), 1);
    EXPECT_EQ(out.str(),
              "channel 0\tsearch failed: the module found the same serials or user bytes\n");
    EXPECT_FALSE(module.programMode);
}

TEST_F(NuvctlTest, ADamagedSerialIsMarkedCountedAndAFailure) {
    module.sensorCount[3] = 3;
    const std::vector<int> order = module.Order(3);
    module.faults.flipFirst = 9;  // level 2, in the first answer and in the one asked again
    module.faults.flipLast = 16;
    module.faults.cancellingFlips = 2;
    EXPECT_EQ(Run({"--simulate", "search", "--channel", "3"}), 1);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, 37), "channel 3\t3 sensor(s), 1 damaged\n  1\t") << text;
    const std::string second = text.substr(text.find("  2\t") + 4);
    EXPECT_EQ(second.substr(16, 28), " CRC!  damaged: CRC-8 wrong\n");
    EXPECT_NE(second.substr(0, 16), SerialText(module.SensorAt(3, order[1]).serial));
    EXPECT_NE(text.find("  3\t" + SerialText(module.SensorAt(3, order[2]).serial) + "\n"),
              std::string::npos);
    EXPECT_EQ(err.str(),
              "nuvctl: 1 serial(s) came damaged twice (CRC-8 wrong): the line spoils the "
              "module's answers - search again\n");
    EXPECT_FALSE(module.programMode);

    module.faults.cancellingFlips = 2;
    EXPECT_EQ(Run({"--simulate", "search", "--channel", "3", "--json"}), 1);
    const QJsonObject channel = Json()["channels"].toArray()[0].toObject();
    EXPECT_EQ(channel["damaged"].toArray(), QJsonArray({2}));
    EXPECT_TRUE(channel["serials"].toArray()[1].toString().endsWith(" CRC!"));

    // Sorting writes nothing while a serial of the channel comes damaged.
    const std::vector<int> before = module.Order(3);
    module.faults.cancellingFlips = 2;
    EXPECT_EQ(Run({"--simulate", "sort", "--channel", "3",
                   SerialText(module.SensorAt(3, order[0]).serial)}),
              1);
    EXPECT_EQ(err.str(),
              "nuvctl: the search of channel 3 gave 1 damaged serial(s) twice (CRC-8 wrong): the "
              "line spoils the module's answers - nothing was saved, try again\n");
    EXPECT_EQ(module.Order(3), before);
    EXPECT_FALSE(module.programMode);
}

TEST_F(NuvctlTest, SortNamesAFailedIdentification) {
    module.sensorCount[1] = 2;
    module.faults.refuse = 1;  // the identification after the entry
    EXPECT_EQ(Run({"--simulate", "sort", "--channel", "1", SerialText(module.SensorAt(1, 0).serial),
                   SerialText(module.SensorAt(1, 1).serial)}),
              1);
    EXPECT_EQ(err.str(),
              "nuvctl: the module did not say how many sensors a channel has: the module refused "
              "the request (result 21)\n");
    EXPECT_FALSE(module.programMode);
}

TEST_F(NuvctlTest, SortWritesTheOrderGiven) {
    module.sensorCount[1] = 3;
    const std::string top = SerialText(module.SensorAt(1, 0).serial);
    const std::string middle = SerialText(module.SensorAt(1, 1).serial);
    const std::string bottom = SerialText(module.SensorAt(1, 2).serial);
    std::string lower = bottom;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(Run({"--simulate", "sort", "--channel", "1", top, middle, lower}), 0) << err.str();
    EXPECT_EQ(module.Order(1), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(module.programMode);

    EXPECT_EQ(Run({"--simulate", "sort", "--channel", "1", "2800000000000000"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: 2800000000000000 is not a sensor of channel 1 (or given twice)\n");
    EXPECT_FALSE(module.programMode);
    // A serial takes one level: given twice, it is refused before anything is saved.
    EXPECT_EQ(Run({"--simulate", "sort", "--channel", "1", top, middle, top}), 1);
    EXPECT_EQ(err.str(), "nuvctl: " + top + " is not a sensor of channel 1 (or given twice)\n");
    EXPECT_EQ(module.Order(1), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Run({"--simulate", "sort", "--channel", "1", "12345"}), 2);
    EXPECT_EQ(Run({"--simulate", "sort", top}), 2);
}

TEST_F(NuvctlTest, ReportAsJsonOnTheSimulatedModule) {
    ASSERT_EQ(Run({"--simulate", "report", "--json"}), 0) << err.str();
    const QJsonObject report = Json();
    EXPECT_EQ(report["format"].toInt(), 2);  // a version number since reports are read back
    EXPECT_EQ(report["failed_steps"].toInt(), 0);
    for (const char* step : {"report", "device", "firmware", "sensors", "memory", "normal_mode",
                             "reading", "supply", "outputs", "reset_counters"}) {
        EXPECT_TRUE(report[step].toObject()["ok"].toBool()) << step;
    }
    EXPECT_EQ(report["report"].toObject()["build"].toString(), NUV_VERSION_TEXT);
    EXPECT_EQ(report["device"].toObject()["description"].toString(), "ORNEVA NUV");
    EXPECT_EQ(report["firmware"].toObject()["address"].toInt(), 2);
    EXPECT_EQ(report["sensors"].toObject()["channel_9"].toObject()["serials"].toArray().size(), 10);
    EXPECT_EQ(report["memory"].toObject()["sha256"].toString().size(), 64);
    EXPECT_TRUE(report["memory"].toObject()["dump_file"].isNull());  // no file, no dump
    EXPECT_EQ(report["reading"].toObject()["channels"].toArray().size(), 10);
    EXPECT_EQ(report["reset_counters"].toObject()["power_up"].toInt(), 1);
    EXPECT_FALSE(module.programMode);
}

TEST_F(NuvctlTest, AReportWithAFailedStepIsStillWrittenWhole) {
    const std::string folder = ::testing::TempDir() + "nuvctl-report-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    module.faults.refuse = 1;  // the firmware's identification is refused
    EXPECT_EQ(Run({"--simulate", "report", folder + "/visit.txt"}), 1);
    EXPECT_EQ(out.str(), "report written to " + folder + "/visit.txt\n");
    EXPECT_NE(err.str().find("nuvctl: Firmware, address and interval: identification: the "
                             "module refused the request (result 21)"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("nuvctl: 2 of 10 steps failed; the report says so in their place\n"),
              std::string::npos)
        << err.str();
    std::ifstream in(folder + "/visit.txt");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("  FAILED: identification: the module refused the request (result 21)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n10 steps, 2 failed\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(folder + "/visit-memory.dat"), 4096U);
    EXPECT_FALSE(module.programMode);
    std::filesystem::remove_all(folder);
}

TEST_F(NuvctlTest, AReportPathThatTakesNoFileIsRefusedAtOnce) {
    const std::string folder = ::testing::TempDir() + "nuvctl-paths-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(Run({"--simulate", "report", folder}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + folder + ": it is a folder\n");
    const std::string here = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    EXPECT_EQ(Run({"--simulate", "report", "."}), 1);
    EXPECT_EQ(Run({"--simulate", "report", "--json", "new/"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write new/: it names a folder, not a file\n");
    std::filesystem::current_path(here);
    EXPECT_EQ(Run({"--simulate", "report", folder + "/missing/visit.txt"}), 1);
    // Nothing was asked of the module, no time went by, and no dump lies about.
    EXPECT_TRUE(device.Written().empty());
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_FALSE(std::filesystem::exists(folder + "-memory.dat"));
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    // The dump of a report that goes to a FIFO has no file beside it.
    const std::string fifo = folder + "/visit.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Run({"--simulate", "report", fifo}), 0) << err.str();
    char text[32] = {};
    EXPECT_GT(::read(reader, text, sizeof text - 1), 0);
    EXPECT_EQ(std::string(text).substr(0, 10), "NUV module") << text;
    ::close(reader);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit-memory.dat"));
    std::filesystem::remove_all(folder);
}

TEST_F(NuvctlTest, ScanListsWhatAnswersInTheRange) {
    module.Configure(9, 4);
    ASSERT_EQ(Run({"--simulate", "scan", "--from", "5", "--to", "12", "--json"}), 0) << err.str();
    const QJsonObject scan = Json();
    EXPECT_EQ(scan["asked"].toInt(), 8);
    const QJsonArray modules = scan["modules"].toArray();
    ASSERT_EQ(modules.size(), 1);
    EXPECT_EQ(modules[0].toObject()["address"].toInt(), 9);
    EXPECT_TRUE(modules[0].toObject()["exception"].isNull());
    EXPECT_EQ(Run({"--simulate", "scan", "--to", "8"}), 1);
    EXPECT_EQ(out.str().substr(out.str().find('\n') + 1), "");
    EXPECT_EQ(out.str().substr(0, 30), "0 of 8 addresses answered in 0");
    EXPECT_EQ(err.str(), "nuvctl: no module answered at 1..8\n");
    EXPECT_EQ(Run({"--simulate", "scan", "--from", "9", "--to", "3"}), 2);
    EXPECT_EQ(Run({"--simulate", "scan", "--from", "0"}), 2);
    EXPECT_EQ(Run({"--simulate", "scan", "--limit", "5"}), 2);
}

}  // namespace
}  // namespace nuv::test
