#include "net/TrustedCertificates.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace strivo {

std::optional<TrustedCertificates> TrustedCertificates::Load(const std::string& pemFile,
                                                             const std::string& pem,
                                                             std::string& why) {
    TrustedCertificates trusted;
    if (!pemFile.empty()) {
        errno = 0;
        std::ifstream in(pemFile, std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        if (!in.is_open() || in.bad()) {
            why = "cannot read the certificate file " + pemFile + ": " +
                  (errno != 0 ? std::strerror(errno) : "read error");
            return std::nullopt;
        }
        if (!trusted.AddPem(text)) {
            why = "the certificate file " + pemFile + " holds something else than PEM certificates";
            return std::nullopt;
        }
    }
    if (!pem.empty() && !trusted.AddPem(pem)) {
        why = "the built-in certificates are damaged";
        return std::nullopt;
    }
    return trusted;
}

bool TrustedCertificates::AddPem(const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    if (!bio) {
        return false;
    }
    std::size_t added = 0;
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        m_certificates.emplace_back(certificate, X509_free);
        ++added;
    }
    // The loop ends on "no start line" at the end of the text; anything else is damage.
    const unsigned long error = ERR_peek_last_error();
    const bool clean = ERR_GET_REASON(error) == PEM_R_NO_START_LINE;
    ERR_clear_error();
    return added > 0 && clean;
}

void TrustedCertificates::AddTo(X509_STORE* store) const {
    for (const auto& certificate : m_certificates) {
        // A certificate the store holds already is not an error.
        X509_STORE_add_cert(store, certificate.get());
    }
}

}  // namespace strivo
