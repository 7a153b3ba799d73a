// Byte-level operations of the link: timed reads, drains, writes, short frames, lines, baud.
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

using TransferTest = LinkTest;

TEST_F(TransferTest, ReadTimedKeepsOnlyTheFirstNBytesOfOneChunk) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("11 22 33 44 55 66 77 88 99 AA BB CC"));
    clock.AdvanceMs(50);  // all twelve bytes are queued before the read starts
    EXPECT_EQ(link.ReadTimed(8, 500), 0);
    EXPECT_EQ(Received(12), Hex("11 22 33 44 55 66 77 88 00 00 00 00"));
    EXPECT_EQ(link.ReceivedCount(), 8U);
    EXPECT_EQ(link.LastReadCount(), 12U);
    EXPECT_EQ(driver.Device(0).ReadCalls(), 1U);
}

TEST_F(TransferTest, ReadTimedWithoutTimeLimitLeavesTheDriverAlone) {
    ConnectScripted();
    const std::size_t calls = driver.CallCount();
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(link.ReadTimed(8, 0), 21);
    EXPECT_EQ(driver.CallCount(), calls);
    EXPECT_EQ(clock.NowNs(), start);
}

TEST_F(TransferTest, NoFirstByteTimesOutAtTheLimit) {
    ConnectScripted();
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(link.ReadTimed(8, 500), 21);
    EXPECT_EQ(clock.NowMs() - start, 500);
    EXPECT_GE(pump.calls, 500U);  // the window was served on every poll
}

TEST_F(TransferTest, AReplyThatStopsShortTimesOutAfterTIdlePolls) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(10 * kMs, Hex("01 02 03 04 05"));
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(link.ReadTimed(8, 100), 28);
    EXPECT_EQ(link.ReceivedCount(), 5U);
    EXPECT_EQ(Received(6), Hex("01 02 03 04 05 00"));
    // About 11 ms to the first byte, 5 ms of bytes trickling in, then 100 idle polls.
    EXPECT_GT(clock.NowMs() - start, 100);
    EXPECT_LT(clock.NowMs() - start, 130);
}

TEST_F(TransferTest, AReplyInPiecesIsCollectedInOrder) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(5 * kMs, Hex("A1 A2 A3"));
    peer.SendAt(60 * kMs, Hex("A4 A5"));
    peer.SendAt(120 * kMs, Hex("A6 A7 A8 A9"));
    EXPECT_EQ(link.ReadTimed(8, 500), 0);
    EXPECT_EQ(Received(9), Hex("A1 A2 A3 A4 A5 A6 A7 A8 00"));
    // A9 was dropped with the rest of its chunk, or stays queued for the next drain.
}

TEST_F(TransferTest, IdlePollsAddUpAcrossPieces) {
    // Each gap is below the limit, but the idle polls are never reset.
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("01"));
    peer.SendAt(30 * kMs, Hex("02"));
    peer.SendAt(60 * kMs, Hex("03"));
    peer.SendAt(90 * kMs, Hex("04"));
    EXPECT_EQ(link.ReadTimed(4, 50), 28);
    EXPECT_EQ(link.ReceivedCount(), 2U);
}

TEST_F(TransferTest, ABlockTricklingInIsReadInAFewPassesAndEndsWithItsLastByte) {
    sim::ScriptedPeer& peer = ConnectScripted();
    std::vector<std::uint8_t> block(128);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
    peer.SendAt(0, block);
    EXPECT_EQ(link.ReadTimed(128, 600), 0);
    EXPECT_EQ(Received(128), block);
    EXPECT_NEAR(clock.NowNs(), 128 * driver.Device(0).ByteTimeNs(), 1000);  // to the microsecond
    EXPECT_LE(driver.Device(0).ReadCalls(), 8U);
}

TEST_F(TransferTest, AModuleThatDribblesTimesOutAfterTQuietMilliseconds) {
    // One byte every 30 ms: the line is quiet nearly all the time, so the limit runs out after
    // about T milliseconds of it, as T idle polls of 1 ms did; the bytes do not reset it.
    sim::ScriptedPeer& peer = ConnectScripted();
    for (int i = 0; i < 20; ++i) peer.SendAt(i * 30 * kMs, Hex("5A"));
    EXPECT_EQ(link.ReadTimed(20, 100), 28);
    EXPECT_GE(clock.NowMs(), 100);
    EXPECT_LE(clock.NowMs(), 100 + 30 + UsbLink::kLongestPauseMs);
    EXPECT_GE(link.ReceivedCount(), 4U);
    EXPECT_LE(link.ReceivedCount(), 6U);
}

