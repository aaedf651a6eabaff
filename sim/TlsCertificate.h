#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// OpenSSL's types, named without its headers: a build without OpenSSL (MinGW)
// makes no certificate, and its in-process demo needs none.
struct x509_st;
struct evp_pkey_st;

namespace strivo::sim {

// A certificate and key made in memory at start-up, so that no key file ever
// lives in the repository. The certificate is self-signed and marked as a CA,
// so a client that trusts its PEM trusts the server that presents it.
struct TlsCertificate {
    std::shared_ptr<x509_st> certificate;
    std::shared_ptr<evp_pkey_st> key;
    std::string certificatePem;
};

struct CertificateOptions {
    // The names it is for: the first is its common name, every one a subject
    // alternative name (an IP address as such).
    std::vector<std::string> names{"localhost", "127.0.0.1", "::1"};
    std::chrono::seconds notBefore = -std::chrono::hours(1);  // relative to now
    std::chrono::seconds notAfter = std::chrono::hours(24 * 30);
};

// Throws std::runtime_error when OpenSSL fails.
TlsCertificate MakeSelfSignedCertificate(const CertificateOptions& options = {});

}  // namespace strivo::sim
