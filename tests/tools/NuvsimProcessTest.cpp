// The nuvsim program on its pseudo-terminal: a flood from the program on the other end neither
// grows its memory nor delays the answer to the next request beyond the flood.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace nuv::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long ResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

class NuvsimProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string program = NUVSIM_PATH;
        char* argv[] = {program.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, NUVSIM_PATH, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::string path;
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') path += c;
        ::close(out[0]);
        if (path.empty()) GTEST_SKIP() << "nuvsim found no pseudo-terminal";
        port_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(port_, 0) << path;
        termios raw{};
        ASSERT_EQ(::tcgetattr(port_, &raw), 0);
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B9600);
        ASSERT_EQ(::tcsetattr(port_, TCSANOW, &raw), 0);
    }
    void TearDown() override {
        if (port_ >= 0) ::close(port_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit) {
        std::vector<std::uint8_t> bytes;
        const auto end = Clock::now() + limit;
        while (bytes.size() < count && Clock::now() < end) {
            pollfd fd{port_, POLLIN, 0};
            if (::poll(&fd, 1, 10) <= 0) continue;
            std::uint8_t buffer[256];
            const ssize_t n = ::read(port_, buffer, sizeof buffer);
            if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    pid_t pid_ = 0;
    int port_ = -1;
};

TEST_F(NuvsimProcess, AFloodKeepsMemoryFlatAndTheNextRequestIsAnswered) {
    const long before = ResidentKilobytes(pid_);
    ASSERT_GT(before, 0);
    std::vector<std::uint8_t> noise(65536);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 29);
    std::size_t flooded = 0;
    const auto floodEnd = Clock::now() + 1500ms;
    while (Clock::now() < floodEnd) {
        const ssize_t n = ::write(port_, noise.data(), noise.size());
        if (n > 0) {
            flooded += static_cast<std::size_t>(n);
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    const long after = ResidentKilobytes(pid_);
    EXPECT_GT(flooded, 1'000'000U);  // far more than the line could carry in that time
    EXPECT_LT(after - before, 16 * 1024) << before << " kB before, " << after << " kB after";

    // The wire carries what it holds of the flood, then the request.
    std::this_thread::sleep_for(400ms);
    ::tcflush(port_, TCIFLUSH);
    const std::uint8_t request[] = {0x02, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x39};
    ASSERT_EQ(::write(port_, request, sizeof request), 8);
    const auto answer = Read(7, 2500ms);
    ASSERT_EQ(answer.size(), 7U);
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_EQ(answer[1], 0x03);
    EXPECT_EQ(answer[2], 0x02);
}

// nuvctl scans the bus on nuvsim's pseudo-terminal at 9600 baud, as it would an RS485 line, and
// finds the simulated module at its address among 1..247.
TEST(NuvsimScan, FindsTheModulesAddressAmongAllAndTakesItsTime) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> simArgs{NUVSIM_PATH, "--address", "37"};
    std::vector<char*> simArgv;
    for (std::string& arg : simArgs) simArgv.push_back(arg.data());
    simArgv.push_back(nullptr);
    pid_t sim = 0;
    ASSERT_EQ(posix_spawn(&sim, NUVSIM_PATH, &actions, nullptr, simArgv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string path;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') path += c;
    ::close(out[0]);
    if (path.empty()) {
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        GTEST_SKIP() << "nuvsim found no pseudo-terminal";
    }

    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, results[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, results[0]);
    std::vector<std::string> ctlArgs{NUVCTL_PATH, "--port", path, "scan"};
    std::vector<char*> ctlArgv;
    for (std::string& arg : ctlArgs) ctlArgv.push_back(arg.data());
    ctlArgv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t ctl = 0;
    ASSERT_EQ(posix_spawn(&ctl, NUVCTL_PATH, &actions, nullptr, ctlArgv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(results[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t n; (n = ::read(results[0], buffer, sizeof buffer)) > 0;) {
        printed.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(results[0]);
    int status = 0;
    ::waitpid(ctl, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;
    EXPECT_NE(printed.find("address 37\tanswered\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("1 of 247 addresses answered in "), std::string::npos) << printed;
    // Reported, not asserted: the time of the whole range.
    std::printf("nuvctl scan of 1..247 on nuvsim: %.1f s (%s)\n", seconds,
                printed.substr(printed.rfind("answered in ") + 12).c_str());
    RecordProperty("scan_seconds", std::to_string(seconds));
}

}  // namespace
}  // namespace nuv::test

namespace nuv::test {
namespace {

// A program started with its arguments, and the read end of its standard output.
struct Started {
    pid_t pid = -1;
    int output = -1;
};

Started Start(std::vector<std::string> args) {
    Started started;
    int out[2];
    if (::pipe(out) != 0) return started;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&started.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        started.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    started.output = out[0];
    return started;
}

std::string ReadAll(int fd, bool firstLineOnly) {
    std::string text;
    char c = 0;
    while (::read(fd, &c, 1) == 1) {
        if (firstLineOnly && c == '\n') break;
        text += c;
    }
    return text;
}

// nuvsim with a list of addresses puts that many modules on its one port: a scan by nuvctl
// finds each of them but the silent one.
TEST(NuvsimBus, AScanFindsEveryModuleOfTheListButTheSilentOne) {
    const Started started = Start({NUVSIM_PATH, "--address", "1,4,7", "--silent", "7"});
    const pid_t sim = started.pid;
    ASSERT_GT(sim, 0);
    const std::string path = ReadAll(started.output, true);
    ::close(started.output);
    if (path.empty()) {
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        GTEST_SKIP() << "nuvsim found no pseudo-terminal";
    }
    const Started scan = Start({NUVCTL_PATH, "--port", path, "scan", "--from", "1", "--to", "8"});
    const pid_t ctl = scan.pid;
    ASSERT_GT(ctl, 0);
    const std::string printed = ReadAll(scan.output, false);
    ::close(scan.output);
    int status = 0;
    ::waitpid(ctl, &status, 0);
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;
    EXPECT_NE(printed.find("address 1\tanswered\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("address 4\tanswered\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("address 7\t"), std::string::npos) << printed;
    EXPECT_NE(printed.find("2 of 8 addresses answered in "), std::string::npos) << printed;
}

TEST(NuvsimBus, ABadListIsAUsageError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{NUVSIM_PATH, "--address", "1,1"},
          std::vector<std::string>{NUVSIM_PATH, "--address", "1,4", "--silent", "5"}}) {
        const Started sim = Start(args);
        ASSERT_GT(sim.pid, 0);
        EXPECT_EQ(ReadAll(sim.output, false), "");  // no port printed
        ::close(sim.output);
        int status = 0;
        ::waitpid(sim.pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args.back();
    }
}

}  // namespace
}  // namespace nuv::test
