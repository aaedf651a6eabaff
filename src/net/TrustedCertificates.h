#pragma once

#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace strivo {

// Certificate authorities trusted in addition to the system's store: those of a
// PEM file named in the settings and of PEM bytes in memory (the demo services).
// Loaded once per session; added to each new TLS connection's store.
class TrustedCertificates {
public:
    // Empty when the file cannot be read or either source holds anything that is
    // not a certificate, and then `why` says which and why; no sources at all
    // give an empty set.
    static std::optional<TrustedCertificates> Load(const std::string& pemFile,
                                                   const std::string& pem, std::string& why);

    bool Empty() const { return m_certificates.empty(); }
    void AddTo(X509_STORE* store) const;  // any thread

private:
    bool AddPem(const std::string& pem);

    std::vector<std::shared_ptr<X509>> m_certificates;
};

}  // namespace strivo
