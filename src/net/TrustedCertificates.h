#pragma once

#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Problem.h"

namespace strivo {

// Where the system keeps its certificate authorities, as libcurl was built to
// read them: a PEM file and a folder of hashed names (either may be empty).
struct SystemCertificates {
    std::string file;
    std::string folder;
    bool operator==(const SystemCertificates&) const = default;
};

struct LoadedCertificates;

// Certificate authorities trusted in addition to the system's: those of a PEM
// file named in the settings and of PEM bytes in memory (the demo services).
class TrustedCertificates {
public:
    // None when the file cannot be read or either source holds anything that
    // is not a certificate; no sources at all give an empty set.
    static LoadedCertificates Load(const std::string& pemFile, const std::string& pem);

    // A store trusting the system's authorities and these, with the chain
    // checks libcurl sets on a store of its own. Reading the system's file
    // costs more than a handshake, so it is read once per process, and one
    // store serves every connection while the same certificates are asked for.
    // Null when the system's file or folder cannot be read. Any thread.
    std::shared_ptr<X509_STORE> Store(const SystemCertificates& system) const;

private:
    bool AddPem(const std::string& pem);

    std::vector<std::shared_ptr<X509>> m_certificates;
};

// The certificates, or why they cannot be loaded.
struct LoadedCertificates {
    std::optional<TrustedCertificates> certificates;
    Problem why;  // when there are none: which source and why
};

}  // namespace strivo
