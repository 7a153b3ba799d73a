#include "protocol/ModbusTransaction.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

#include "core/MessageLog.hpp"
#include "core/MessageTable.hpp"
#include "link/UsbLink.hpp"
#include "protocol/ModbusCrc.hpp"

namespace nuv {
namespace {
constexpr std::size_t kZeroedOnStart = 256;
constexpr std::uint32_t kDrainPollMs = 5;
// An exception answer (address, function | 0x80, exception code, CRC): the shortest reply that
// can be judged.
constexpr std::size_t kExceptionLength = 5;
constexpr std::uint8_t kExceptionBit = 0x80;

// What the head of the bytes gathered so far says of them.
struct Head {
    enum Kind {
        Undecided,  // too few bytes to tell
        Asked,      // the answer asked for, as far as the head tells
        Other,      // an answer to something else: an exception, another address or function
    } kind = Undecided;
    // The whole frame's length where its head gives it (an exception, a register read); 0 where
    // it does not.
    std::size_t length = 0;
};

Head ReadHead(std::span<const std::uint8_t> request, std::span<const std::uint8_t> gathered,
              const ReplyExpectation& expectation) {
    if (!expectation.header || request.size() < 2) return {Head::Asked, 0};
    if (gathered.size() < 2) return {};
    const std::uint8_t function = gathered[1];
    if ((function & kExceptionBit) != 0) return {Head::Other, kExceptionLength};
    const bool registerRead = function >= 1 && function <= 4;
    if (gathered[0] == request[0] && function == request[1]) {
        if (!expectation.byteCount) return {Head::Asked, 0};
        if (gathered.size() < 3) return {};
        if (gathered[2] == *expectation.byteCount) return {Head::Asked, 0};
        return {Head::Other, 5U + gathered[2]};
    }
    if (!registerRead) return {Head::Other, 0};
    if (gathered.size() < 3) return {};
    return {Head::Other, 5U + gathered[2]};
}

// How many bytes must be there before the reply can be judged again: the expected length, or,
// while its head is not known or where it begins an answer to something else, less.
std::size_t NextLength(std::span<const std::uint8_t> request,
                       std::span<const std::uint8_t> gathered, const ReplyExpectation& expectation,
                       std::size_t expected) {
    const Head head = ReadHead(request, gathered, expectation);
    std::size_t next = expected;
    if (head.kind == Head::Undecided) {
        next = kExceptionLength;
    } else if (head.kind == Head::Other && head.length > gathered.size()) {
        next = head.length;
    }
    return std::min(next, expected);
}

// Whether the bytes gathered so far end with the CRC of the bytes before it. The CRC is kept up
// to date as bytes come, so that a look costs what the new bytes cost.
class RunningCrc {
  public:
    bool FitsEnd(std::span<const std::uint8_t> gathered) {
        if (gathered.size() < 2) return false;
        const std::size_t length = gathered.size() - 2;
        if (length < folded_) {
            crc_ = kModbusCrcStart;
            folded_ = 0;
        }
        crc_ = ModbusCrcContinue(crc_, gathered.subspan(folded_, length - folded_));
        folded_ = length;
        return crc_.first == gathered[length] && crc_.second == gathered[length + 1];
    }

  private:
    ModbusCrcBytes crc_ = kModbusCrcStart;
    std::size_t folded_ = 0;
};

// A whole frame with a right CRC that answers something else (an exception, another module's
// or another function's answer, a register read of another size): there is no use waiting for
// more. Where the head does not give the frame's length, every length its CRC fits is one.
std::optional<ReplyCheck> AnswerToSomethingElse(std::span<const std::uint8_t> request,
                                                std::span<const std::uint8_t> gathered,
                                                const ReplyExpectation& expectation,
                                                RunningCrc& crc) {
    const Head head = ReadHead(request, gathered, expectation);
    if (head.kind != Head::Other || gathered.size() < kExceptionLength) return std::nullopt;
    if (head.length != 0 && gathered.size() != head.length) return std::nullopt;
    if (!crc.FitsEnd(gathered)) return std::nullopt;
    const ReplyCheck check = CheckReply(request, gathered, expectation);
    if (check.Ok()) return std::nullopt;
    return check;
}

}  // namespace

void ModbusClient::Reset() {
    std::fill_n(collected_.begin(), std::max(count_, kZeroedOnStart), 0);
    count_ = 0;
    lastCheck_ = {};
}

std::string HexDump(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        text += HexByte(byte);
        text += ' ';
    }
    return text;
}

ModbusClient::ModbusClient(UsbLink& link) : link_(link), collected_(kCollectionSize, 0) {}

