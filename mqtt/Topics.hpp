#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nuv::mqtt {

// The topics of one bridge: PREFIX/bridge ("online" or "offline", retained), and per module
// PREFIX/ADDRESS/reading and PREFIX/ADDRESS/status, with PREFIX = "nuv/" + the site's name.

// One character of UTF-8 text.
struct Utf8Char {
    char32_t codePoint = 0;
    std::size_t length = 0;  // in bytes
};
// The well-formed UTF-8 sequence at `text[at]`; none when the bytes there are not one (an
// overlong form, a surrogate, beyond U+10FFFF, cut short).
std::optional<Utf8Char> DecodeUtf8(std::string_view text, std::size_t at);

// A name as one topic level: the characters a topic level cannot hold (the wildcards + and #,
// the level separator /, NUL), other control characters, noncharacters and each byte that is not
// UTF-8 become "_"; other UTF-8 text stays as it is ("Łódź" is a good site name). An empty name
// gives "_".
std::string TopicLevel(std::string_view name);

// "nuv/" + the site's name as a topic level.
std::string TopicPrefix(std::string_view site);

std::string BridgeTopic(const std::string& prefix);
std::string ReadingTopic(const std::string& prefix, int address);
std::string StatusTopic(const std::string& prefix, int address);

// The site's name when none is given: this computer's host name ("nuv" when it has none).
std::string DefaultSite();

// A name as an identifier of the characters A-Z a-z 0-9 _ - only (others become "_"): Home
// Assistant's object ids, and the client id.
std::string PlainId(std::string_view name);

// The client id of a bridge: "nuvctl-SITE-PID"; unique on a broker as long as two bridges do not
// share a site's name and a process id.
std::string DefaultClientId(std::string_view site, long processId);

}  // namespace nuv::mqtt
