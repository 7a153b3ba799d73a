#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nuv::mqtt {

// Where the broker is: mqtt://host[:port] (port 1883 by default) or mqtts://host[:port] for TLS
// (port 8883). An IPv6 address goes in brackets: mqtt://[::1]:1883.
struct BrokerUrl {
    bool tls = false;
    std::string host;
    int port = 1883;

    // "mqtts://broker.example:8883", as it was meant.
    std::string Text() const;
};

// The URL, or none with the reason in words. Credentials in the URL are refused: they would be
// visible to every user of the computer in the process list.
std::optional<BrokerUrl> ParseBrokerUrl(std::string_view url, std::string& reason);

struct Credentials {
    std::string user;
    std::optional<std::string> password;
};

// The environment variables that may hold the credentials.
inline constexpr const char* kUserVariable = "NUV_MQTT_USER";
inline constexpr const char* kPasswordVariable = "NUV_MQTT_PASSWORD";

// A credentials file: the user name on its first line, the password on the second (the whole
// line, blanks included; a missing second line means no password). The file must be a regular
// file that no one but its owner may read or write (mode 0600 or 0400), or it is refused. None,
// with the reason in words, when the file cannot be used.
std::optional<Credentials> ReadCredentialsFile(const std::string& path, std::string& reason);

// The credentials of NUV_MQTT_USER and NUV_MQTT_PASSWORD: none when no user is set; none with a
// reason when a password is set without a user. `lookup` reads a variable (getenv by default).
using EnvironmentLookup = std::function<const char*(const char*)>;
std::optional<Credentials> CredentialsFromEnvironment(std::string& reason,
                                                      const EnvironmentLookup& lookup = {});

}  // namespace nuv::mqtt
