// The nuvctl program as a shell runs it: its standard output on a full disk or closed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace nuv::test {
namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs nuvctl with standard output on /dev/full (`full`) or closed, and collects its errors.
Outcome RunNuvctl(const std::vector<std::string>& args, bool full) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (full) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> all{NUVCTL_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, NUVCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Outcome outcome;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        outcome.err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (spawned != 0) return outcome;
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(NuvctlProcess, OutputOnAFullDiskOrAClosedDescriptorFails) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--simulate", "read"},
                                               {"--simulate", "power"},
                                               {"--simulate", "devices"},
                                               {"--simulate", "watch", "--count", "1"}}) {
        const Outcome full = RunNuvctl(args, true);
        EXPECT_EQ(full.status, 1) << args[1];
        EXPECT_EQ(full.err, "nuvctl: cannot write to standard output: No space left on device\n");
        const Outcome closed = RunNuvctl(args, false);
        EXPECT_EQ(closed.status, 1) << args[1];
        EXPECT_EQ(closed.err, "nuvctl: cannot write to standard output: Bad file descriptor\n");
    }
}

TEST(NuvctlProcess, HelpAndVersionOnAFullDiskFail) {
    for (const char* option : {"--help", "--version"}) {
        const Outcome full = RunNuvctl({option}, true);
        EXPECT_EQ(full.status, 1) << option;
        EXPECT_EQ(full.err, "nuvctl: cannot write to standard output: No space left on device\n");
        const Outcome closed = RunNuvctl({option}, false);
        EXPECT_EQ(closed.status, 1) << option;
        EXPECT_EQ(closed.err, "nuvctl: cannot write to standard output: Bad file descriptor\n");
    }
}

// Starts nuvctl on the simulated module (which answers in real time, at the wire speed of 9600
// baud), sends it `signal` after `afterMs` and waits up to `limitMs` for its end. The exit
// status (-1 when it had to be killed), with its standard error.
Outcome Interrupted(const std::vector<std::string>& args, int signal, int afterMs, int limitMs) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> all{NUVCTL_PATH, "--simulate"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, NUVCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Outcome outcome;
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return outcome;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
    ::kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ::close(pipeFds[0]);
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        outcome.err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// A dump takes some 17 s; a report longer. Stopped 2 s in, each ends within a few exchanges,
// takes the module back to normal mode and writes no file.
TEST(NuvctlProcess, CtrlCAndSigtermStopADumpAndAReport) {
    const std::string folder =
        ::testing::TempDir() + "nuvctl-stopped-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const Outcome dump = Interrupted({"dump", folder + "/memory.dat"}, SIGINT, 2000, 3000);
    EXPECT_EQ(dump.status, 130) << dump.err;
    EXPECT_NE(dump.err.find("nuvctl: reading the memory: interrupted after "), std::string::npos)
        << dump.err;
    EXPECT_NE(dump.err.find("nuvctl: the module is back in normal mode\n"), std::string::npos)
        << dump.err;
    EXPECT_FALSE(std::filesystem::exists(folder + "/memory.dat"));

    const Outcome report = Interrupted({"report", folder + "/visit.txt"}, SIGTERM, 2000, 3000);
    EXPECT_EQ(report.status, 143) << report.err;
    EXPECT_NE(report.err.find("nuvctl: interrupted; the report was not written to "),
              std::string::npos)
        << report.err;
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/visit-memory.dat"));
    std::filesystem::remove_all(folder);
}

TEST(NuvctlProcess, AKilledWatchLeavesEveryWrittenRowWhole) {
    const std::string path =
        ::testing::TempDir() + "nuvctl-killed-" + std::to_string(::getpid()) + ".csv";
    std::vector<std::string> all{NUVCTL_PATH, "--simulate", "watch", "--interval",
                                 "1",         "--csv",      path};
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, NUVCTL_PATH, nullptr, nullptr, argv.data(), environ), 0);
    auto text = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    };
    // A reading a second: the third row is there within a few seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (std::string now = text(); std::count(now.begin(), now.end(), '\n') < 4 &&
                                   std::chrono::steady_clock::now() < deadline;
         now = text()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    const std::string written = text();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), '\n');  // no row cut in the middle
    std::size_t rows = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = written.find('\n', start)) != std::string::npos;
         start = end + 1, ++rows) {
        const std::string line = written.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 103) << line;
    }
    EXPECT_GE(rows, 4U);  // the header and three readings at least
    std::filesystem::remove(path);
}

// A reader that has gone is a failed write with its reason, not the end of the program.
TEST(NuvctlProcess, AReaderThatHasGoneIsAFailedWriteNotTheEnd) {
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    ::close(output[0]);  // nobody reads
    int errors[2];
    ASSERT_EQ(::pipe(errors), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, errors[0]);
    std::vector<std::string> all{NUVCTL_PATH, "--simulate", "devices"};
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, NUVCTL_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ::close(errors[1]);
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = ::read(errors[0], buffer, sizeof buffer)) > 0;) {
        err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(errors[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(err, "nuvctl: cannot write to standard output: Broken pipe\n");
}

// A reading log into a FIFO whose reader takes nothing: the row waits for it, but a stop ends
// the wait at once, and without a stop the log ends by itself after its limit.
TEST(NuvctlProcess, AStalledReaderOfTheLogNeitherHangsTheWatchNorOutlastsAStop) {
    const std::string fifo =
        ::testing::TempDir() + "nuvctl-stalled-" + std::to_string(::getpid()) + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reader holds the FIFO open and reads nothing; the FIFO is full before nuvctl writes.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    const std::string block(4096, 'x');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    for (const int signal : {SIGTERM, 0}) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome = Interrupted({"watch", "--interval", "1", "--csv", fifo}, signal,
                                            signal != 0 ? 800 : 0, 6000);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        if (signal != 0) {
            EXPECT_EQ(outcome.status, 143) << outcome.err;
            EXPECT_LT(ms, 1800) << outcome.err;
        } else {
            EXPECT_EQ(outcome.status, 1) << outcome.err;
            EXPECT_NE(outcome.err.find(": the program that reads it took nothing for 2 s"),
                      std::string::npos)
                << outcome.err;
            EXPECT_LT(ms, 4500) << outcome.err;
        }
    }
    ::close(filler);
    ::close(reader);
    std::filesystem::remove(fifo);
}

}  // namespace
}  // namespace nuv::test
