// The reading log: rows of the cyclic measurement written whole into a file, and what a full
// disk or a size limit leaves of it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "measure/CyclicRecord.hpp"
#include "measure/ReadingLog.hpp"
#include "measure/ReadingRow.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    // A last line without its line break is a row cut in the middle.
    if (start < text.size()) lines.push_back("UNFINISHED:" + text.substr(start));
    return lines;
}

std::size_t Commas(const std::string& line) {
    return static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "nuv-" + std::to_string(::getpid()) + "-" + name;
}

TEST(ReadingRowTest, StampsCarryTheLocalOffset) {
    // 2026-01-01 00:00:00 UTC.
    EXPECT_EQ(LocalTimeStamp(1'767'225'600, 0), "2026-01-01T00:00:00+00:00");
    EXPECT_EQ(LocalTimeStamp(1'767'225'600, 3600), "2026-01-01T01:00:00+01:00");
    EXPECT_EQ(LocalTimeStamp(1'767'225'600, -19800), "2025-12-31T18:30:00-05:30");
    EXPECT_EQ(LocalTimeStamp(1'782'864'000 + 7 * 3600 + 5, 7200), "2026-07-01T09:00:05+02:00");
}

TEST(ReadingRowTest, ErrorValuesAreEmptyCellsWithTheirCodeAtTheEnd) {
    TemperatureReading reading;
    reading.sensorsPerChannel = 2;
    reading.sensors = {0x0191, 0xFFF8, 0xF040, 0x0000, 0x0010, 0xF060, 0x7FFF,
                       0xF050, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006,
                       0x0007, 0x0008, 0x0009, 0x000A, 0x000B, 0x000C};
    reading.module = 0xF060;  // the module's own register is never an error value
    EXPECT_EQ(ReadingCsvHeader(2),
              "time,result,c0s1,c0s2,c1s1,c1s2,c2s1,c2s2,c3s1,c3s2,c4s1,c4s2,c5s1,c5s2,c6s1,"
              "c6s2,c7s1,c7s2,c8s1,c8s2,c9s1,c9s2,module,sensor_errors\n");
    EXPECT_EQ(ReadingCsvRow("T", 250, reading, 2),
              "T,250,25.0625,-0.5,,0,1,,2047.9375,,0.0625,0.125,0.1875,0.25,0.3125,0.375,0.4375,"
              "0.5,0.5625,0.625,0.6875,0.75,-250,c1s1:252 c2s2:250 c3s2:251\n");
    EXPECT_EQ(ReadingCsvRow("T", 17, std::nullopt, 2), "T,17" + std::string(22, ',') + "\n");
}

// A file whose system refuses to let it grow past a size: the row that crosses the limit goes
// out in part, fails, and must be cut off again.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST(ReadingLogTest, ARowThatFailsPartWayIsCutOffAndEarlierRowsStayWhole) {
    const std::string path = TempPath("limit.csv");
    std::string reason;
    ReadingLog log;
    log.Start(CreateAppendFile(path, reason), path);
    ASSERT_TRUE(log.Active()) << reason;
    TemperatureReading reading;
    reading.sensorsPerChannel = 10;
    reading.sensors.assign(100, 0x0191);
    const std::size_t header = ReadingCsvHeader(10).size();
    const std::size_t row = ReadingCsvRow("2026-01-01T00:00:00+00:00", 0, reading, 10).size();
    {
        // Room for the header and two and a half rows.
        FileSizeLimit limit(header + row * 5 / 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(log.Write("2026-01-01T00:00:00+00:00", 0, reading, 10), std::nullopt);
        }
        EXPECT_EQ(log.Write("2026-01-01T00:00:00+00:00", 0, reading, 10),
                  std::optional<std::string>("File too large"));
    }
    EXPECT_FALSE(log.Active());
    EXPECT_EQ(log.Rows(), 2U);
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 3U);
    for (const std::string& line : lines) EXPECT_EQ(Commas(line), 103U) << line;
    EXPECT_EQ(std::filesystem::file_size(path), header + 2 * row);
    std::filesystem::remove(path);
}

TEST(ReadingLogTest, AFullDiskStopsTheLogWithItsReason) {
    std::string reason;
    ReadingLog log;
    log.Start(CreateAppendFile("/dev/full", reason), "/dev/full");
    ASSERT_TRUE(log.Active()) << reason;
    EXPECT_EQ(log.Write("T", 17, std::nullopt, 10),
              std::optional<std::string>("No space left on device"));
    EXPECT_FALSE(log.Active());
    EXPECT_EQ(CreateAppendFile("/nonexistent-folder/x.csv", reason), nullptr);
    EXPECT_EQ(reason, "No such file or directory");
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs `open` on a thread and says whether it came back within a second. An open that hangs on
// a FIFO is released by opening the FIFO's other end, so that the test ends either way.
template <typename Open>
bool ReturnsAtOnce(const std::string& fifo, Open open) {
    std::atomic<bool> done{false};
    std::thread opener([&] {
        open();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool inTime = done;
    int reader = -1;
    if (!inTime) reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    opener.join();
    if (reader >= 0) ::close(reader);
    return inTime;
}

TEST(ReadingLogTest, AFifoWithoutAReaderIsSaidAtOnceNotWaitedFor) {
    const std::string fifo = TempPath("log.fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string reason;
    std::unique_ptr<AppendFile> file;
    EXPECT_TRUE(ReturnsAtOnce(fifo, [&] { file = CreateAppendFile(fifo, reason); }));
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(reason, "it is a FIFO that no program reads: start the reading program first");
    EXPECT_TRUE(ReturnsAtOnce(fifo, [&] { file = ContinueAppendFile(fifo, reason); }));
    EXPECT_EQ(file, nullptr);

    // With a reader the rows flow, the header first.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    bool header = true;
    EXPECT_EQ(CheckLogToContinue(fifo, 10, header), std::nullopt);
    EXPECT_FALSE(header);  // nothing of a FIFO can be read back
    ReadingLog log;
    log.Start(ContinueAppendFile(fifo, reason), fifo);
    ASSERT_TRUE(log.Active()) << reason;
    EXPECT_EQ(log.Write("T", 17, std::nullopt, 10), std::nullopt);
    std::vector<char> text(8192);
    const ssize_t n = ::read(reader, text.data(), text.size());
    EXPECT_EQ(std::string(text.data(), static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
              ReadingCsvHeader(10) + "T,17" + std::string(102, ',') + "\n");
    log.Stop();
    ::close(reader);
    std::filesystem::remove(fifo);
}

TEST(ReadingLogTest, AnExistingLogIsContinuedUnderItsHeaderOrRefused) {
    const std::string path = TempPath("continued.csv");
    const std::string row = "T,17" + std::string(102, ',') + "\n";
    const std::string earlier = ReadingCsvHeader(10) + row + row;
    bool header = false;

    // A log of the same columns: the rows go on after the earlier ones, with no second header.
    WriteText(path, earlier);
    EXPECT_EQ(CheckLogToContinue(path, 10, header), std::nullopt);
    EXPECT_TRUE(header);
    std::string reason;
    ReadingLog log;
    log.Start(ContinueAppendFile(path, reason), path, 10);
    ASSERT_TRUE(log.Active()) << reason;
    EXPECT_EQ(log.Write("U", 17, std::nullopt, 10), std::nullopt);
    log.Stop();
    EXPECT_EQ(ReadText(path), earlier + "U,17" + std::string(102, ',') + "\n");

    // The header that counts is the last: the window's log may change its columns on the way.
    const std::string row12 = "T,17" + std::string(122, ',') + "\n";
    WriteText(path, ReadingCsvHeader(12) + row12 + ReadingCsvHeader(10) + row);
    EXPECT_EQ(CheckLogToContinue(path, 10, header), std::nullopt);
    EXPECT_TRUE(header);
    EXPECT_EQ(CheckLogToContinue(path, 12, header),
              "its columns are not those of this log (12 sensors per channel): name another file");

    // A header far from the end, behind more rows than one read takes.
    std::string many = ReadingCsvHeader(16);
    for (int i = 0; i < 2000; ++i) many += "T,17" + std::string(162, ',') + "\n";
    WriteText(path, many);
    EXPECT_EQ(CheckLogToContinue(path, 16, header), std::nullopt);
    EXPECT_TRUE(header);
    EXPECT_EQ(CheckLogToContinue(path, 10, header),
              "its columns are not those of this log (10 sensors per channel): name another file");

    // Files that are no log of readings, or one whose last row was cut, are left alone.
    const std::pair<std::string, std::string> refused[] = {
        {"notes about the site\n",
         "it is not a log of readings (it has no header line): name another file"},
        {earlier + "T,17,,,", "its last line is not a whole row: name another file"},
    };
    for (const auto& [text, why] : refused) {
        WriteText(path, text);
        EXPECT_EQ(CheckLogToContinue(path, 10, header), why);
        EXPECT_EQ(ReadText(path), text);
    }
    // An empty file, or none, takes the header first; checking creates nothing.
    WriteText(path, "");
    EXPECT_EQ(CheckLogToContinue(path, 10, header), std::nullopt);
    EXPECT_FALSE(header);
    std::filesystem::remove(path);
    EXPECT_EQ(CheckLogToContinue(path, 10, header), std::nullopt);
    EXPECT_FALSE(header);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(CheckLogToContinue(::testing::TempDir(), 10, header), "it is a folder");
}

// A log of several modules on one bus: the address is the second column, and a log of one
// module is continued only by one module's rows, a bus's only by a bus's.
TEST(ReadingLogTest, ABusLogHasTheAddressColumnAndIsContinuedOnlyAsSuch) {
    EXPECT_EQ(ReadingCsvHeader(10, true).substr(0, 30), "time,address,result,c0s1,c0s2,");
    EXPECT_EQ(ReadingCsvHeader(10, false), ReadingCsvHeader(10));
    TemperatureReading reading;
    reading.sensorsPerChannel = 10;
    reading.sensors.assign(100, 0x0140);  // 20 degrees
    reading.sensors[12] = 0xF060;         // channel 1, level 3: no probe
    reading.module = 0x01F4;
    const std::string row = ReadingCsvRow("T", 250, reading, 10, 7);
    EXPECT_EQ(row.substr(0, 20), "T,7,250,20,20,20,20,");
    EXPECT_EQ(row.substr(row.size() - 19), ",20,31.25,c1s3:250\n");
    EXPECT_EQ(Commas(row), 104U);  // time, address, result, 100 sensors, module, errors
    EXPECT_EQ(ReadingCsvRow("T", 17, std::nullopt, 10, 247),
              "T,247,17" + std::string(102, ',') + "\n");

    const std::string path = TempPath("bus.csv");
    std::filesystem::remove(path);
    std::string reason;
    ReadingLog log;
    log.Start(ContinueAppendFile(path, reason), path);
    ASSERT_TRUE(log.Active()) << reason;
    EXPECT_EQ(log.Write("T", 17, std::nullopt, 10, 1), std::nullopt);
    EXPECT_EQ(log.Write("T", 17, std::nullopt, 10, 4), std::nullopt);
    log.Stop();
    const std::string bus = ReadingCsvHeader(10, true) + "T,1,17" + std::string(102, ',') +
                            "\nT,4,17" + std::string(102, ',') + "\n";
    EXPECT_EQ(ReadText(path), bus);

    bool header = false;
    EXPECT_EQ(CheckLogToContinue(path, 10, header, true), std::nullopt);
    EXPECT_TRUE(header);
    EXPECT_EQ(CheckLogToContinue(path, 10, header),
              "its columns are not those of this log (10 sensors per channel); it is a log of "
              "several modules (it has an address column): name another file");
    WriteText(path, ReadingCsvHeader(10) + "T,17" + std::string(102, ',') + "\n");
    EXPECT_EQ(CheckLogToContinue(path, 10, header, true),
              "its columns are not those of this log (10 sensors per channel, with an address "
              "column); it is a log of one module (it has no address column): name another file");
    // Continued under its header, a bus log gets no second one.
    WriteText(path, bus);
    log.Start(ContinueAppendFile(path, reason), path, 10, true);
    EXPECT_EQ(log.Write("U", 0, std::nullopt, 10, 7), std::nullopt);
    log.Stop();
    EXPECT_EQ(ReadText(path), bus + "U,7,0" + std::string(102, ',') + "\n");
    std::filesystem::remove(path);
}

class ReadingLogWindowTest : public ModuleTest {
  protected:
    ~ReadingLogWindowTest() override { std::filesystem::remove(path); }
    std::string path = TempPath("window.csv");
};

TEST_F(ReadingLogWindowTest, EveryCyclicReadingBecomesOneRow) {
    dialogs.savePath = path;
    clock.SetUtcOffset(7200);
    tool.Click(panel.btnLogToFile);
    ASSERT_EQ(dialogs.saveRequests.size(), 1U);
    EXPECT_EQ(dialogs.saveRequests[0].defaultExtension, "csv");
    EXPECT_EQ(panel.btnLogToFile.Caption(), "Stop logging");
    module.SensorAt(4, 2).fixedRaw = 0xF040;
    tool.Click(panel.btn5);
    RunFor(150);
    module.faults.silent = 1;
    RunFor(4000);
    RunFor(4000);
    // The log button stays usable during the run, and closes the log.
    EXPECT_TRUE(panel.btnLogToFile.Enabled());
    tool.Click(panel.btnLogToFile);
    EXPECT_EQ(panel.btnLogToFile.Caption(), "Log to file…");
    EXPECT_NE(tool.log.Text().find("Reading log closed: 3 row(s) in " + path), std::string::npos);
    RunFor(4000);  // not logged any more
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], ReadingCsvHeader(10).substr(0, ReadingCsvHeader(10).size() - 1));
    EXPECT_EQ(lines[1].substr(0, 30), "2026-01-01T02:00:00+02:00,252,");
    EXPECT_NE(lines[1].find(",c4s3:252"), std::string::npos);
    EXPECT_EQ(lines[2], "2026-01-01T02:00:04+02:00,17" + std::string(102, ','));
    EXPECT_EQ(lines[3].substr(0, 28), "2026-01-01T02:00:08+02:00,25");
}

TEST_F(ReadingLogWindowTest, AWriteFailureStopsTheLogButNotTheMeasurement) {
    dialogs.savePath = "/dev/full";
    tool.Click(panel.btnLogToFile);
    tool.Click(panel.btn5);
    RunFor(150);
    EXPECT_EQ(panel.btnLogToFile.Caption(), "Log to file…");
    EXPECT_FALSE(tool.measure.readingLog.Active());
    const std::string line = "Reading log stopped: cannot write /dev/full: No space left on device";
    ASSERT_FALSE(tool.log.Runs().empty());
    EXPECT_EQ(tool.log.Runs().back().text, "\n" + line);
    EXPECT_EQ(tool.log.Runs().back().colour, colour::LinkError);
    EXPECT_EQ(LoggerLines().back(), "12:0:0 " + line);
    RunFor(4000);
    EXPECT_EQ(panel.Label18.Caption(), "Measure counter: 2");  // the measurement went on

    // A file that cannot be created is said at once; nothing is logged.
    dialogs.savePath = "/nonexistent-folder/readings.csv";
    tool.Click(panel.btnLogToFile);
    EXPECT_FALSE(tool.measure.readingLog.Active());
    EXPECT_NE(tool.log.Text().find("Cannot write /nonexistent-folder/readings.csv: No such file "
                                   "or directory"),
              std::string::npos);
    // A FIFO that nobody reads is said at once; the window does not hang in the open.
    const std::string fifo = TempPath("window.fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    dialogs.savePath = fifo;
    EXPECT_TRUE(ReturnsAtOnce(fifo, [&] { tool.Click(panel.btnLogToFile); }));
    EXPECT_FALSE(tool.measure.readingLog.Active());
    EXPECT_NE(tool.log.Text().find("Cannot write " + fifo +
                                   ": it is a FIFO that no program reads: start the reading "
                                   "program first"),
              std::string::npos)
        << tool.log.Text();
    std::filesystem::remove(fifo);
    // A cancelled dialog changes nothing.
    dialogs.savePath.reset();
    tool.Click(panel.btnLogToFile);
    EXPECT_FALSE(tool.measure.readingLog.Active());
}

}  // namespace
}  // namespace nuv::test