TEST_F(TransferTest, WithoutAWindowASilentWaitWakesAFewTimesAndMissesNoByte) {
    // A program without a window has nothing to serve while the line is silent: the driver's
    // wait ends when bytes come, so a long pause loses no time.
    NullEventPump windowless;
    UsbLink quiet{driver, clock, windowless, log};
    auto peer = std::make_shared<sim::ScriptedPeer>();
    AddModule().AttachPeer(peer);
    ASSERT_EQ(quiet.ConnectModule(), 0);
    std::size_t calls = driver.CallCount();
    EXPECT_EQ(quiet.ReadTimed(8, 600), 21);
    EXPECT_EQ(clock.NowMs(), 600);
    EXPECT_LE(driver.CallCount() - calls, 10U);

    const std::int64_t start = clock.NowNs();
    peer->SendAt(start + 300 * kMs, Hex("01 02 03 04"));
    calls = driver.CallCount();
    EXPECT_EQ(quiet.ReadTimed(4, 600), 0);
    EXPECT_NEAR(clock.NowNs() - start, 300 * kMs + 4 * driver.Device(0).ByteTimeNs(), 1000);
    EXPECT_LE(driver.CallCount() - calls, 10U);
}

TEST_F(TransferTest, StatusFailuresBeforeTheFirstByteDoNotEndTheWait) {
    sim::ScriptedPeer& peer = ConnectScripted();
    driver.Device(0).InjectFault(sim::Op::Status, ft::IoError, 20);
    peer.SendAt(2 * kMs, Hex("01 02"));
    EXPECT_EQ(link.ReadTimed(2, 100), 0);
    EXPECT_EQ(Received(2), Hex("01 02"));
}

TEST_F(TransferTest, AStatusFailureAfterTheFirstByteEndsTheRead) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("01"));
    peer.SendAt(40 * kMs, Hex("02"));
    driver.Device(0).InjectFault(sim::Op::Status, ft::IoError, 1, /*skip=*/3);
    EXPECT_EQ(link.ReadTimed(2, 500), 16);
}

TEST_F(TransferTest, AReadFailureOnTheFirstChunkIsFifteen) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("01 02"));
    driver.Device(0).InjectFault(sim::Op::Read, ft::IoError, 1);
    EXPECT_EQ(link.ReadTimed(2, 500), 15);
}

TEST_F(TransferTest, AReadFailureLaterIsRememberedWhileTheReadGoesOn) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("01"));
    peer.SendAt(20 * kMs, Hex("02 03"));
    driver.Device(0).InjectFault(sim::Op::Read, ft::IoError, 1, /*skip=*/1);
    EXPECT_EQ(link.ReadTimed(3, 500), 15);
    EXPECT_EQ(Received(3), Hex("01 02 03"));
}

TEST_F(TransferTest, ADriverThatKeepsFailingReadsCannotHoldTheReadForever) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(0, Hex("01"));
    peer.SendAt(5 * kMs, Hex("02"));
    driver.Device(0).InjectFault(sim::Op::Read, ft::IoError, -1, /*skip=*/1);
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(link.ReadTimed(4, 200), 28);
    EXPECT_LE(clock.NowMs() - start, 200 + 10);
}

