#include "mqtt/Topics.hpp"

#include <unistd.h>

#include <climits>
#include <cstddef>

namespace nuv::mqtt {

std::optional<Utf8Char> DecodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t codePoint = 0;
    if (lead < 0x80) return Utf8Char{lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0FU;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07U;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return std::nullopt;
    }
    if (at + length > text.size()) return std::nullopt;
    if (byte(1) < low || byte(1) > high) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return std::nullopt;
        codePoint = (codePoint << 6U) | (byte(i) & 0x3FU);
    }
    return Utf8Char{codePoint, length};
}

std::string TopicLevel(std::string_view name) {
    std::string level;
    for (std::size_t at = 0; at < name.size();) {
        const std::optional<Utf8Char> c = DecodeUtf8(name, at);
        const std::size_t length = c ? c->length : 1;
        // What brokers refuse in a topic besides the wildcards and the separator: control
        // characters (C0 and C1) and the noncharacters (U+FDD0..U+FDEF, U+nFFFE, U+nFFFF).
        const bool refused = !c || c->codePoint < 0x20 ||
                             (c->codePoint >= 0x7F && c->codePoint <= 0x9F) ||
                             c->codePoint == '+' || c->codePoint == '#' || c->codePoint == '/' ||
                             (c->codePoint >= 0xFDD0 && c->codePoint <= 0xFDEF) ||
                             (c->codePoint & 0xFFFEU) == 0xFFFEU;
        if (refused) {
            level += '_';
        } else {
            level.append(name.substr(at, length));
        }
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
