// The service report on the simulated module: every step in its place, a failed step among the
// others, program mode left whatever happens, and the window's action.
#include "report/ServiceReport.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "firmware/Sha256.hpp"
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
    const auto failed = text.find("  FAILED: result 17");
    const auto next = text.find("Digital outputs\n");
    ASSERT_NE(failed, std::string::npos) << text;
    EXPECT_LT(place, failed);
    EXPECT_LT(failed, next);
    EXPECT_NE(text.find("\n10 steps, 1 failed\n"), std::string::npos);
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find("\"failed_steps\":1"), std::string::npos);
    EXPECT_NE(json.find("\"supply\":{\"ok\":false,\"error\":\"result 17"), std::string::npos);
}

TEST_F(ServiceReportTest, AnAnswerThatFailsItsCheckIsNamedAsSuch) {
    const ServiceReport report =
        Collect("Supply voltages and currents", [this] { module.faults.corruptCrc = 1; });
    const ReportStep& supply = Step(report, "supply");
    EXPECT_EQ(supply.failure, "result 1, the answer failed its check: noise or a damaged line");
    EXPECT_EQ(report.Failed(), 1U);
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
    EXPECT_EQ(json.substr(0, 50), "{\"format\":\"nuv-service-report/1\",\"failed_steps\":0,");
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

}  // namespace
}  // namespace nuv::test
