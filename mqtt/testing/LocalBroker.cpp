#include "mqtt/testing/LocalBroker.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace nuv::mqtt::testing {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = Loopback(port);
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    std::string folders = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    folders += ":/usr/sbin:/usr/local/sbin";
    std::stringstream list(folders);
    for (std::string folder; std::getline(list, folder, ':');) {
        if (folder.empty()) continue;
        const std::string path = folder + "/" + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) close(fd);
    return port;
}

LocalBroker::LocalBroker(std::string folder, std::string extraConfig)
    : folder_(std::move(folder)), extraConfig_(std::move(extraConfig)), port_(FreePort()) {
    std::filesystem::create_directories(folder_);
}

LocalBroker::~LocalBroker() {
    Stop();
}

std::string LocalBroker::Log() const {
    std::ifstream log(folder_ + "/mosquitto.log");
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
}

bool LocalBroker::Start(std::string& reason) {
    if (pid_ > 0) return true;
    const std::string program = FindProgram("mosquitto");
    if (program.empty()) {
        reason = "mosquitto is not installed";
        return false;
    }
    const std::string config = folder_ + "/mosquitto.conf";
    {
        std::ofstream out(config);
        out << "listener " << port_ << " 127.0.0.1\n"
            << "allow_anonymous true\n"
            << "persistence true\n"
            << "persistence_location " << folder_ << "/\n"
            << "log_dest file " << folder_ << "/mosquitto.log\n"
            << "log_type all\n";
        // Run as root (a container), mosquitto would become the user "mosquitto", who may not
        // write into this folder.
        if (getuid() == 0) out << "user root\n";
        out << extraConfig_;
    }
    pid_ = fork();
    if (pid_ == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        const int err =
            open((folder_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(err, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            std::ifstream err(folder_ + "/stderr.txt");
            std::stringstream text;
            text << err.rdbuf();
            reason = "mosquitto ended at once: " + text.str() + Log();
            return false;
        }
        if (Accepts(port_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reason = "mosquitto does not take connections on port " + std::to_string(port_) + ": " + Log();
    Stop();
    return false;
}

void LocalBroker::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace nuv::mqtt::testing
