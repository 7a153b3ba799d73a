// The service report on the simulated module: every step in its place, a failed step among the
// others, program mode left whatever happens, and the window's action.
#include "report/ServiceReport.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "firmware/Sha256.hpp"
#include "report/ReportJsonReader.hpp"
#include "sensors/SensorCommon.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

std::vector<std::string> Keys(const ServiceReport& report) {
    std::vector<std::string> keys;
    for (const ReportStep& step : report.steps) keys.push_back(step.key);
    return keys;
}

const ReportStep& Step(const ServiceReport& report, const std::string& key) {
    for (const ReportStep& step : report.steps) {
        if (step.key == key) return step;
    }
    throw std::runtime_error("no step " + key);
}

std::string Field(const ReportStep& step, const std::string& key) {
    for (const ReportField& field : step.fields) {
        if (field.key == key) return field.json;
    }
    return "<none>";
}

class ServiceReportTest : public ModuleTest {
  protected:
    ServiceReportTest() {
        folder = ::testing::TempDir() + "nuv-report-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
    }
    ~ServiceReportTest() override { std::filesystem::remove_all(folder); }
    // Collects with a hook before the step of this title.
    ServiceReport Collect(const std::string& beforeTitle = "",
                          const std::function<void()>& hook = {}) {
        options.toolVersion = "5.5";
        options.buildVersion = "0.1.0";
        return CollectServiceReport(tool, options,
                                    [&](int step, int steps, const std::string& title) {
                                        progress.push_back(std::to_string(step + 1) + "/" +
                                                           std::to_string(steps) + " " + title);
                                        if (title == beforeTitle && hook) hook();
                                    });
    }

    std::string folder;
    ReportOptions options;
    std::vector<std::string> progress;
};

TEST_F(ServiceReportTest, EveryStepIsThereInOrderWithItsValues) {
    module.Configure(9, 30);
    module.sensorCount[4] = 0;
    module.SensorAt(1, 2).fixedRaw = 0xF050;
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    module.outputs = 5;
    options.dumpPath = folder + "/visit-memory.dat";
    options.address = 2;  // the module says 9 in program mode, and that is asked after
    const ServiceReport report = Collect();
    EXPECT_EQ(Keys(report), (std::vector<std::string>{"report", "device", "firmware", "sensors",
                                                      "memory", "normal_mode", "reading", "supply",
                                                      "outputs", "reset_counters"}));
    EXPECT_EQ(report.Failed(), 0U) << ReportText(report);
    EXPECT_EQ(progress.size(), 10U);
    EXPECT_EQ(progress.front(), "1/10 Report");
    EXPECT_EQ(progress.back(), "10/10 Reset counters");
    EXPECT_FALSE(module.programMode);

    EXPECT_EQ(Field(Step(report, "report"), "date"), "\"2026-01-01T00:00:00+00:00\"");
    EXPECT_EQ(Field(Step(report, "device"), "serial"), "\"NUV13001\"");
    EXPECT_EQ(Field(Step(report, "device"), "hardware_version"), "13");
    EXPECT_EQ(Field(Step(report, "firmware"), "address"), "9");
    EXPECT_EQ(Field(Step(report, "firmware"), "interval_s"), "30");
    EXPECT_EQ(Field(Step(report, "firmware"), "firmware"), "\"00.48\"");
    EXPECT_EQ(Field(Step(report, "firmware"), "sensors_per_channel"), "10");
    // The serials of every channel, level 1 first.
    std::string first = "{\"ok\":true,\"serials\":[";
    const std::vector<int> order = module.Order(0);
    for (std::size_t i = 0; i < order.size(); ++i) {
        first += (i == 0 ? "\"" : ",\"") + SerialText(module.SensorAt(0, order[i]).serial) + "\"";
    }
    EXPECT_EQ(Field(Step(report, "sensors"), "channel_0"), first + "]}");
    EXPECT_EQ(Field(Step(report, "sensors"), "channel_4"), "{\"ok\":true,\"serials\":[]}");
    // The memory's fingerprint, and the dump beside the report.
    const auto memory = module.Memory();
    EXPECT_EQ(Field(Step(report, "memory"), "sha256"), "\"" + Sha256Hex(memory) + "\"");
    std::ifstream dump(options.dumpPath, std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(dump),
                                          std::istreambuf_iterator<char>()};
    EXPECT_EQ(saved, std::vector<std::uint8_t>(memory.begin(), memory.end()));
    // Normal mode at the address the module named.
    EXPECT_EQ(Field(Step(report, "reading"), "address"), "9");
    EXPECT_EQ(Field(Step(report, "reading"), "result"), "251");
    EXPECT_NE(Field(Step(report, "reading"), "channels").find("[["), std::string::npos);
    EXPECT_NE(Field(Step(report, "reading"), "channels").find(",null,"), std::string::npos);
    EXPECT_EQ(Field(Step(report, "supply"), "system_v"), "5");
    EXPECT_EQ(Field(Step(report, "outputs"), "mask"), "5");
    EXPECT_EQ(Field(Step(report, "reset_counters"), "total"), "7");
    EXPECT_EQ(Field(Step(report, "reset_counters"), "power_up"), "4");

    const std::string text = ReportText(report);
    EXPECT_NE(text.find("  Channel 1:           24."), std::string::npos) << text;
    EXPECT_NE(text.find(" E251 "), std::string::npos);
    EXPECT_NE(text.find("\n10 steps, all done\n"), std::string::npos);
}