TEST_F(TransferTest, AReplyLargerThanTheChunkReachesTheBufferWhole) {
    sim::ScriptedPeer& peer = ConnectScripted();
    ASSERT_EQ(link.SetLinkBaud(3'000'000), 0);
    std::vector<std::uint8_t> big(10000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    peer.SendAt(0, big);
    clock.AdvanceMs(100);
    EXPECT_EQ(link.ReadTimed(9000, 500), 0);
    EXPECT_EQ(Received(9000), std::vector<std::uint8_t>(big.begin(), big.begin() + 9000));
    EXPECT_GE(driver.Device(0).ReadCalls(), 2U);
}

TEST_F(TransferTest, AnExpectedCountBeyondTheBufferIsCapped) {
    sim::ScriptedPeer& peer = ConnectScripted();
    ASSERT_EQ(link.SetLinkBaud(3'000'000), 0);
    peer.SendAt(0, std::vector<std::uint8_t>(UsbLink::kRxBufferSize + 100, 0x5A));
    clock.AdvanceMs(1000);
    EXPECT_EQ(link.ReadTimed(500000, 500), 0);
    EXPECT_EQ(link.ReceivedCount(), UsbLink::kRxBufferSize);
    EXPECT_EQ(link.RxBuffer().back(), 0x5A);
}

TEST_F(TransferTest, ClosingTheLinkDuringAWaitEndsItCleanly) {
    sim::ScriptedPeer& peer = ConnectScripted();
    pump.onEvents = [&] {
        if (pump.calls == 5) link.CloseLink();
    };
    EXPECT_EQ(link.ReadTimed(8, 100), 21);

    // After the first byte a vanished handle fails the status query.
    EXPECT_EQ(link.ConnectModule(), 0);
    peer.SendAt(clock.NowNs(), Hex("01"));
    peer.SendAt(clock.NowNs() + 50 * kMs, Hex("02"));
    pump.calls = 0;
    pump.onEvents = [&] {
        if (pump.calls == 10) link.CloseLink();
    };
    EXPECT_EQ(link.ReadTimed(2, 500), 16);
}

TEST_F(TransferTest, DrainReceiveTakesWhatIsQueued) {
    sim::ScriptedPeer& peer = ConnectScripted();
    EXPECT_EQ(link.DrainReceive(), 17);
    EXPECT_EQ(link.LastReadCount(), 0U);

    peer.SendAt(clock.NowNs(), Hex("DE AD BE EF"));
    clock.AdvanceNs(3'200'000);  // three of four bytes have arrived
    EXPECT_EQ(link.DrainReceive(), 0);
    EXPECT_EQ(link.LastReadCount(), 3U);
    EXPECT_EQ(Received(4), Hex("DE AD BE 00"));
    clock.AdvanceMs(2);
    EXPECT_EQ(link.DrainReceive(), 0);
    EXPECT_EQ(Received(2), Hex("EF 00"));

    peer.SendAt(clock.NowNs(), Hex("01"));
    clock.AdvanceMs(2);
    driver.Device(0).InjectFault(sim::Op::Status, ft::IoError, 1);
    EXPECT_EQ(link.DrainReceive(), 16);
    driver.Device(0).InjectFault(sim::Op::Read, ft::IoError, 1);
    EXPECT_EQ(link.DrainReceive(), 15);
    EXPECT_EQ(link.DrainReceive(), 0);
    EXPECT_EQ(Received(1), Hex("01"));
}

TEST_F(TransferTest, WrittenBytesReachThePeerExactly) {
    sim::ScriptedPeer& peer = ConnectScripted();
    EXPECT_EQ(link.WriteBytes(Hex("01 03 00 00 00 01 84 0A")), 0);
    clock.AdvanceMs(20);
    link.DrainReceive();  // any driver call lets the wire move
    EXPECT_EQ(peer.Received(), Hex("01 03 00 00 00 01 84 0A"));

    driver.Device(0).InjectFault(sim::Op::Write, ft::IoError, 1);
    EXPECT_EQ(link.WriteBytes(Hex("01")), 19);
    link.CloseLink();
    EXPECT_EQ(link.WriteBytes(Hex("01")), 19);
}

TEST_F(TransferTest, ShortFramesCarryCountSumAndXor) {
    ConnectScripted();
    const auto& written = driver.Device(0).Written();
    EXPECT_EQ(link.SendShortFrame(Hex("01 02 03")), 0);
    EXPECT_EQ(written, Hex("03 01 02 03 06 00"));

    EXPECT_EQ(link.SendShortFrame({}), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(written.end() - 3, written.end()), Hex("00 00 00"));

    EXPECT_EQ(link.SendShortFrame(Hex("FF FF 80")), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(written.end() - 6, written.end()),
              Hex("03 FF FF 80 7E 80"));

    const std::vector<std::uint8_t> full(255, 0x01);
    EXPECT_EQ(link.SendShortFrame(full), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(written.end() - 3, written.end()), Hex("01 FF 01"));
    EXPECT_EQ(written[written.size() - 258], 0xFF);
}

TEST_F(TransferTest, LineOperationsReachThePeerAndFailAsEleven) {
    sim::ScriptedPeer& peer = ConnectScripted();
    EXPECT_EQ(link.RaiseRts(), 0);
    EXPECT_EQ(link.RaiseDtr(), 0);
    EXPECT_EQ(link.DropDtr(), 0);
    EXPECT_EQ(link.DropRts(), 0);
    ASSERT_EQ(peer.LineChanges().size(), 4U);
    EXPECT_TRUE(peer.LineChanges()[0].rts);
    EXPECT_TRUE(peer.LineChanges()[1].dtr);
    EXPECT_FALSE(peer.LineChanges()[2].dtr);
    EXPECT_TRUE(peer.LineChanges()[2].rts);
    EXPECT_FALSE(peer.LineChanges()[3].rts);

    driver.Device(0).InjectFault(sim::Op::Lines, ft::IoError, 1);
    EXPECT_EQ(link.RaiseRts(), 11);
    link.CloseLink();
    EXPECT_EQ(link.RaiseDtr(), 11);
}

TEST_F(TransferTest, SetLinkBaudChangesTheOpenDevice) {
    ConnectScripted();
    EXPECT_EQ(link.SetLinkBaud(115200), 0);
    EXPECT_EQ(driver.Device(0).Baud(), 115200U);
    driver.Device(0).InjectFault(sim::Op::Baud, ft::IoError, 1);
    EXPECT_EQ(link.SetLinkBaud(9600), 12);
    link.CloseLink();
    EXPECT_EQ(link.SetLinkBaud(9600), 12);
}

TEST_F(TransferTest, ARequestAndItsReplyTakeTheirWireTime) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.ReplyAfter(8, Hex("01 03 02 00 2A 39 9B"));
    const std::int64_t start = clock.NowNs();
    ASSERT_EQ(link.WriteBytes(Hex("01 03 00 00 00 01 84 0A")), 0);
    EXPECT_EQ(link.ReadTimed(7, 500), 0);
    EXPECT_EQ(Received(7), Hex("01 03 02 00 2A 39 9B"));
    // 15 bytes at 9600 baud, 10 bits each: 15.6 ms on the wire. The waits end when a byte
    // arrives, so the read ends with the last one.
    EXPECT_EQ(clock.NowNs() - start, 15 * driver.Device(0).ByteTimeNs());
}

