// nuvctl's record of a visit: the report with remarks and what changed since an earlier one,
// and `compare`, whose exit status is diff's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/ModuleSimulator.hpp"
#include "sim/SimFtdi.hpp"
#include "tools/Nuvctl.hpp"

extern char** environ;

namespace nuv::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class NuvctlReportTest : public ::testing::Test {
  protected:
    NuvctlReportTest() {
        device.AttachPeer(moduleOwner);
        std::filesystem::create_directories(folder);
    }
    ~NuvctlReportTest() override { std::filesystem::remove_all(folder); }

    int Run(const std::vector<std::string>& args, std::ostream* output = nullptr) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump,
            output != nullptr ? *output : out, err};
        return cli::Run(args, environment);
    }
    std::string Path(const std::string& name) const { return folder + "/" + name; }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    std::ostringstream out;
    std::ostringstream err;
    std::string folder = ::testing::TempDir() + "nuvctl-visit-" + std::to_string(::getpid());
};

TEST_F(NuvctlReportTest, ThePreviousVisitsChangesComeFirstWithTheRemarksAtTheEnd) {
    ASSERT_EQ(Run({"--simulate", "report", "--json", Path("first.json")}), 0) << err.str();
    module.Configure(9, 4);
    module.resetCounters[0] += 3;
    module.resetCounters[4] += 3;
    ASSERT_EQ(Run({"--simulate", "report", Path("second.txt"), "--previous", Path("first.json"),
                   "--remarks", "--probe 3 re-fastened"}),
              0)
        << err.str();
    EXPECT_EQ(out.str(), "report written to " + Path("second.txt") + "\n");
    const std::string text = Slurp(Path("second.txt"));
    EXPECT_EQ(text.substr(0, text.find("\nReport\n")),
              "NUV module service report\n\nChanges since the last visit\n"
              "----------------------------\n"
              "  Compared with " +
                  Path("first.json") +
                  " of 2026-01-01T00:00:00+00:00\n"
                  "  Address: 2 → 9\n"
                  "  Reset counter Total: 1 → 4 (+3)\n"
                  "  Reset counter External (USB): 0 → 3 (+3)\n"
                  "  Memory: 1 byte differs at 0x0004\n"
                  "  4 differences. Supply readings count as changed beyond ±0.5 V and ±0.05 A.\n")
        << text;
    EXPECT_NE(text.find("\nRemarks\n-------\n  --probe 3 re-fastened\n"), std::string::npos);

    // As JSON: the comparison is the first member after the format.
    ASSERT_EQ(Run({"--simulate", "report", "--json", "--previous", Path("second.txt")}), 2);
    EXPECT_EQ(err.str(), "nuvctl: the previous report: " + Path("second.txt") +
                             ": not JSON: an unexpected character at byte 0\n");
    ASSERT_EQ(Run({"--simulate", "report", "--json", "--previous", Path("first.json")}), 0);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
    EXPECT_EQ(out.str().rfind("{\"format\":2,\"comparison\":{", 0), 0U);
    const QJsonObject comparison = json["comparison"].toObject();
    EXPECT_TRUE(comparison["changed"].toBool());
    const QJsonArray differences = comparison["differences"].toArray();
    ASSERT_EQ(differences.size(), 4);
    EXPECT_EQ(differences[0].toObject()["kind"].toString(), "address");
    EXPECT_EQ(differences[1].toObject()["counter"].toString(), "total");
    EXPECT_EQ(differences[2].toObject()["growth"].toInt(), 3);
    // The memory just read stands for the dump that standard output does not get.
    EXPECT_EQ(differences[3].toObject()["ranges"].toString(), "0x0004");
}

TEST_F(NuvctlReportTest, AnUnreadablePreviousReportEndsTheRunBeforeTheModuleIsAsked) {
    std::ofstream(Path("old.json")) << "{\"format\":3,\"report\":{}}";
    for (const auto& [previous, why] : std::vector<std::pair<std::string, std::string>>{
             {Path("old.json"), Path("old.json") + ": a report of format 3, which this program "
                                                   "(format 2) cannot read"},
             {Path("none.json"),
              "cannot read " + Path("none.json") + ": No such file or directory"},
             {folder, "cannot read " + folder + ": it is a folder"}}) {
        EXPECT_EQ(Run({"--simulate", "report", Path("visit.txt"), "--previous", previous}), 2);
        EXPECT_EQ(err.str(), "nuvctl: the previous report: " + why + "\n");
    }
    EXPECT_TRUE(module.Requests().empty());
    EXPECT_TRUE(module.Blocks().empty());
    EXPECT_FALSE(std::filesystem::exists(Path("visit.txt")));
    EXPECT_EQ(Run({"--simulate", "report", "--pdf"}), 2);
    EXPECT_EQ(err.str(), "nuvctl: --pdf needs a value\nTry 'nuvctl --help'.\n");
}