std::uint8_t ModbusClient::Transaction(std::span<const std::uint8_t> request, std::uint16_t limitMs,
                                       std::uint16_t expected,
                                       const ReplyExpectation& expectation) {
    if (request.size() > kMaxRequest) throw std::invalid_argument("Modbus request too long");
    const UsbLink::ExchangeGuard exchange(link_, "a Modbus exchange");
    if (link_.StopRequested()) {
        count_ = 0;
        lastCheck_ = {};
        return static_cast<std::uint8_t>(result::Stopped);
    }

    MessageLog& log = link_.Log();
    Clock& clock = link_.LinkClock();

    std::array<std::uint8_t, 256> frame{};
    std::copy(request.begin(), request.end(), frame.begin());
    const ModbusCrcBytes crc = ModbusCrc(request);
    const std::size_t n = request.size();
    frame[n] = crc.first;
    frame[n + 1] = crc.second;
    const std::span<const std::uint8_t> wire(frame.data(), n + 2);
    std::fill_n(collected_.begin(), kZeroedOnStart, 0);
    count_ = 0;
    lastCheck_ = {};

    log.Clear();
    log.SetColour(colour::RequestEcho);
    log.Insert(HexDump(wire));
    log.AppendLine("");

    // Whatever waits on the link now answers no request of this exchange: a reply that came
    // after an earlier time limit, or another program's traffic.
    link_.DiscardInput();
    // The pause after the write (n + 3 ms: the request's time on the wire) is kept whether or
    // not the write went out; the wait for the answer starts at its end.
    const std::int64_t pauseNs = static_cast<std::int64_t>(n + 3) * 1'000'000;
    const LinkResult written = link_.WriteBytes(wire);
    // Counted from the write's return, so that a write that blocks takes nothing of the limit.
    const std::int64_t startNs = clock.NowNs() + pauseNs;
    if (written != result::Ok) {
        clock.SleepNs(startNs - clock.NowNs());
        log.SetColour(colour::LinkError);
        log.AppendLine("\nTransmitError: " + HexByte(result::WriteFailed));
        return static_cast<std::uint8_t>(result::WriteFailed);
    }

    // The wait ends when the expected length is there, when the limit runs out, or as soon as
    // the bytes are a whole frame that answers something else (an exception most of all): then
    // it ends as a wait that ran out, with what came.
    const std::int64_t limitNs = static_cast<std::int64_t>(limitMs) * 1'000'000;
    std::int64_t elapsedNs = 0;
    LinkResult lastDrain = result::Ok;
    ReplySchedule schedule;
    RunningCrc runningCrc;
    while (elapsedNs < limitNs && count_ < expected) {
        link_.Pump().ProcessEvents();
        if (count_ == 0) {
            // Until the first byte the wait ends early when bytes arrive. The first pass holds
            // the pause after the write as well, which bytes do not shorten: the answer cannot
            // begin before the request is out, so one wake serves both.
            const std::int64_t pauseLeftNs = std::max<std::int64_t>(0, startNs - clock.NowNs());
            link_.WaitForData(link_.SilencePauseMs(kDrainPollMs, limitNs - elapsedNs) +
                              static_cast<std::uint32_t>((pauseLeftNs + 999'999) / 1'000'000));
            if (const std::int64_t early = startNs - clock.NowNs(); early > 0) {
                clock.SleepNs(early);
            }
        } else {
            // Then it sleeps until the bytes that let the reply be judged next can have come.
            const std::size_t next = NextLength(request, Collected(), expectation, expected);
            link_.PauseForBytes(static_cast<std::uint32_t>(next - count_), schedule.DueNs(next),
                                limitNs - elapsedNs);
        }
        elapsedNs = std::max<std::int64_t>(0, clock.NowNs() - startNs);
        lastDrain = link_.DrainReceive();
        if (lastDrain == result::Ok) {
            // Never past the collection buffer; no reply that long fits in the time limits.
            const std::size_t room = collected_.size() - count_;
            const std::size_t taken = std::min<std::size_t>(link_.LastReadCount(), room);
            std::copy_n(link_.RxBuffer().begin(), taken, collected_.begin() + count_);
            if (count_ == 0 && taken > 0) {
                schedule.Start(clock.NowNs(), taken, link_.ByteTimeNs());
            } else {
                schedule.Look(clock.NowNs(), count_ + taken);
            }
            count_ += taken;
        }
        // What came is judged anew when something came.
        if (lastDrain == result::Ok && count_ < expected) {
            if (const auto other =
                    AnswerToSomethingElse(request, Collected(), expectation, runningCrc)) {
                lastCheck_ = *other;
                lastDrain = result::NoData;  // as the drains after it would have found
                break;
            }
        }
    }

    if (lastDrain != result::Ok) {
        log.SetColour(colour::ReplyDump);
        log.Insert(HexDump(Collected()));
        link_.SetLastReadCount(static_cast<std::uint32_t>(count_));
        log.SetColour(colour::LinkError);
        log.AppendLine("\nRecieveError: " + HexByte(lastDrain));
        if (expectation.header && lastCheck_.Ok()) {
            lastCheck_ = FindException(request, Collected());
        }
        link_.Pump().ProcessEvents();
        return static_cast<std::uint8_t>(lastDrain);
    }

    link_.StoreReply(Collected());
    // The CRC is checked over everything gathered but its last two bytes, whatever the length.
    if (count_ >= 2 && ModbusCrcCheck(Collected(), count_ - 2) == 0) {
        // A sound frame is the answer only when its head fits the request: a reply from another
        // address, a refusal or an answer to another request is no data for this one. It fails
        // as a reply that fails its check does.
        lastCheck_ = CheckReply(request, Collected(), expectation);
        if (lastCheck_.Ok()) return 0;
    }
    log.SetColour(colour::ReplyDump);
    log.AppendText(HexDump(Collected()));
    log.SetColour(colour::LinkError);
    log.AppendLine("\nRecieveCRC_Error: 01");
    return 1;
}

}  // namespace nuv