TEST_F(TransferTest, DiscardingNothingCostsOneStatusQueryAndNoTime) {
    ConnectScripted();
    std::vector<std::string> traced;
    link.trace = [&](const std::string& line) { traced.push_back(line); };
    const std::size_t calls = driver.CallCount();
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(link.DiscardInput(), 0U);
    EXPECT_EQ(driver.CallCount(), calls + 1);
    EXPECT_EQ(clock.NowNs(), start);
    EXPECT_TRUE(traced.empty());
}

TEST_F(TransferTest, DiscardingWaitsForTheTailOfAnAnswerStillOnTheWire) {
    sim::ScriptedPeer& peer = ConnectScripted();
    std::vector<std::string> traced;
    link.trace = [&](const std::string& line) { traced.push_back(line); };
    // An answer of 40 bytes began 10 ms ago: ten bytes are queued, thirty are on their way.
    peer.SendAt(clock.NowNs(), std::vector<std::uint8_t>(40, 0xA5));
    clock.AdvanceNs(10'500'000);
    const std::int64_t start = clock.NowMs();
    EXPECT_EQ(link.DiscardInput(), 40U);
    // The last byte lands 41.7 ms after the first began; then 20 quiet milliseconds.
    EXPECT_GE(clock.NowMs() - start, 31 + 20);
    EXPECT_LE(clock.NowMs() - start, 31 + 20 + 3);
    ASSERT_EQ(traced.size(), 1U);
    EXPECT_EQ(traced[0], "discarded 40 byte(s) of stale input");

    // What follows is the next answer only.
    peer.SendAt(clock.NowNs(), Hex("01 02"));
    EXPECT_EQ(link.ReadTimed(2, 100), 0);
    EXPECT_EQ(Received(3), Hex("01 02 00"));
}

TEST_F(TransferTest, ANeverEndingStreamIsDiscardedForABoundedTime) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(clock.NowNs(), std::vector<std::uint8_t>(5000, 0x00));  // 5.2 s at 9600 baud
    clock.AdvanceMs(5);
    const std::int64_t start = clock.NowMs();
    const std::uint32_t dropped = link.DiscardInput();
    EXPECT_GE(clock.NowMs() - start, UsbLink::kDiscardLimitMs);
    EXPECT_LE(clock.NowMs() - start, UsbLink::kDiscardLimitMs + 2);
    EXPECT_GT(dropped, 280U);
    EXPECT_GE(pump.calls, 290U);  // the window was served while the line was drained
}

TEST_F(TransferTest, ADriverFailureEndsTheDiscardWithWhatWasThrownAway) {
    sim::ScriptedPeer& peer = ConnectScripted();
    peer.SendAt(clock.NowNs(), Hex("01 02 03"));
    clock.AdvanceMs(5);
    driver.Device(0).InjectFault(sim::Op::Status, ft::IoError, 1);
    EXPECT_EQ(link.DiscardInput(), 0U);
    EXPECT_EQ(link.DiscardInput(), 3U);
}

}  // namespace
}  // namespace nuv::test
