#include "mqtt/Topics.hpp"

#include <unistd.h>

#include <climits>
#include <cstddef>

namespace nuv::mqtt {
namespace {

// Length of the well-formed UTF-8 sequence at `text[at]`, 0 when the bytes there are not one
// (overlong forms, surrogates and code points beyond U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string TopicLevel(std::string_view name) {
    std::string level;
    for (std::size_t at = 0; at < name.size();) {
        const auto c = static_cast<unsigned char>(name[at]);
        const std::size_t length = Utf8SequenceLength(name, at);
        // U+0080..U+009F, the C1 controls, are as unwelcome in a topic as the C0 ones.
        const bool c1Control =
            length == 2 && c == 0xC2 && static_cast<unsigned char>(name[at + 1]) <= 0x9F;
        if (length == 0 || c < 0x20 || c == 0x7F || c == '+' || c == '#' || c == '/' || c1Control) {
            level += '_';
            at += length == 0 ? 1 : length;
            continue;
        }
        level.append(name.substr(at, length));
        at += length;
    }
    return level.empty() ? "_" : level;
}

std::string TopicPrefix(std::string_view site) {
    return "nuv/" + TopicLevel(site);
}

std::string BridgeTopic(const std::string& prefix) {
    return prefix + "/bridge";
}

std::string ReadingTopic(const std::string& prefix, int address) {
    return prefix + "/" + std::to_string(address) + "/reading";
}

std::string StatusTopic(const std::string& prefix, int address) {
    return prefix + "/" + std::to_string(address) + "/status";
}

std::string DefaultSite() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "nuv";
    return name;
}

std::string PlainId(std::string_view name) {
    std::string id;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        id += plain ? c : '_';
    }
    return id.empty() ? "_" : id;
}

std::string DefaultClientId(std::string_view site, long processId) {
    return "nuvctl-" + PlainId(site) + "-" + std::to_string(processId);
}

}  // namespace nuv::mqtt
