#include "mqtt/BrokerSettings.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace nuv::mqtt {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != prefix[i]) return false;
    }
    return true;
}

bool HostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// The file's whole text, read through an open descriptor whose mode was checked.
bool ReadWhole(int fd, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > 65536) {
            errno = EFBIG;
            return false;
        }
    }
}

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::string BrokerUrl::Text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return std::string(tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

std::optional<BrokerUrl> ParseBrokerUrl(std::string_view url, std::string& reason) {
    BrokerUrl parsed;
    std::string_view rest;
    if (StartsWithNoCase(url, "mqtts://")) {
        parsed.tls = true;
        parsed.port = 8883;
        rest = url.substr(8);
    } else if (StartsWithNoCase(url, "mqtt://")) {
        rest = url.substr(7);
    } else {
        reason = "'" + std::string(url) + "' is no broker URL: mqtt://HOST[:PORT] or mqtts://...";
        return std::nullopt;
    }
    if (rest.find('@') != std::string_view::npos) {
        reason = std::string(
                     "no credentials in the broker URL: give them in a file "
                     "(--mqtt-auth FILE) or in ") +
                 kUserVariable + " and " + kPasswordVariable;
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    const std::string quoted = "'" + std::string(url) + "'";
    std::optional<std::string_view> port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            reason = quoted + ": the IPv6 address has no closing ']'";
            return std::nullopt;
        }
        parsed.host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            reason = quoted + ": only a port may follow the address";
            return std::nullopt;
        }
        if (!rest.empty()) port = rest.substr(1);
        for (const char c : parsed.host) {
            const bool address = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                                 (c >= 'A' && c <= 'F') || c == ':' || c == '.';
            if (!address) {
                reason = quoted + ": '" + parsed.host + "' is no IPv6 address";
                return std::nullopt;
            }
        }
    } else {
        const std::size_t colon = rest.find(':');
        parsed.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) port = rest.substr(colon + 1);
        for (const char c : parsed.host) {
            if (!HostCharacter(c)) {
                reason = quoted + ": a host name or an address, and a port, only";
                return std::nullopt;
            }
        }
    }
    if (parsed.host.empty()) {
        reason = quoted + " names no broker host";
        return std::nullopt;
    }
    if (port) {
        long value = 0;
        bool digits = !port->empty() && port->size() <= 5;
        for (const char c : *port) {
            digits = digits && c >= '0' && c <= '9';
            value = value * 10 + (c - '0');
        }
        if (!digits || value < 1 || value > 65535) {
            reason = quoted + ": the port is a number from 1 to 65535";
            return std::nullopt;
        }
        parsed.port = static_cast<int>(value);
    }
    return parsed;
}

std::optional<Credentials> ReadCredentialsFile(const std::string& path, std::string& reason) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string text;
    bool ok = fstat(fd, &info) == 0;
    if (!ok) {
        reason = "cannot read " + path + ": " + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        reason = path + " is not a regular file";
        ok = false;
    } else if ((info.st_mode & 077) != 0) {
        // The check is on the descriptor read below, not on the name: nothing can swap the file
        // in between.
        reason = path + " may be read or written by other users (mode " + Mode(info.st_mode) +
                 "): make it readable by its owner only (chmod 600 " + path + ")";
        ok = false;
    } else if (!ReadWhole(fd, text)) {
        reason = "cannot read " + path + ": " + std::strerror(errno);
        ok = false;
    }
    close(fd);
    if (!ok) return std::nullopt;

    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        at = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.empty() || lines.front().empty()) {
        reason = path + " names no user: its first line is the user name, its second the password";
        return std::nullopt;
    }
    if (lines.size() > 2) {
        reason = path + " holds more than two lines: the user name, then the password";
        return std::nullopt;
    }
    Credentials credentials{lines[0], std::nullopt};
    if (lines.size() == 2) credentials.password = lines[1];
    return credentials;
}

std::optional<Credentials> CredentialsFromEnvironment(std::string& reason,
                                                      const EnvironmentLookup& lookup) {
    const auto get = [&](const char* name) -> const char* {
        return lookup ? lookup(name) : std::getenv(name);
    };
    const char* user = get(kUserVariable);
    const char* password = get(kPasswordVariable);
    if (user == nullptr || *user == '\0') {
        if (password != nullptr) {
            reason =
                std::string(kPasswordVariable) + " is set, but " + kUserVariable + " names no user";
        }
        return std::nullopt;
    }
    Credentials credentials{user, std::nullopt};
    if (password != nullptr) credentials.password = password;
    return credentials;
}

}  // namespace nuv::mqtt