TEST_F(ServiceReportTest, AFailedStepIsReportedInItsPlaceAndTheRestGoesOn) {
    // The supply read gets no answer; the outputs after it are read all the same.
    const ServiceReport report =
        Collect("Supply voltages and currents", [this] { module.faults.silent = 1; });
    EXPECT_EQ(report.Failed(), 1U);
    const ReportStep& supply = Step(report, "supply");
    EXPECT_FALSE(supply.ok);
    EXPECT_NE(supply.failure.find("result 17"), std::string::npos) << supply.failure;
    EXPECT_TRUE(Step(report, "outputs").ok);
    EXPECT_TRUE(Step(report, "reset_counters").ok);
    const std::string text = ReportText(report);
    const auto place = text.find("Supply voltages and currents\n----");
    const auto failed = text.find(
        "  FAILED: no answer from the module (time-out): check the "
        "cable, the port and the module's address (result 17)\n");
    const auto next = text.find("Digital outputs\n");
    ASSERT_NE(failed, std::string::npos) << text;
    EXPECT_LT(place, failed);
    EXPECT_LT(failed, next);
    EXPECT_NE(text.find("\n10 steps, 1 failed\n"), std::string::npos);
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find("\"failed_steps\":1"), std::string::npos);
    // The sentence for people, the code for machines.
    EXPECT_NE(json.find("\"supply\":{\"ok\":false,\"error\":\"no answer from the module "
                        "(time-out): check the cable, the port and the module's address (result "
                        "17)\",\"error_code\":17}"),
              std::string::npos)
        << json;
}

TEST_F(ServiceReportTest, AnAnswerThatFailsItsCheckIsNamedAsSuch) {
    const ServiceReport report =
        Collect("Supply voltages and currents", [this] { module.faults.corruptCrc = 1; });
    const ReportStep& supply = Step(report, "supply");
    EXPECT_EQ(supply.failure.substr(0, 31), "the answer's CRC is wrong (19 b");
    EXPECT_EQ(supply.failure.substr(supply.failure.size() - 37),
              "): noise or a damaged line (result 1)");
    EXPECT_EQ(report.Failed(), 1U);
}

