// The files the tool writes: links followed, streams written straight through, and the paths
// that can take no file refused with their reason, before any work and when writing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/AtomicFile.hpp"
#include "sim/Pty.hpp"

namespace nuv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A folder of its own for each test, gone afterwards; the tests work inside it.
class OutputPathTest : public ::testing::Test {
  protected:
    OutputPathTest() {
        folder = fs::path(::testing::TempDir()) /
                 ("nuv-output-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "real");
        previous = fs::current_path();
        fs::current_path(folder);
    }
    ~OutputPathTest() override {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    // The names in a folder, hidden ones (a left temporary file) included.
    static std::vector<std::string> Names(const fs::path& where) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(where)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
    fs::path previous;
};

TEST_F(OutputPathTest, ALinkChainIsFollowedAndItsTargetReplacedWithTheLinksKept) {
    std::ofstream("real/t.dat") << "old contents";
    fs::permissions("real/t.dat",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/t.dat", "l.dat");
    fs::create_symlink("l.dat", "l2.dat");  // a link to a link
    EXPECT_EQ(WriteFileAtomically("l2.dat", Bytes("new")), std::nullopt);
    EXPECT_EQ(Text("real/t.dat"), "new");
    EXPECT_TRUE(fs::is_symlink("l.dat"));
    EXPECT_TRUE(fs::is_symlink("l2.dat"));
    EXPECT_EQ(fs::read_symlink("l.dat"), "real/t.dat");
    EXPECT_EQ(fs::status("real/t.dat").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file stays behind, in the target's folder or the links'.
    EXPECT_EQ(Names("real"), std::vector<std::string>{"t.dat"});
    EXPECT_EQ(Names("."), (std::vector<std::string>{"l.dat", "l2.dat", "real"}));

    // A link to a file not there yet is no target: it is said, naming the missing file.
    fs::create_symlink("real/missing.dat", "dangling.dat");
    EXPECT_EQ(WriteFileAtomically("dangling.dat", Bytes("x")),
              "it is a link to real/missing.dat, which does not exist");
    EXPECT_EQ(CheckOutputPath("dangling.dat"),
              "it is a link to real/missing.dat, which does not exist");
    EXPECT_TRUE(fs::is_symlink("dangling.dat"));
    EXPECT_FALSE(fs::exists("real/missing.dat"));
    fs::create_symlink("loop-b", "loop-a");
    fs::create_symlink("loop-a", "loop-b");
    EXPECT_EQ(WriteFileAtomically("loop-a", Bytes("x")), "its links go round in a loop");
}

TEST_F(OutputPathTest, AFifoIsWrittenStraightThroughAndOneWithoutAReaderFailsAtOnce) {
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    // Nobody reads: the write says so at once rather than waiting in the open.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteFileAtomically("fifo", Bytes("lost")),
              "it is a FIFO that no program reads: start the reading program first");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(fs::is_fifo("fifo"));

    // With a reader, the bytes reach it and the FIFO stays a FIFO.
    const int reader = ::open("fifo", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(CheckOutputPath("fifo"), std::nullopt);
    EXPECT_EQ(WriteFileAtomically("fifo", Bytes("to the reader")), std::nullopt);
    char buffer[64] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 13);
    EXPECT_EQ(std::string(buffer), "to the reader");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo("fifo"));
    EXPECT_EQ(Names("."), (std::vector<std::string>{"fifo", "real"}));
}

TEST_F(OutputPathTest, AnOutputMadeReadyBeforeTheWorkHoldsItsFifoAndLeavesNothingUnwritten) {
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    OutputFile output;
    EXPECT_EQ(output.Prepare("fifo"),
              "it is a FIFO that no program reads: start the reading program first");
    EXPECT_FALSE(output.Ready());

    // A reader that comes and goes between the check and the bytes does not matter: the FIFO
    // is held open from the check on.
    const int reader = ::open("fifo", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(output.Prepare("fifo"), std::nullopt);
    EXPECT_TRUE(output.IsStream());
    EXPECT_EQ(output.Write(Bytes("late result")), std::nullopt);
    EXPECT_EQ(output.Write(Bytes("again")), "the output was not made ready");
    char buffer[64] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 11);

    // Work that ends without a result: the file is never made, and the FIFO's reader gets an end
    // without a byte.
    {
        OutputFile unused;
        EXPECT_EQ(unused.Prepare("result.dat"), std::nullopt);
        EXPECT_FALSE(unused.IsStream());
        OutputFile stream;
        EXPECT_EQ(stream.Prepare("fifo"), std::nullopt);
    }
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 0);
    ::close(reader);
    EXPECT_EQ(Names("."), (std::vector<std::string>{"fifo", "real"}));
}

TEST_F(OutputPathTest, ACharacterDeviceIsWrittenStraightThroughAlsoBehindALink) {
    sim::PtyPair pty;
    if (!pty.Ok()) GTEST_SKIP() << pty.Error();
    // A terminal's settings would turn line ends into two bytes: these bytes have none.
    fs::create_symlink(pty.SlavePath(), "terminal");
    EXPECT_EQ(WriteFileAtomically(pty.SlavePath(), Bytes("AB")), std::nullopt);
    EXPECT_EQ(WriteFileAtomically("terminal", Bytes("CD")), std::nullopt);
    const auto arrived = pty.Read(4, 2s);
    EXPECT_EQ(std::string(arrived.begin(), arrived.end()), "ABCD");
    EXPECT_TRUE(fs::is_symlink("terminal"));
    EXPECT_TRUE(fs::is_character_file(pty.SlavePath()));
}

TEST_F(OutputPathTest, ADescriptorsFileIsWrittenThroughTheDescriptorLink) {
    // A pipe, as in "nuvctl dump /dev/stdout | wc -c".
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_EQ(WriteFileAtomically("/dev/fd/" + std::to_string(pipeFds[1]), Bytes("piped")),
              std::nullopt);
    ::close(pipeFds[1]);
    char buffer[64] = {};
    EXPECT_EQ(::read(pipeFds[0], buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer), "piped");
    ::close(pipeFds[0]);

    // A file opened by the shell ("> f", ">> f"): the bytes go to that file, at its end; the
    // file is not replaced under the shell's descriptor.
    std::ofstream("redirected.txt") << "earlier\n";
    const int shell = ::open("redirected.txt", O_WRONLY | O_APPEND);
    ASSERT_GE(shell, 0);
    const std::string link = "/proc/self/fd/" + std::to_string(shell);
    EXPECT_EQ(WriteFileAtomically(link, Bytes("added\n")), std::nullopt);
    struct stat before {};
    struct stat after {};
    ::fstat(shell, &before);
    ::stat("redirected.txt", &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(Text("redirected.txt"), "earlier\nadded\n");
    ::close(shell);
    EXPECT_EQ(Names("."), (std::vector<std::string>{"real", "redirected.txt"}));
}

TEST_F(OutputPathTest, PathsThatTakeNoFileAreRefusedBeforeTheWork) {
    const sockaddr_un address = [] {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, "socket");
        return a;
    }();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    fs::create_directories("sub");
    const std::pair<std::string, std::string> cases[] = {
        {"", "no file name was given"},
        {"sub", "it is a folder"},
        {".", "it is a folder"},
        {"sub/", "it is a folder"},
        {"new-folder/", "it names a folder, not a file"},
        {"missing-folder/visit.txt", "No such file or directory"},
        {"socket", "it is a socket, not a file"},
    };
    for (const auto& [path, reason] : cases) {
        EXPECT_EQ(CheckOutputPath(path), reason) << path;
        EXPECT_EQ(WriteFileAtomically(path, Bytes("x")), reason) << path;
    }
    ::close(listener);
    EXPECT_EQ(Names("."), (std::vector<std::string>{"real", "socket", "sub"}));
    EXPECT_TRUE(fs::is_empty("sub"));

    // A folder that takes no new file; root writes into any folder whatever its mode.
    fs::create_directories("read-only");
    fs::permissions("read-only", fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) {
        EXPECT_EQ(CheckOutputPath("read-only/visit.txt"), "Permission denied");
    }
    fs::permissions("read-only", fs::perms::owner_all);
    // What can take the file passes, and the check leaves no trace.
    EXPECT_EQ(CheckOutputPath("visit.txt"), std::nullopt);
    EXPECT_EQ(CheckOutputPath("real/../visit.txt"), std::nullopt);
    EXPECT_FALSE(fs::exists("visit.txt"));
}

TEST_F(OutputPathTest, StandardOutputIsKnownWhateverItsName) {
    EXPECT_TRUE(IsStandardOutput("/dev/stdout"));
    EXPECT_TRUE(IsStandardOutput("/proc/self/fd/1"));
    std::ofstream("plain.txt") << "x";
    EXPECT_FALSE(IsStandardOutput("plain.txt"));
    EXPECT_FALSE(IsStandardOutput("missing.txt"));
}

}  // namespace
}  // namespace nuv::test
