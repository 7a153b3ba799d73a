#pragma once

#include <sys/types.h>

#include <string>

namespace nuv::mqtt::testing {

// The path of an installed program (searched in PATH, then in /usr/sbin and /usr/local/sbin,
// where Debian puts mosquitto), or empty.
std::string FindProgram(const std::string& name);

// A loopback TCP port that nothing listens on just now.
int FreePort();

// A mosquitto broker of its own: its configuration, persistence and log in `folder`, its first
// listener on 127.0.0.1 at Port(). `extraConfig` is added to the configuration (more listeners,
// a password file, an ACL). Persistence is on, so that subscribers' sessions and the messages
// queued for them survive a restart.
class LocalBroker {
  public:
    LocalBroker(std::string folder, std::string extraConfig = {});
    ~LocalBroker();
    LocalBroker(const LocalBroker&) = delete;
    LocalBroker& operator=(const LocalBroker&) = delete;

    // Starts the broker and waits (5 s at most) until it takes connections; false with the
    // reason (its log) when it does not.
    bool Start(std::string& reason);
    // Stops it as a service manager would (SIGTERM), and waits for it.
    void Stop();

    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    const std::string& Folder() const { return folder_; }
    pid_t Pid() const { return pid_; }
    std::string Log() const;

  private:
    std::string folder_;
    std::string extraConfig_;
    int port_;
    pid_t pid_ = -1;
};

}  // namespace nuv::mqtt::testing