// Every failure in the report says what happened and what to do, never the window's internal
// texts: a port that cannot be opened with its path and the system's reason, a module left in
// program mode, a leave that failed.
TEST_F(ServiceReportTest, FailuresSayWhatHappenedAndWhatToDo) {
    module.programMode = true;  // left there by an earlier command
    ServiceReport report = Collect();
    const ReportStep& firmware = Step(report, "firmware");
    EXPECT_EQ(firmware.failure,
              "program mode: the module is in program mode already (left there earlier) and takes "
              "no entry frame: take it back to normal mode (\"NORMAL MODE\", nuvctl normal) and "
              "make the report again (result 17)");
    EXPECT_EQ(firmware.code, 17);
    EXPECT_TRUE(module.programMode);  // told, not left behind the operator's back

    // The module stalls after the memory: the leave gets no answer.
    module.programMode = false;
    report = Collect("Back to normal mode", [this] { module.faults.silent = -1; });
    EXPECT_EQ(Step(report, "normal_mode").failure,
              "program mode was not left: no answer from the module (time-out): check the cable "
              "and the module's power (result 21); the module may still be in program mode, where "
              "it takes no normal-mode request: take it back with \"NORMAL MODE\" (nuvctl "
              "normal) once it answers again, or switch it off and on");

    module.faults.silent = 0;
    device.heldByOtherProgram = true;
    report = Collect();
    EXPECT_EQ(Step(report, "device").failure,
              "the module's device is held by another program: close it (the window, another "
              "nuvctl, a terminal program) and retry (result 5)");
    for (const ReportStep& step : report.steps) {
        EXPECT_EQ(step.failure.find("Check cables"), std::string::npos) << step.failure;
        EXPECT_EQ(step.failure.find("Błąd"), std::string::npos) << step.failure;
        EXPECT_EQ(step.failure.find("Brak danych"), std::string::npos) << step.failure;
    }
}

TEST_F(ServiceReportTest, ProgramModeIsLeftWhenAStepInsideItFails) {
    // The memory read is refused half-way; the module is taken back to normal mode all the same.
    const ServiceReport report = Collect("Memory", [this] { module.faults.refuse = 1; });
    EXPECT_FALSE(Step(report, "memory").ok);
    EXPECT_NE(Step(report, "memory").failure.find("at byte 0"), std::string::npos);
    EXPECT_TRUE(Step(report, "normal_mode").ok);
    EXPECT_FALSE(module.programMode);
    EXPECT_TRUE(Step(report, "reading").ok);
    EXPECT_EQ(report.Failed(), 1U);
}

// Two bit errors that cancel out pass the block checks: the serials are checked by their CRC-8
// and the memory is read twice, so that the report holds nothing the line spoilt unseen.
TEST_F(ServiceReportTest, ALineThatSpoilsAnswersUnseenLeavesNothingWrongInTheReport) {
    options.dumpPath = folder + "/visit-memory.dat";
    // The level-2 serial of channel 0 in every search answer, once in the memory.
    const ServiceReport report = Collect("Sensor serials", [this] {
        module.faults.cancellingFlips = 2;
        module.faults.flipFirst = 9;
        module.faults.flipLast = 16;
    });
    const ReportStep& sensors = Step(report, "sensors");
    EXPECT_FALSE(sensors.ok);
    EXPECT_EQ(sensors.failure, "damaged serials (CRC-8 wrong twice) on channel(s) 0");
    const std::string channel0 = Field(sensors, "channel_0");
    EXPECT_EQ(channel0.substr(0, 12), "{\"ok\":false,");
    EXPECT_NE(channel0.find(" CRC!\","), std::string::npos) << channel0;
    EXPECT_EQ(channel0.substr(channel0.size() - 16), "],\"damaged\":[2]}");
    EXPECT_TRUE(Step(report, "memory").ok);
    EXPECT_EQ(Field(Step(report, "memory"), "pieces_read_again"), "0");
    EXPECT_EQ(Field(Step(report, "sensors"), "channel_1").substr(0, 11), "{\"ok\":true,");

    module.faults.cancellingFlips = 0;
    const ServiceReport spoiltMemory = Collect("Memory", [this] {
        module.faults.cancellingFlips = 1;
        module.faults.flipFirst = 9;
        module.faults.flipLast = 64;
    });
    EXPECT_TRUE(Step(spoiltMemory, "memory").ok);
    EXPECT_EQ(Field(Step(spoiltMemory, "memory"), "pieces_read_again"), "1");
    const auto memory = module.Memory();
    EXPECT_EQ(Field(Step(spoiltMemory, "memory"), "sha256"), "\"" + Sha256Hex(memory) + "\"");
    std::ifstream dump(options.dumpPath, std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(dump),
                                          std::istreambuf_iterator<char>()};
    EXPECT_EQ(saved, std::vector<std::uint8_t>(memory.begin(), memory.end()));
}

