#pragma once

#include <string>

namespace nuv::mqtt::testing {

// Certificates for a broker over TLS, made with openssl in `folder`: an authority (ca.crt,
// ca.key), a second authority that signed nothing of the broker's (other.crt), and the broker's
// certificate for 127.0.0.1 and localhost signed by the first (server.crt, server.key). False,
// with the command that failed, when openssl is missing or fails.
bool MakeTestCertificates(const std::string& folder, std::string& reason);

// The lines of a broker's configuration for a TLS listener on 127.0.0.1:`port` with the
// certificates of MakeTestCertificates in `folder`.
std::string TlsListenerConfig(const std::string& folder, int port);

}  // namespace nuv::mqtt::testing
