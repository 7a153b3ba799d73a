// What changed between two visits, on reports made from the simulated module: each change
// named once, and nothing else.
#include "report/ReportCompare.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "protocol/Crc8.hpp"
#include "report/ServiceReport.hpp"
#include "report/VisitRecord.hpp"
#include "sensors/SensorCommon.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

std::string Hex4(std::size_t at) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04zX", at);
    return text;
}

class ReportCompareTest : public ModuleTest {
  protected:
    ReportCompareTest() {
        folder = ::testing::TempDir() + "nuv-compare-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        // A module in service: every probe in its physical order, as an APC run leaves it.
        for (int c = 0; c < 10; ++c) module.SetOrder(c, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    }
    ~ReportCompareTest() override { std::filesystem::remove_all(folder); }

    // A visit: the report collected and written as JSON, its dump beside it.
    std::string Visit(const std::string& name) {
        ReportOptions options;
        options.toolVersion = "5.5";
        options.buildVersion = "0.1.0";
        const std::string path = folder + "/" + name + ".json";
        options.dumpPath = DumpPathFor(path);
        const ServiceReport report = CollectServiceReport(tool, options);
        EXPECT_EQ(report.Failed(), 0U) << ReportText(report);
        std::ofstream(path) << ReportJson(report);
        RunFor(60'000);  // the next visit comes later
        return path;
    }
    ReadReport Read(const std::string& path) {
        std::string error;
        auto report = ReadReportFile(path, error);
        EXPECT_TRUE(report) << error;
        return report.value_or(ReadReport{});
    }
    // The differences of two visits, the dumps beside them compared.
    std::vector<ReportDifference> Compare(const std::string& before, const std::string& after) {
        std::string error;
        const auto previous = LoadPreviousVisit(before, error);
        EXPECT_TRUE(previous) << error;
        ComparedDumps dumps;
        dumps.before = previous->dump;
        dumps.after = DumpBeside(after, Read(after), dumps.missing);
        EXPECT_TRUE(dumps.before && dumps.after) << previous->dumpMissing << dumps.missing;
        return CompareReports(previous->report, Read(after), dumps);
    }
    static std::vector<std::string> Texts(const std::vector<ReportDifference>& differences) {
        std::vector<std::string> texts;
        for (const auto& difference : differences) texts.push_back(difference.text);
        return texts;
    }
    static std::vector<std::string> Kinds(const std::vector<ReportDifference>& differences) {
        std::vector<std::string> kinds;
        for (const auto& difference : differences) kinds.push_back(difference.kind);
        return kinds;
    }
    std::string Serial(int channel, int position) {
        return SerialText(module.SensorAt(channel, position).serial);
    }
    // Where the memory keeps the serial of a channel's level (1-based): 8 bytes from here.
    static std::size_t SerialAddress(int channel, int level) {
        return 0x100 + static_cast<std::size_t>(channel) * 0x80 +
               static_cast<std::size_t>(level - 1) * 8;
    }

    std::string folder;
};

TEST_F(ReportCompareTest, TwoVisitsOfAnUnchangedModuleDifferInNothing) {
    const std::string first = Visit("first");
    const std::string second = Visit("second");
    // The temperatures drift and the date moves on; neither is a change of the module.
    EXPECT_NE(Read(first).date, Read(second).date);
    EXPECT_EQ(Texts(Compare(first, second)), std::vector<std::string>{});
}

TEST_F(ReportCompareTest, ASwappedSensorIsNamedAsReplacedAtItsLevel) {
    const std::string before = Visit("before");
    const std::string old = Serial(3, 4);
    // Another sensor at level 5 of channel 3: one id byte other, and so its CRC.
    auto& serial = module.SensorAt(3, 4).serial;
    serial[1] ^= 0x01;
    serial[7] = OneWireCrc8(std::span(serial).first(7));
    const std::string after = Visit("after");
    const std::size_t at = SerialAddress(3, 5);
    EXPECT_EQ(Texts(Compare(before, after)),
              (std::vector<std::string>{
                  "Sensor replaced at channel 3, level 5: " + old + " → " + Serial(3, 4),
                  "Memory: 2 bytes differ at " + Hex4(at + 1) + ", " + Hex4(at + 7)}));
}

TEST_F(ReportCompareTest, ARemovedSensorIsNamedAsMissing) {
    const std::string before = Visit("before");
    const std::string lost = Serial(6, 9);
    module.sensorCount[6] = 9;
    module.SetOrder(6, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    const std::string after = Visit("after");
    const auto differences = Compare(before, after);
    EXPECT_EQ(Kinds(differences), (std::vector<std::string>{"sensor_missing", "memory"}));
    EXPECT_EQ(differences[0].text, "Sensor missing at channel 6, level 10: " + lost);
    EXPECT_EQ(differences[0].members,
              ",\"at\":{\"channel\":6,\"level\":10},\"old\":\"" + lost + "\"");
    // The memory's count of the channel's sensors, and the serial's place emptied.
    EXPECT_EQ(differences[1].text.find("Memory: "), 0U);
    EXPECT_NE(differences[1].text.find(" differ at 0x0016, " + Hex4(SerialAddress(6, 10))),
              std::string::npos)
        << differences[1].text;
}

TEST_F(ReportCompareTest, AnAddedSensorAndAMovedOneAreNamedOnce) {
    module.sensorCount[2] = 9;
    module.SetOrder(2, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    const std::string before = Visit("before");
    // A sensor added at the top of channel 2, the first two one level down, the third to the
    // bottom.
    module.sensorCount[2] = 10;
    module.SetOrder(2, {9, 0, 1, 3, 4, 5, 6, 7, 8, 2});
    const std::string added = Serial(2, 9);
    const std::string after = Visit("after");
    const auto differences = Compare(before, after);
    std::vector<std::string> expected = {"Sensor added at channel 2, level 1: " + added};
    const std::vector<int> order = {9, 0, 1, 3, 4, 5, 6, 7, 8, 2};
    for (int level = 2; level <= 10; ++level) {
        const int position = order[static_cast<std::size_t>(level - 1)];
        if (position + 1 == level) continue;  // levels 4 to 9 stay as they were
        expected.push_back("Sensor moved: " + Serial(2, position) + " from channel 2, level " +
                           std::to_string(position + 1) + " to channel 2, level " +
                           std::to_string(level));
    }
    ASSERT_EQ(differences.size(), expected.size() + 1)
        << ::testing::PrintToString(Texts(differences));
    std::vector<std::string> texts = Texts(differences);
    texts.pop_back();  // the memory
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(differences.back().kind, "memory");
}

// Serials from one module's point of view: a sensor taken to another channel, another put in
// its place, and a channel whose search failed in the new visit.
TEST(CompareSensorsTest, AMoveToAnotherChannelAndAReplacementInItsPlace) {
    ReadReport before;
    for (auto& channel : before.channels) channel.searched = true;
    before.channels[1].serials = {"A1", "A2", "A3"};
    before.channels[4].serials = {"B1", "B2"};
    before.channels[5].serials = {"C1"};
    ReadReport after = before;
    after.channels[1].serials = {"A1", "N1", "A3"};
    after.channels[4].serials = {"B1", "B2", "A2"};
    after.channels[5] = {false, "result 21, no answer", {}};
    const auto differences = CompareReports(before, after, {});
    std::vector<std::string> texts;
    for (const auto& difference : differences) texts.push_back(difference.text);
    const std::string unknown =
        "Not compared, not in either report: FTDI serial, address, measurement interval, "
        "firmware, reset counters, supply, memory";
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Sensor added at channel 1, level 2: N1",
                         "Sensor moved: A2 from channel 1, level 2 to channel 4, level 3", unknown,
                         "Not compared, not in the new report: sensors of channel 5"}));
    // Where the old one is gone and a new one stands: replaced.
    after.channels[4].serials = {"B1", "B2"};
    const auto replaced = CompareReports(before, after, {});
    ASSERT_EQ(replaced.size(), 3U);
    EXPECT_EQ(replaced[0].text, "Sensor replaced at channel 1, level 2: A2 → N1");
    EXPECT_EQ(replaced[1].text, unknown);
}

TEST_F(ReportCompareTest, AProbeReorderedByApcNamesEachMovedSensorOnce) {
    // Channel 0 as the module found it (by serial), then ordered by an APC run: the operator
    // heats the sensors from the top, the module takes their physical order.
    module.SetOrder(0, {});
    module.sensorCount[0] = 4;
    const std::vector<int> found = module.Order(0);
    const std::string before = Visit("before");
    Click(panel.Button38);
    ASSERT_TRUE(module.programMode);
    Click(panel.Button10);  // "APC0"
    for (int step = 0; step < 1000 && panel.Timer3.Enabled(); ++step) RunFor(100);
    ASSERT_EQ(tool.form2.Memo1.Text(), "Procedura APC w tym kanale zostala zakończona...");
    Click(panel.Button39);
    ASSERT_EQ(module.Order(0), (std::vector<int>{0, 1, 2, 3}));
    const std::string after = Visit("after");

    std::vector<std::string> expected;
    for (int level = 1; level <= 4; ++level) {
        const int position = level - 1;
        const int was =
            static_cast<int>(std::find(found.begin(), found.end(), position) - found.begin()) + 1;
        if (was == level) continue;
        expected.push_back("Sensor moved: " + Serial(0, position) + " from channel 0, level " +
                           std::to_string(was) + " to channel 0, level " + std::to_string(level));
    }
    ASSERT_FALSE(expected.empty());
    const auto differences = Compare(before, after);
    ASSERT_EQ(differences.size(), expected.size() + 1);
    std::vector<std::string> texts = Texts(differences);
    texts.pop_back();  // the memory
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(differences.back().kind, "memory");  // the working order is in the memory too
}

TEST_F(ReportCompareTest, AnAddressChangeIsNamedOnceWithItsByteInTheMemory) {
    const std::string before = Visit("before");
    module.Configure(9, 4);
    const std::string after = Visit("after");
    const auto differences = Compare(before, after);
    EXPECT_EQ(Texts(differences),
              (std::vector<std::string>{"Address: 2 → 9", "Memory: 1 byte differs at 0x0004"}));
    EXPECT_EQ(differences[0].members, ",\"old\":2,\"new\":9");
    module.Configure(9, 30);
    const std::string later = Visit("later");
    EXPECT_EQ(Texts(Compare(after, later)),
              (std::vector<std::string>{"Measurement interval: 4 s → 30 s",
                                        "Memory: 1 byte differs at 0x0005"}));
}

TEST_F(ReportCompareTest, CountersThatGrewAreNamedEachWithTheirGrowth) {
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    const std::string before = Visit("before");
    module.resetCounters = {107, 0, 1, 0, 2, 104};
    const std::string after = Visit("after");
    const auto differences = Compare(before, after);
    EXPECT_EQ(Texts(differences),
              (std::vector<std::string>{"Reset counter Total: 7 → 107 (+100)",
                                        "Reset counter Power-up: 4 → 104 (+100)"}));
    EXPECT_EQ(differences[1].members,
              ",\"counter\":\"power_up\",\"old\":4,\"new\":104,\"growth\":100");
    // Cleared since: named as such.
    module.resetCounters = {0, 0, 0, 0, 0, 0};
    const std::string cleared = Visit("cleared");
    EXPECT_EQ(Texts(Compare(after, cleared))[0], "Reset counter Total: 107 → 0 (cleared since)");
}

TEST_F(ReportCompareTest, SupplyReadingsCountOnlyBeyondTheirTolerance) {
    const std::string before = Visit("before");
    // Register 0 is the main supply (12.60 V from 500), 2 and 3 the currents of channels 0/1
    // and 2/3 (0.250 A from 270, 0.260 A from 281).
    module.powerRaw[0] = 515;  // 12.98 V: within 0.5 V
    module.powerRaw[2] = 310;  // 0.287 A: within 0.05 A
    const std::string within = Visit("within");
    EXPECT_EQ(Texts(Compare(before, within)), std::vector<std::string>{});
    module.powerRaw[0] = 540;  // 13.61 V
    module.powerRaw[3] = 351;  // 0.325 A
    const std::string beyond = Visit("beyond");
    EXPECT_EQ(Texts(Compare(before, beyond)),
              (std::vector<std::string>{"Main supply: 12.60 V → 13.61 V",
                                        "Current of channels 2/3: 0.260 A → 0.325 A"}));
}

TEST_F(ReportCompareTest, PartsThatEitherReportLacksAreNamedAsNotCompared) {
    const std::string before = Visit("before");
    // The second visit's entry into program mode goes unanswered: the module took it and stays
    // in program mode, so that nothing but the device is known of it.
    ReportOptions options;
    options.dumpPath = folder + "/after-memory.dat";
    module.faults.silent = 1;  // the entry frame goes unanswered
    const ServiceReport report = CollectServiceReport(tool, options);
    ASSERT_FALSE(report.steps[2].ok) << ReportText(report);
    std::ofstream(folder + "/after.json") << ReportJson(report);
    std::string why;
    ComparedDumps dumps;
    dumps.before = DumpBeside(before, Read(before), why);
    dumps.missing = "no dump";
    const auto differences = CompareReports(Read(before), Read(folder + "/after.json"), dumps);
    EXPECT_EQ(Texts(differences),
              (std::vector<std::string>{"Not compared, not in the new report: address, "
                                        "measurement interval, firmware, sensors, reset "
                                        "counters, supply, memory"}));
    EXPECT_EQ(differences[0].members,
              ",\"parts\":[\"address\",\"measurement interval\",\"firmware\",\"sensors\","
              "\"reset counters\",\"supply\",\"memory\"],\"missing_in\":\"the new report\"");
}

TEST_F(ReportCompareTest, AMemoryChangeWithoutBothDumpsIsNamedByItsFingerprint) {
    const std::string before = Visit("before");
    module.Configure(2, 8);
    const std::string after = Visit("after");
    std::filesystem::remove(DumpPathFor(after));
    std::string error;
    const auto previous = LoadPreviousVisit(before, error);
    ASSERT_TRUE(previous);
    const ReadReport now = Read(after);
    ComparedDumps dumps;
    dumps.before = previous->dump;
    dumps.after = DumpBeside(after, now, dumps.missing);
    EXPECT_FALSE(dumps.after);
    EXPECT_EQ(dumps.missing, "no memory dump beside " + after + " (" + DumpPathFor(after) +
                                 ": No such file or directory)");
    const auto differences = CompareReports(previous->report, now, dumps);
    ASSERT_EQ(differences.size(), 2U);
    EXPECT_EQ(differences[1].text, "Memory: changed (its SHA-256 differs); " + dumps.missing);
    // A dump that is not the one its report fingerprinted is not taken for it.
    std::ofstream(DumpPathFor(after)) << "other bytes";
    EXPECT_FALSE(DumpBeside(after, now, dumps.missing));
    EXPECT_EQ(dumps.missing,
              "the memory dump " + DumpPathFor(after) + " does not match the SHA-256 of " + after);
}

TEST(DifferingRangesTest, RangesAreJoinedCountedAndCut) {
    const std::vector<std::uint8_t> a(4096, 0xFF);
    std::vector<std::uint8_t> b = a;
    EXPECT_EQ(DifferingRanges(a, b).bytes, 0U);
    b[4] = 0;
    b[0x100] = b[0x101] = b[0x107] = 0;
    const MemoryDifference some = DifferingRanges(a, b);
    EXPECT_EQ(some.ranges, "0x0004, 0x0100-0x0101, 0x0107");
    EXPECT_EQ(some.bytes, 4U);
    for (std::size_t i = 0; i < 40; i += 2) b[0x800 + i] = 1;
    const MemoryDifference many = DifferingRanges(a, b, 5);
    EXPECT_EQ(many.ranges, "0x0004, 0x0100-0x0101, 0x0107, 0x0800, 0x0802 and 18 more ranges");
    EXPECT_EQ(many.bytes, 24U);
    // A shorter image differs in every byte it lacks.
    const MemoryDifference shorter = DifferingRanges(a, std::span(a).first(4000));
    EXPECT_EQ(shorter.ranges, "0x0FA0-0x0FFF");
    EXPECT_EQ(shorter.bytes, 96U);
}

TEST(CompareIdentityTest, APortThatIsNoFtdiCableHasNoSerialToCompare) {
    // A report through --port on a plain tty: the device step worked, without a serial.
    ReadReport before;
    before.steps.push_back({"device", true, ""});
    before.address = 2;
    ReadReport after = before;
    after.address = 3;
    auto texts = [](const std::vector<ReportDifference>& differences) {
        std::vector<std::string> all;
        for (const auto& difference : differences) all.push_back(difference.text);
        return all;
    };
    EXPECT_EQ(texts(CompareReports(before, after, {}))[0], "Address: 2 → 3");
    EXPECT_EQ(texts(CompareReports(before, after, {}))[1].find("FTDI serial"), std::string::npos);
    after.steps[0].ok = false;  // the device was not reached: its serial is unknown
    EXPECT_NE(texts(CompareReports(before, after, {}))
                  .back()
                  .find("Not compared, not in the new report: FTDI serial"),
              std::string::npos);
}

TEST(OtherModuleTest, AnotherSerialAndAnotherAddressMakeAnotherModule) {
    ReadReport a;
    a.ftdiSerial = "NUV13001";
    a.address = 2;
    ReadReport b = a;
    EXPECT_EQ(OtherModule(a, b), "");
    b.address = 9;  // the same module, moved
    EXPECT_EQ(OtherModule(a, b), "");
    b = a;
    b.ftdiSerial = "NUV13002";  // its cable or board changed, at the same address
    EXPECT_EQ(OtherModule(a, b), "");
    b.address = 9;
    EXPECT_EQ(OtherModule(a, b),
              "the reports are of different modules (FTDI serial NUV13001 at address 2, then "
              "NUV13002 at address 9)");
    b.address.reset();  // unknown: it may be the same; compared, and the parts named
    EXPECT_EQ(OtherModule(a, b), "");
    b.readingAddress = 9;  // the normal-mode address stands in
    EXPECT_NE(OtherModule(a, b), "");
}

}  // namespace
}  // namespace nuv::test