TEST_F(ServiceReportTest, AMemoryThatNeverReadsAlikeIsAFailedStepWithoutADump) {
    options.dumpPath = folder + "/never-memory.dat";
    module.sensorCount.fill(0);  // only the first piece holds bytes of both kinds
    const ServiceReport report = Collect("Memory", [this] {
        module.faults.cancellingFlips = -1;
        module.faults.flipFirst = 1;
        module.faults.flipLast = 64;
    });
    module.faults.cancellingFlips = 0;
    EXPECT_EQ(Step(report, "memory").failure,
              "no two reads agreed for piece(s) 0 (0x0000) in 6 reads each: the line spoils the "
              "module's answers");
    EXPECT_FALSE(std::filesystem::exists(options.dumpPath));
    EXPECT_TRUE(Step(report, "normal_mode").ok);
    EXPECT_FALSE(module.programMode);
}

TEST_F(ServiceReportTest, ASilentModuleFailsEveryStepButTheHeaderAndDevice) {
    module.faults.silent = -1;
    const ServiceReport report = Collect();
    EXPECT_EQ(report.steps.size(), 10U);
    EXPECT_TRUE(Step(report, "report").ok);
    EXPECT_TRUE(Step(report, "device").ok);
    EXPECT_FALSE(Step(report, "firmware").ok);
    EXPECT_EQ(Step(report, "sensors").failure,
              "not searched: the module's firmware was not identified");
    EXPECT_EQ(Step(report, "memory").failure, "not read: program mode was not entered");
    EXPECT_TRUE(Step(report, "normal_mode").ok);  // nothing to leave
    EXPECT_FALSE(Step(report, "reading").ok);
    EXPECT_EQ(report.Failed(), 7U);
}

