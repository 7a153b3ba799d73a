#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/MessageTable.hpp"
#include "config/Configuration.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli {
namespace detail {

std::optional<long> Number(const std::string& text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

long NumberIn(const std::string& option, const std::string& text, long low, long high) {
    const auto value = Number(text);
    if (!value || *value < low || *value > high) {
        throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return *value;
}

// Shortest text that reads back as the same value.
std::string Decimal(double value) {
    const std::string text = ShortestDecimal(value);
    return text.empty() ? "null" : text;
}

std::string IsoTime(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// What a failed exchange means, for standard error.
std::string Describe(LinkResult code) {
    switch (code) {
        case 1:
            return "the module's answer failed its CRC check";
        case result::NoData:
            return "no answer from the module (time-out)";
        case result::WriteFailed:
            return "the request could not be written";
        case result::ReadFailed:
            return "reading from the device failed";
        case result::StatusFailed:
            return "the device's receive status could not be read";
        case result::BaudRateFailed:
            return "the baud rate could not be set";
        case result::LastDeviceBusy:
            return "the device is held by another program";
        case result::NoDevice:
            return "no device found";
        case result::NoModuleDevice:
            return "no device described \"ORNEVA NUV\" or \"ORNEVA Terminal\"";
        default:
            return MessageText(code);
    }
}

// Hands standard output on; false with the system's reason when that failed (a full disk, a
// closed descriptor): the command's output is lost, which makes the command fail.
bool OutputWritten(std::ostream& out, std::string& reason) {
    out.flush();
    if (out) return true;
    const auto* descriptor = dynamic_cast<const DescriptorBuffer*>(out.rdbuf());
    reason = descriptor != nullptr && descriptor->Error() != 0 ? std::strerror(descriptor->Error())
                                                               : "the stream failed";
    return false;
}

bool IsSensorResult(LinkResult code) {
    return code == SensorPresenceResult || code == SensorCrcResult || code == SensorShortResult;
}

// A program-mode failure in words.
std::string DescribeProgram(const Tool& tool, LinkResult code) {
    if (code == result::FirstByteTimeout && tool.program.LastStatus() == reply_status::Refused) {
        return "the module refused the request";
    }
    switch (code) {
        case 1:
            return "the module's answer failed its checksums";
        case result::FirstByteTimeout:
            return "no answer from the module (time-out)";
        case result::ReplyTimeout:
            return "the module's answer stopped short (time-out)";
        case kNoStatusResult:
            return "the module's answer carried no status";
        case kNothingSelected:
            return "no value to save";
        default:
            if (code < 0x100 && tool.program.LastStatus() == code) {
                return "the module answered with status " + HexByte(code);
            }
            return Describe(code);
    }
}

}  // namespace detail

DescriptorBuffer::DescriptorBuffer(int fd) : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

DescriptorBuffer::~DescriptorBuffer() {
    Drain();
}

bool DescriptorBuffer::Drain() {
    const char* next = pbase();
    while (next < pptr() && error_ == 0) {
        const ssize_t n = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        next += n;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());  // what failed is dropped
    return error_ == 0;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorBuffer::sync() {
    return Drain() ? 0 : -1;
}

}  // namespace nuv::cli
