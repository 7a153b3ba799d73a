#include "mqtt/testing/Certificates.hpp"

#include <cstdlib>
#include <fstream>

#include "mqtt/testing/LocalBroker.hpp"

namespace nuv::mqtt::testing {

bool MakeTestCertificates(const std::string& folder, std::string& reason) {
    if (FindProgram("openssl").empty()) {
        reason = "openssl makes the test's certificates, and it is not installed";
        return false;
    }
    std::ofstream(folder + "/server.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    const std::string& dir = folder;
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    for (const std::string& command : {
             "openssl req -x509" + key + " -keyout " + dir + "/ca.key -out " + dir +
                 "/ca.crt -days 2 -subj /CN=nuv-test-ca",
             "openssl req -x509" + key + " -keyout " + dir + "/other.key -out " + dir +
                 "/other.crt -days 2 -subj /CN=nuv-other-ca",
             "openssl req" + key + " -keyout " + dir + "/server.key -out " + dir +
                 "/server.csr -subj /CN=localhost",
             "openssl x509 -req -in " + dir + "/server.csr -CA " + dir + "/ca.crt -CAkey " + dir +
                 "/ca.key -CAcreateserial -out " + dir + "/server.crt -days 2 -extfile " + dir +
                 "/server.ext",
         }) {
        const std::string quiet = command + " >/dev/null 2>&1";
        if (std::system(quiet.c_str()) != 0) {
            reason = "failed: " + command;
            return false;
        }
    }
    return true;
}

std::string TlsListenerConfig(const std::string& folder, int port) {
    return "listener " + std::to_string(port) + " 127.0.0.1\ncafile " + folder +
           "/ca.crt\ncertfile " + folder + "/server.crt\nkeyfile " + folder + "/server.key\n";
}

}  // namespace nuv::mqtt::testing
