#include "protocol/ModbusTransaction.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/MessageLog.hpp"
#include "core/MessageTable.hpp"
#include "link/UsbLink.hpp"
#include "protocol/ModbusCrc.hpp"

namespace nuv {
namespace {
constexpr std::size_t kZeroedOnStart = 256;
constexpr std::uint32_t kDrainPollMs = 5;
}  // namespace

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
    const LinkResult written = link_.WriteBytes(wire);
    clock.SleepMs(static_cast<std::uint32_t>(n + 3));  // whether or not the write went out
    if (written != result::Ok) {
        log.SetColour(colour::LinkError);
        log.AppendLine("\nTransmitError: " + HexByte(result::WriteFailed));
        return static_cast<std::uint8_t>(result::WriteFailed);
    }

    const std::int64_t start = clock.NowMs();
    std::int64_t elapsed = 0;
    LinkResult lastDrain = result::Ok;
    while (elapsed < limitMs && count_ < expected) {
        link_.Pump().ProcessEvents();
        // Until the first byte, and once the rest of the reply could come within a poll, the
        // wait ends early when bytes arrive; while more is missing than a poll can bring, waking
        // for every byte would only cost passes.
        const std::int64_t restNs =
            static_cast<std::int64_t>(expected - count_) * link_.ByteTimeNs();
        if (count_ == 0 || restNs < kDrainPollMs * 1'000'000LL) {
            link_.WaitForData(kDrainPollMs);
        } else {
            clock.SleepMs(kDrainPollMs);
        }
        elapsed = clock.NowMs() - start;
        lastDrain = link_.DrainReceive();
        if (lastDrain == result::Ok) {
            // Never past the collection buffer; no reply that long fits in the time limits.
            const std::size_t room = collected_.size() - count_;
            const std::size_t taken = std::min<std::size_t>(link_.LastReadCount(), room);
            std::copy_n(link_.RxBuffer().begin(), taken, collected_.begin() + count_);
            count_ += taken;
        }
    }

    if (lastDrain != result::Ok) {
        log.SetColour(colour::ReplyDump);
        log.Insert(HexDump(Collected()));
        link_.SetLastReadCount(static_cast<std::uint32_t>(count_));
        log.SetColour(colour::LinkError);
        log.AppendLine("\nRecieveError: " + HexByte(lastDrain));
        if (expectation.header) lastCheck_ = FindException(request, Collected());
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
