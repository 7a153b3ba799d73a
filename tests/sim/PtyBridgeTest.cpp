// The simulated module on a pseudo-terminal: a program's flood is dropped at the wire, and the
// module answers the next request in time.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "sim/ModuleSimulator.hpp"
#include "sim/Pty.hpp"
#include "sim/PtyBridge.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class PtyBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!pty.Ok()) GTEST_SKIP() << pty.Error();
        slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(slave, 0);
        termios raw{};
        ASSERT_EQ(::tcgetattr(slave, &raw), 0);
        ::cfmakeraw(&raw);
        ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);
        device.AttachPeer(moduleOwner);
        ASSERT_EQ(driver.Open(0, handle), ft::Ok);
        bridge = std::make_unique<sim::PtyBridge>(pty.MasterFd(), driver, handle);
    }
    void TearDown() override {
        if (slave >= 0) ::close(slave);
    }
    // One millisecond of virtual time, with a pass of the bridge; tracks the wire's fill.
    void Tick() {
        clock.AdvanceMs(1);
        bridge->Step(std::chrono::microseconds(0));
        std::uint32_t rx = 0;
        std::uint32_t onWire = 0;
        std::uint32_t events = 0;
        driver.GetStatus(handle, rx, onWire, events);
        mostOnWire = std::max(mostOnWire, onWire);
        mostBuffered = std::max(mostBuffered, module.Buffered());
    }
    // Writes everything into the slave end, letting the bridge take it as the pty fills.
    void WriteAll(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(slave, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                ASSERT_EQ(errno, EAGAIN);
                bridge->Step(std::chrono::microseconds(0));
            }
        }
    }
    std::vector<std::uint8_t> ReadAvailable() {
        std::vector<std::uint8_t> bytes(4096);
        const ssize_t n = ::read(slave, bytes.data(), bytes.size());
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }

    sim::PtyPair pty;
    int slave = -1;
    VirtualClock clock;
    sim::SimFtdi driver{clock};
    sim::SimDevice& device = driver.AddDevice("ORNEVA NUV", "NUV13001");
    std::shared_ptr<sim::ModuleSimulator> moduleOwner = std::make_shared<sim::ModuleSimulator>();
    sim::ModuleSimulator& module = *moduleOwner;
    FtHandle handle = 0;
    std::unique_ptr<sim::PtyBridge> bridge;
    std::uint32_t mostOnWire = 0;
    std::size_t mostBuffered = 0;
};

TEST_F(PtyBridgeTest, AFloodOf100KBDoesNotDelayTheNextAnswerBeyondTheWireBuffer) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    std::vector<std::uint8_t> noise(100 * 1024);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131);
    WriteAll(noise);
    for (int i = 0; i < 20; ++i)
        bridge->Step(std::chrono::microseconds(0));  // whatever the pty still holds
    // The wire carries at most its buffer: 288 bytes at 9600 baud, 300 ms.
    for (int ms = 0; ms < 320; ++ms) Tick();
    EXPECT_GE(bridge->Dropped(), noise.size() - 2 * bridge->WireBuffer());
    EXPECT_LE(mostOnWire, bridge->WireBuffer());
    EXPECT_LE(mostBuffered, sim::ModuleSimulator::kUartBufferSize);

    WriteAll(Hex("02 03 00 00 00 01 84 39"));
    std::vector<std::uint8_t> answer;
    int ms = 0;
    for (; ms < 2500 && answer.size() < 7; ++ms) {
        Tick();
        const auto got = ReadAvailable();
        answer.insert(answer.end(), got.begin(), got.end());
    }
    EXPECT_EQ(answer, Hex("02 03 02 01 91 3C 78"));
    EXPECT_LE(ms, 8 + 7 + 4 + 2);  // request, silence and answer at 9600 baud, nothing more
    EXPECT_EQ(bridge->WireBuffer(), 288U);
    bridge->SetBaud(115200);
    EXPECT_EQ(bridge->WireBuffer(), 3456U);  // 300 ms at the boot loader's rate
}

TEST_F(PtyBridgeTest, ANeverEndingFloodKeepsTheWireAndTheModuleBounded) {
    std::vector<std::uint8_t> noise(8192, 0x55);
    for (int round = 0; round < 200; ++round) {  // 1.6 MB over 2 s of virtual time
        WriteAll(noise);
        for (int ms = 0; ms < 10; ++ms) Tick();
    }
    EXPECT_LE(mostOnWire, bridge->WireBuffer());
    EXPECT_LE(mostBuffered, sim::ModuleSimulator::kUartBufferSize);
    EXPECT_TRUE(module.Requests().empty());
}

}  // namespace
}  // namespace nuv::test