TEST_F(ServiceReportTest, TheWindowsActionWritesTheReportAndItsDump) {
    dialogs.savePath = folder + "/visit.json";
    tool.Click(panel.btnServiceReport);
    ASSERT_EQ(dialogs.saveRequests.size(), 1U);
    EXPECT_EQ(dialogs.saveRequests[0].filters.size(), 2U);
    std::ifstream in(folder + "/visit.json");
    const std::string json{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The report's format is a version number since the reports are read back for comparison.
    EXPECT_EQ(json.substr(0, 29), "{\"format\":2,\"failed_steps\":0,");
    EXPECT_EQ(std::filesystem::file_size(folder + "/visit-memory.dat"), 4096U);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report saved: 10 steps, 0 failed");
    EXPECT_EQ(panel.ProgressBar1.Position(), 100);
    EXPECT_TRUE(panel.btnServiceReport.Enabled());
    EXPECT_TRUE(panel.Button38.Enabled());  // back in the normal group
    EXPECT_FALSE(module.programMode);

    dialogs.savePath = "/nonexistent-folder/visit.txt";
    tool.Click(panel.btnServiceReport);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report not written");
    EXPECT_NE(tool.log.Text().find("Service report: cannot write /nonexistent-folder/visit.txt: "
                                   "No such file or directory"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-folder"));
    EXPECT_EQ(DumpPathFor("a/b/visit.txt"), "a/b/visit-memory.dat");
    EXPECT_EQ(DumpPathFor("visit"), "visit-memory.dat");
}

TEST_F(ServiceReportTest, APathThatTakesNoReportIsRefusedBeforeTheModuleIsAsked) {
    // A folder chosen as the report: no work, no dump named after the folder.
    dialogs.savePath = folder;
    const std::int64_t start = clock.NowMs();
    tool.Click(panel.btnServiceReport);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report not written");
    EXPECT_NE(tool.log.Text().find("Service report: cannot write " + folder + ": it is a folder"),
              std::string::npos)
        << tool.log.Text();
    EXPECT_TRUE(device.Written().empty());
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_FALSE(std::filesystem::exists(folder + "-memory.dat"));
    EXPECT_TRUE(panel.btnServiceReport.Enabled());

    // The dump's place is checked with the report's: a folder where the dump would go.
    std::filesystem::create_directories(folder + "/visit-memory.dat");
    dialogs.savePath = folder + "/visit.txt";
    tool.Click(panel.btnServiceReport);
    EXPECT_NE(tool.log.Text().find("Service report: cannot write the memory dump " + folder +
                                   "/visit-memory.dat: it is a folder"),
              std::string::npos)
        << tool.log.Text();
    EXPECT_TRUE(device.Written().empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit.txt"));
}

TEST(ReportPathsTest, TheDumpIsNamedAfterTheReportFileNeverAfterAFolder) {
    for (const char* folderName : {".", "..", "a/.", "a/..", "a/", "/"}) {
        EXPECT_EQ(DumpPathFor(folderName), "") << folderName;
    }
    EXPECT_EQ(DumpPathFor("a/.visit"), "a/.visit-memory.dat");
    EXPECT_EQ(DumpPathFor("visit.json"), "visit-memory.dat");

    std::string dump = "unchanged";
    OutputFile output;
    EXPECT_EQ(PrepareReportPaths(".", output, dump), "cannot write .: it is a folder");
    EXPECT_EQ(PrepareReportPaths("/", output, dump), "cannot write /: it is a folder");
    EXPECT_EQ(PrepareReportPaths("/nonexistent-folder/visit.txt", output, dump),
              "cannot write /nonexistent-folder/visit.txt: No such file or directory");
    EXPECT_FALSE(output.Ready());
    // A report into a stream (a FIFO, a terminal, /dev/null) has no folder to keep a dump in.
    EXPECT_EQ(PrepareReportPaths("/dev/null", output, dump), std::nullopt);
    EXPECT_EQ(dump, "");
    EXPECT_TRUE(output.IsStream());
    const std::string report = ::testing::TempDir() + "nuv-paths-" + std::to_string(::getpid());
    EXPECT_EQ(PrepareReportPaths(report + ".txt", output, dump), std::nullopt);
    EXPECT_EQ(dump, report + "-memory.dat");
    EXPECT_TRUE(output.Ready());
    EXPECT_FALSE(std::filesystem::exists(report + ".txt"));
}

TEST_F(ServiceReportTest, AnEarlierReportMakesTheChangesTheFirstSectionInTextAndJson) {
    dialogs.savePath = folder + "/first.json";
    tool.Click(panel.btnServiceReport);
    ASSERT_EQ(panel.ServiceStatus.Caption(), "Service report saved: 10 steps, 0 failed");
    std::ifstream first(folder + "/first.json");
    const std::string firstJson{std::istreambuf_iterator<char>(first), {}};
    const std::string date = "2026-01-01T00:00:00+00:00";
    ASSERT_NE(firstJson.find("\"date\":\"" + date + "\""), std::string::npos) << firstJson;
    module.resetCounters[0] += 5;
    module.resetCounters[5] += 5;

    dialogs.serviceReport = ServiceReportRequest{
        folder + "/second.txt", "Fuse replaced.\nAll good.", folder + "/first.json"};
    tool.Click(panel.btnServiceReport);
    std::ifstream in(folder + "/second.txt");
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text.substr(0, text.find("\nReport\n")),
              "NUV module service report\n"
              "\n"
              "Changes since the last visit\n"
              "----------------------------\n"
              "  Compared with " +
                  folder + "/first.json of " + date +
                  "\n"
                  "  Reset counter Total: 1 → 6 (+5)\n"
                  "  Reset counter Power-up: 1 → 6 (+5)\n"
                  "  2 differences. Supply readings count as changed beyond ±0.5 V and ±0.05 A.\n")
        << text;
    EXPECT_NE(
        text.find("\nRemarks\n-------\n  Fuse replaced.\n  All good.\n\n10 steps, all done\n"),
        std::string::npos)
        << text;
    EXPECT_NE(tool.log.Text().find("Compared with " + folder +
                                   "/first.json: 2 difference(s), listed first in the report"),
              std::string::npos);

    dialogs.serviceReport->path = folder + "/second.json";
    tool.Click(panel.btnServiceReport);
    std::ifstream again(folder + "/second.json");
    const std::string json{std::istreambuf_iterator<char>(again), {}};
    EXPECT_EQ(json.rfind("{\"format\":2,\"comparison\":{\"previous\":\"" + folder +
                             "/first.json\",\"previous_date\":\"" + date +
                             "\",\"changed\":true,\"refused\":null,\"tolerance\":{"
                             "\"voltage_v\":0.5,\"current_a\":0.05},\"differences\":[{\"kind\":"
                             "\"reset_counter\",\"text\":\"Reset counter Total: 1 → 6 (+5)\","
                             "\"counter\":\"total\",\"old\":1,\"new\":6,\"growth\":5},",
                         0),
              0U)
        << json;
    EXPECT_NE(json.find(",\"remarks\":\"Fuse replaced.\\nAll good.\"}\n"), std::string::npos);
    // The new report reads back, a later visit's earlier one.
    std::string error;
    const auto read = ReadReportJson(json, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->format, 2);
    EXPECT_EQ(read->remarks, "Fuse replaced.\nAll good.");
}

TEST_F(ServiceReportTest, WhatCannotBeDoneStopsBeforeTheModuleIsAsked) {
    const std::size_t requests = module.Requests().size();
    // No PDF without the window's drawing.
    dialogs.serviceReport = ServiceReportRequest{folder + "/visit.PDF", "", ""};
    tool.Click(panel.btnServiceReport);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report not written");
    EXPECT_NE(tool.log.Text().find(
                  "Service report: this program draws no PDF; choose a .txt or .json name"),
              std::string::npos);
    // An earlier report that is not there.
    dialogs.serviceReport = ServiceReportRequest{folder + "/visit.txt", "", folder + "/none.json"};
    tool.Click(panel.btnServiceReport);
    EXPECT_NE(tool.log.Text().find("Service report: the previous report: cannot read " + folder +
                                   "/none.json: No such file or directory"),
              std::string::npos);
    EXPECT_EQ(module.Requests().size(), requests);
    EXPECT_TRUE(module.Blocks().empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit.txt"));
    EXPECT_TRUE(panel.btnServiceReport.Enabled());
}

TEST_F(ServiceReportTest, AnotherModulesReportIsNotComparedAndTheReportSaysSo) {
    dialogs.savePath = folder + "/first.json";
    tool.Click(panel.btnServiceReport);
    std::ifstream first(folder + "/first.json");
    std::string json{std::istreambuf_iterator<char>(first), {}};
    // The same report, of a module with another cable at another address.
    json.replace(json.find("\"serial\":\"NUV13001\""), 19, "\"serial\":\"NUV13077\"");
    json.replace(json.find("\"address\":2"), 11, "\"address\":7");
    std::ofstream(folder + "/other.json") << json;
    dialogs.serviceReport =
        ServiceReportRequest{folder + "/second.txt", "", folder + "/other.json"};
    tool.Click(panel.btnServiceReport);
    std::ifstream in(folder + "/second.txt");
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::string refused =
        "the reports are of different modules (FTDI serial NUV13077 at address 7, then NUV13001 "
        "at address 2)";
    EXPECT_NE(text.find("\n  Not compared: " + refused + "\n"), std::string::npos) << text;
    EXPECT_NE(tool.log.Text().find("Not compared with " + folder + "/other.json: " + refused),
              std::string::npos);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report saved: 10 steps, 0 failed");
    // In JSON: whether anything changed is not known.
    dialogs.serviceReport->path = folder + "/second.json";
    tool.Click(panel.btnServiceReport);
    std::ifstream again(folder + "/second.json");
    const std::string second{std::istreambuf_iterator<char>(again), {}};
    EXPECT_NE(second.find("\"changed\":null,\"refused\":\"" + refused + "\""), std::string::npos)
        << second;
}

}  // namespace
}  // namespace nuv::test
