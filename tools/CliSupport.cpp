#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "config/Configuration.hpp"
#include "core/MessageTable.hpp"
#include "core/ResultText.hpp"
#include "measure/ReadingRow.hpp"
#include "measure/Temperatures.hpp"
#include "protocol/FailureText.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli {
namespace detail {

std::optional<long> Number(const std::string& text) {
    // Every number of the command line is a count, an address or a mask: a sign ("-0", "+5")
    // is no part of one.
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
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

// What a failed exchange means, for standard error: the core's sentence, with the options
// that choose the device where they are the remedy.
std::string Describe(LinkResult code) {
    switch (code) {
        case 1:
            return "the module's answer failed its CRC check: noise or a damaged line";
        case result::NoData:
            return "no answer from the module (time-out): check the cable, the port and --address";
        case result::NoDevice:
            return "no device found: plug in the module's USB cable, or name its port with --port";
        case result::NoModuleDevice:
            return "no device described \"ORNEVA NUV\" or \"ORNEVA Terminal\": plug in the "
                   "module's cable, or name its port with --port";
        case result::LastDeviceBusy:
            return "the device is held by another program: close it (the window, another "
                   "nuvctl, a terminal program) and retry";
        default:
            return ResultSentence(code);
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
    if (code == kNothingSelected) return "no value to save";
    // The options that choose the device are the remedy where no device was found.
    if (code == result::NoDevice || code == result::NoModuleDevice ||
        code == result::LastDeviceBusy) {
        return Describe(code);
    }
    return ProgramFailureSentence(tool.link, tool.program, code);
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
