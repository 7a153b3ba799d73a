// A bridge that connects to the broker of argv[1] with PREFIX/bridge as its will topic
// (argv[2]), says "connected" on standard output and then waits to be killed, so that a test
// sees what its broker does when a bridge dies without a word.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "mqtt/MosquittoPublisher.hpp"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::string reason;
    nuv::mqtt::PublisherOptions options;
    const auto url = nuv::mqtt::ParseBrokerUrl(argv[1], reason);
    if (!url) return 2;
    options.broker = *url;
    options.clientId = "nuv-probe-" + std::to_string(getpid());
    options.bridgeTopic = argv[2];
    auto publisher = nuv::mqtt::StartMosquittoPublisher(options, reason);
    if (!publisher || publisher->WaitForConnection(std::chrono::seconds(5)) !=
                          nuv::mqtt::ConnectionState::Connected) {
        return 1;
    }
    // "online" is acknowledged once the connection is up and the loop has run a little.
    std::puts("connected");
    std::fflush(stdout);
    for (;;) pause();
}