TEST_F(NuvctlReportTest, AnotherModulesReportIsComparedOnlyWithForce) {
    ASSERT_EQ(Run({"--simulate", "report", "--json", Path("mine.json")}), 0);
    std::string json = Slurp(Path("mine.json"));
    json.replace(json.find("\"serial\":\"NUV13001\""), 19, "\"serial\":\"NUV13077\"");
    json.replace(json.find("\"address\":2"), 11, "\"address\":7");
    std::ofstream(Path("other.json")) << json;
    const std::string refused =
        "the reports are of different modules (FTDI serial NUV13077 at address 7, then NUV13001 "
        "at address 2)";
    // The report is written all the same, saying so; the run fails.
    EXPECT_EQ(Run({"--simulate", "report", Path("visit.txt"), "--previous", Path("other.json")}),
              1);
    EXPECT_EQ(err.str(), "nuvctl: not compared with " + Path("other.json") + ": " + refused +
                             "; --force compares them anyway\n");
    EXPECT_NE(Slurp(Path("visit.txt")).find("  Not compared: " + refused), std::string::npos);
    EXPECT_EQ(Run({"--simulate", "report", Path("visit.txt"), "--previous", Path("other.json"),
                   "--force"}),
              0)
        << err.str();
    const std::string text = Slurp(Path("visit.txt"));
    EXPECT_NE(text.find("  FTDI serial: NUV13077 → NUV13001\n  Address: 7 → 2\n"),
              std::string::npos)
        << text;

    EXPECT_EQ(Run({"compare", Path("other.json"), Path("mine.json")}), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "nuvctl: not compared: " + refused + "; --force compares them anyway\n");
    EXPECT_EQ(Run({"compare", "--force", Path("other.json"), Path("mine.json")}), 1);
    EXPECT_NE(out.str().find("FTDI serial: NUV13077 → NUV13001\nAddress: 7 → 2\n"),
              std::string::npos)
        << out.str();
    // Output that cannot be written is unreadable input's status, said once.
    {
        std::ofstream full("/dev/full");
        EXPECT_EQ(Run({"compare", Path("mine.json"), Path("mine.json")}, &full), 2);
        const std::string said = "nuvctl: cannot write to standard output: ";
        EXPECT_EQ(err.str().rfind(said, 0), 0U) << err.str();
        EXPECT_EQ(err.str().find(said, 1), std::string::npos) << err.str();  // once
    }
}

TEST_F(NuvctlReportTest, CompareExitsAsDiffDoes) {
    ASSERT_EQ(Run({"--simulate", "report", "--json", Path("a.json")}), 0);
    ASSERT_EQ(Run({"--simulate", "report", "--json", Path("b.json")}), 0);
    module.resetCounters[3] = 2;
    ASSERT_EQ(Run({"--simulate", "report", "--json", Path("c.json")}), 0);
    // No module is needed, nor asked.
    const std::size_t requests = module.Requests().size();
    EXPECT_EQ(Run({"compare", Path("a.json"), Path("b.json")}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "Compared with " + Path("a.json") +
                  " of 2026-01-01T00:00:00+00:00\nNothing changed. Supply readings count "
                  "as changed beyond ±0.5 V and ±0.05 A.\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"compare", Path("b.json"), Path("c.json")}), 1);
    EXPECT_NE(out.str().find("\nReset counter Brown-out: 0 → 2 (+2)\n1 difference. "),
              std::string::npos)
        << out.str();
    EXPECT_EQ(Run({"compare", "--json", Path("b.json"), Path("c.json")}), 1);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
    EXPECT_EQ(json["differences"].toArray().size(), 1);  // the memory holds no counters
    EXPECT_EQ(module.Requests().size(), requests);

    std::ofstream(Path("garbage.json")) << std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    EXPECT_EQ(Run({"compare", Path("a.json"), Path("garbage.json")}), 2);
    EXPECT_EQ(err.str(), "nuvctl: " + Path("garbage.json") +
                             ": not JSON: an unexpected character at byte 0\n");
    EXPECT_EQ(Run({"compare", Path("none.json"), Path("a.json")}), 2);
    EXPECT_EQ(err.str(),
              "nuvctl: cannot read " + Path("none.json") + ": No such file or directory\n");
    EXPECT_EQ(Run({"compare", Path("a.json")}), 2);
    EXPECT_EQ(err.str(), "nuvctl: compare needs two reports: OLD NEW\nTry 'nuvctl --help'.\n");
    EXPECT_EQ(Run({"compare", "--brief", Path("a.json"), Path("b.json")}), 2);
}

TEST_F(NuvctlReportTest, APdfWithoutQtsGuiApplicationIsAFailureNotACrash) {
    // This test program runs a QCoreApplication; nuvctl itself starts the GUI one for --pdf.
    EXPECT_FALSE(cli::DrawsPdf({"--simulate", "report"}));
    EXPECT_TRUE(cli::DrawsPdf({"--simulate", "report", "--pdf", "v.pdf"}));
    EXPECT_EQ(Run({"--simulate", "report", "--pdf", Path("v.pdf")}), 1);
    EXPECT_EQ(err.str(), "nuvctl: cannot write " + Path("v.pdf") +
                             ": drawing a PDF needs Qt's GUI application, which this program did "
                             "not start\n");
    EXPECT_FALSE(std::filesystem::exists(Path("v.pdf")));
}

// nuvctl as a shell runs it, without a display or a platform named: it draws the PDF off
// screen. On a port that cannot be opened the report has its failures, and is written.
TEST_F(NuvctlReportTest, TheProgramDrawsThePdfWithoutADisplay) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("QT_QPA_PLATFORM=", 0) != 0 && text.rfind("DISPLAY=", 0) != 0 &&
            text.rfind("WAYLAND_DISPLAY=", 0) != 0) {
            environment.push_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& text : environment) envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{NUVCTL_PATH, "--port",         "/nonexistent/ttyNUV",
                                  "report",    "--pdf",          Path("visit.pdf"),
                                  "--remarks", "No module here."};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, NUVCTL_PATH, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);  // the steps failed
    const std::string pdf = Slurp(Path("visit.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0U);
    EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
}

}  // namespace
}  // namespace nuv::test
