#include "firmware/IntelHex.hpp"

#include <algorithm>
#include <optional>

#include "core/MessageTable.hpp"

namespace nuv {
namespace {

std::optional<unsigned> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    return line;
}

std::string Address(std::size_t address) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool leading = true;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const auto digit = static_cast<unsigned>(address >> static_cast<unsigned>(shift)) & 0xFU;
        if (leading && digit == 0 && shift > 12) continue;  // at least four digits
        leading = false;
        text.push_back(kDigits[digit]);
    }
    return text;
}

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegment = 0x02,
    kStartSegment = 0x03,
    kExtendedLinear = 0x04,
    kStartLinear = 0x05,
};

}  // namespace

bool LooksLikeIntelHex(std::string_view content) {
    // A raw image of the module starts with its vector table (a jump, 0C 94 or similar), never
    // with ':'; a file that does is a HEX text, and when it is a spoilt one, the reader's word
    // on it is worth more than writing it as an image.
    const auto first = std::find_if_not(content.begin(), content.end(),
                                        [](char c) { return IsBlank(c) || c == '\n'; });
    return first != content.end() && *first == ':';
}

bool ReadIntelHex(std::string_view text, std::size_t capacity, IntelHexImage& image,
                  std::string& error) {
    image = IntelHexImage{};
    std::vector<bool> written;
    std::size_t base = 0;
    bool ended = false;
    std::size_t lineNumber = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };

    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        if (ended) return fail("text after the end-of-file record");
        if (line.front() != ':') return fail("a record must begin with ':'");

        const std::string_view digits = line.substr(1);
        if (digits.size() % 2 != 0 || digits.size() < 10) {
            return fail("not a whole record (an even count of at least 10 hex digits)");
        }
        std::vector<std::uint8_t> record;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            const auto high = HexDigit(digits[i]);
            const auto low = HexDigit(digits[i + 1]);
            if (!high || !low) return fail("'" + std::string(digits.substr(i, 2)) + "' is not hex");
            record.push_back(static_cast<std::uint8_t>(*high << 4U | *low));
        }
        const std::size_t length = record[0];
        if (record.size() != length + 5) {
            return fail("the record announces " + std::to_string(length) +
                        " data bytes but holds " + std::to_string(record.size() - 5));
        }
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < record.size(); ++i) sum += record[i];
        const auto expected = static_cast<std::uint8_t>((0x100U - (sum & 0xFFU)) & 0xFFU);
        if (record.back() != expected) {
            return fail("checksum " + HexByte(record.back()) + " is wrong (the record needs " +
                        HexByte(expected) + ")");
        }

        const auto offset = static_cast<std::size_t>(record[1] << 8U | record[2]);
        const std::uint8_t type = record[3];
        const auto* data = record.data() + 4;
        switch (type) {
            case kData: {
                if (length == 0) break;
                const std::size_t first = base + offset;
                const std::size_t last = first + length - 1;
                if (last >= capacity) {
                    return fail("data at " + Address(first) + ".." + Address(last) +
                                " lies beyond the page buffer of " + std::to_string(capacity) +
                                " bytes");
                }
                if (image.bytes.size() <= last) {
                    image.bytes.resize(last + 1, 0xFF);
                    written.resize(last + 1, false);
                }
                for (std::size_t i = 0; i < length; ++i) {
                    const std::size_t at = first + i;
                    if (written[at] && image.bytes[at] != data[i]) {
                        return fail("data at " + Address(at) +
                                    " overwrites an earlier record with another value");
                    }
                    image.bytes[at] = data[i];
                    written[at] = true;
                }
                ++image.records;
                break;
            }
            case kEndOfFile:
                if (length != 0) return fail("the end-of-file record carries data");
                ended = true;
                break;
            case kExtendedSegment:
            case kExtendedLinear: {
                if (length != 2) return fail("an address record carries 2 data bytes");
                const auto value = static_cast<std::size_t>(data[0] << 8U | data[1]);
                base = type == kExtendedSegment ? value << 4U : value << 16U;
                break;
            }
            case kStartSegment:
            case kStartLinear:
                if (length != 4) return fail("a start address record carries 4 data bytes");
                break;
            default:
                return fail("unknown record type " + HexByte(type));
        }
    }
    if (!ended) {
        error = "no end-of-file record (:00000001FF): the file is cut short";
        return false;
    }
    if (image.records == 0 || image.bytes.empty()) {
        error = "no data records";
        return false;
    }
    return true;
}

}  // namespace nuv
