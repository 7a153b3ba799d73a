// The program-mode block: masking, trailer and checksums on the wire, the exchange and its
// failure texts and results.
#include "protocol/ProgramBlock.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

// `head`, then bytes up to 117 from `pattern` by their position p (pattern[(p - 1) mod 8], as
// masking a zero does), then `tail` (trailer and checksums), written out as hex.
std::vector<std::uint8_t> Wire(const std::string& head, const std::string& pattern,
                               const std::string& tail) {
    std::vector<std::uint8_t> bytes = Hex(head);
    const std::vector<std::uint8_t> repeat = Hex(pattern);
    while (bytes.size() < 118) bytes.push_back(repeat[(bytes.size() - 1) % repeat.size()]);
    const std::vector<std::uint8_t> end = Hex(tail);
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

constexpr BlockMask kMask{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
// The simulated far end masks its replies with 01 02 04 08 10 20 40 80.
constexpr const char* kReplyPattern = "01 02 04 08 10 20 40 80";
constexpr const char* kReplyTrailer = "03 06 0C 18 30 60 C0 80";

TEST(ProgramBlockTest, AnAllZeroBlockGoesOutAsTheMaskPatternRepeated) {
    const ProgramWire wire = EncodeProgramBlock(MakeProgramBlock(0, 0), kMask);
    EXPECT_EQ(std::vector<std::uint8_t>(wire.begin(), wire.end()),
              Wire("7E", "11 22 33 44 55 66 77 88", "33 11 77 11 33 11 FF 88 F6 E2"));
}

TEST(ProgramBlockTest, TheFirmwareRequestOnTheWire) {
    const ProgramWire wire = EncodeProgramBlock(MakeProgramBlock(0x30, 0x00),
                                                {0xA5, 0x5A, 0x0F, 0xF0, 0x3C, 0xC3, 0x96, 0x69});
    EXPECT_EQ(std::vector<std::uint8_t>(wire.begin(), wire.end()),
              Wire("7E 95 5A", "A5 5A 0F F0 3C C3 96 69", "FF 55 FF CC FF 55 FF 69 4E AA"));
}

TEST(ProgramBlockTest, AnEchoedBlockUnmasksToThePlainBytesWithTheMaskInItsTrailer) {
    ProgramBlock block = MakeProgramBlock(0x70, 0x03);
    for (std::size_t i = 3; i <= 117; ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    for (const BlockMask& mask : {kMask, BlockMask{}, BlockMask{0xFF, 0, 0xFF, 0, 1, 2, 3, 4}}) {
        const DecodedBlock decoded = DecodeProgramBlock(EncodeProgramBlock(block, mask));
        EXPECT_TRUE(decoded.checksumsOk);
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 118, decoded.bytes.begin()));
        EXPECT_TRUE(std::equal(mask.begin(), mask.end(), decoded.bytes.begin() + 118));
    }
}

class ProgramExchangeTest : public LinkTest {
  protected:
    ProgramExchangeTest() {
        program.maskSource = [] { return kMask; };
    }
    sim::ScriptedPeer& Answering(const std::vector<std::uint8_t>& reply) {
        sim::ScriptedPeer& peer = ConnectScripted();
        peer.ReplyAfter(128, reply, 20 * kMs);
        return peer;
    }
    ProgramClient program{link};
    ProgramBlock block = MakeProgramBlock(0x30, 0x00);
};

TEST_F(ProgramExchangeTest, TheBlockGoesOutInTwoWritesAndAnAcceptedReplyIsUnmasked) {
    Answering(Wire("06 01 4A", kReplyPattern, std::string(kReplyTrailer) + " B1 4D"));
    EXPECT_EQ(program.Exchange(block, 600, 128), 0);
    const auto& written = driver.Device(0).Written();
    EXPECT_EQ(written,
              Wire("7E 21 22", "11 22 33 44 55 66 77 88", "33 11 77 11 33 11 FF 88 C6 12"));
    EXPECT_EQ(Received(4), Hex("06 00 48 00"));
    EXPECT_EQ(Received(128)[118], 0x01);  // the reply's mask replaces its trailer
    EXPECT_EQ(Received(128)[125], 0x80);
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(block, MakeProgramBlock(0x30, 0x00));  // the caller's block is left as it was
}

TEST_F(ProgramExchangeTest, AChecksumOffByOneIsOne) {
    for (const char* sums : {"B2 4D", "B1 4E"}) {
        log.Clear();
        Answering(Wire("06 01 4A", kReplyPattern, std::string(kReplyTrailer) + " " + sums));
        EXPECT_EQ(program.Exchange(block, 600, 128), 1) << sums;
        EXPECT_EQ(log.Text(), "\n Error CC: 1");
    }
}

TEST_F(ProgramExchangeTest, ReplyStatuses) {
    struct Case {
        const char* status;
        const char* sums;
        std::uint8_t result;
        const char* log;
    };
    for (const Case& c : {Case{"02", "FD 01", 0, "\nZnaleziono takie same seriale!!!"},
                          Case{"7E", "81 7D", 126, ""}, Case{"15", "EA 14", 21, ""},
                          // A whole reply of status 0 says nothing about the request.
                          Case{"00", "FF FF", 17, ""}}) {
        log.Clear();
        Answering(Wire(c.status, kReplyPattern, std::string(kReplyTrailer) + " " + c.sums));
        EXPECT_EQ(program.Exchange(block, 600, 128), c.result) << c.status;
        EXPECT_EQ(log.Text(), c.log) << c.status;
    }
    // All zeros pass both checks, and are no answer either.
    log.Clear();
    Answering(std::vector<std::uint8_t>(128, 0));
    EXPECT_EQ(program.Exchange(block, 600, 128), 17);
}

TEST_F(ProgramExchangeTest, ALengthZeroExchangeEndsOnTheFirstByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(128, Hex("06"), 50 * kMs);
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(program.Exchange(block, 600, 0), 0);
    // 128 bytes out (133 ms), 50 ms, one byte back: then at once.
    EXPECT_LE(clock.NowMs() - start, 133 + 50 + 2 + 3);
    EXPECT_EQ(log.Text(), "");
    // Silence instead fails with the time-out.
    log.Clear();
    const std::int64_t silent = clock.NowMs();
    EXPECT_EQ(program.Exchange(block, 600, 0), 21);
    EXPECT_EQ(clock.NowMs() - silent, 100 + 600);
    EXPECT_EQ(log.Text(), "\n Timeout_Error: 21");
}

TEST_F(ProgramExchangeTest, WriteFailuresAndTimeOutsAreAppendedInDecimal) {
    ConnectScripted();
    driver.Device(0).InjectFault(sim::Op::Write, ft::IoError, 1);
    EXPECT_EQ(program.Exchange(block, 600, 128), 19);
    EXPECT_EQ(log.Text(), "\n TDAError: 19");
    driver.Device(0).InjectFault(sim::Op::Write, ft::IoError, 1, /*skip=*/1);
    EXPECT_EQ(program.Exchange(block, 600, 128), 19);
    EXPECT_EQ(log.Text(), "\n TDAError: 19\n DCT_Error: 19");
    log.Clear();
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(program.Exchange(block, 600, 128), 21);
    EXPECT_EQ(clock.NowMs() - start, 100 + 600);  // the pause, then the whole limit
    EXPECT_EQ(log.Text(), "\n Timeout_Error: 21");
    EXPECT_GE(pump.calls, 600U);  // the window was served all the while
}

TEST_F(ProgramExchangeTest, AReplyThatStopsShortIsTwentyEight) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(128, Hex("06 01 4A 04"), 20 * kMs);
    EXPECT_EQ(program.Exchange(block, 600, 128), 28);
    EXPECT_EQ(log.Text(), "\n Timeout_Error: 28");
}

TEST_F(ProgramExchangeTest, EveryExchangeHasAFreshMaskByDefault) {
    ConnectScripted();
    ProgramClient fresh(link);
    fresh.Exchange(block, 0, 128);
    fresh.Exchange(block, 0, 128);
    const auto& written = driver.Device(0).Written();
    ASSERT_EQ(written.size(), 256U);
    EXPECT_FALSE(std::equal(written.begin() + 118, written.begin() + 126, written.begin() + 246));
    // Each still decodes to the same request.
    for (std::size_t start : {0U, 128U}) {
        ProgramWire wire{};
        std::copy_n(written.begin() + static_cast<std::ptrdiff_t>(start), 128, wire.begin());
        const DecodedBlock decoded = DecodeProgramBlock(wire);
        EXPECT_TRUE(decoded.checksumsOk);
        EXPECT_EQ(decoded.bytes[1], 0x30);
        EXPECT_EQ(decoded.bytes[5], 0x00);
    }
}

}  // namespace
}  // namespace nuv::test
