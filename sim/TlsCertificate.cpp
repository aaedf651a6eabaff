#include "TlsCertificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace strivo::sim {
namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("cannot make a certificate: ") + what);
    }
}

void AddExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    Check(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// Whether the certificate's ECDSA signature has an r and an s of 32 bytes each.
bool FullLengthSignature(const X509* certificate) {
    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, certificate);
    const unsigned char* der = ASN1_STRING_get0_data(signature);
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> parts(
        d2i_ECDSA_SIG(nullptr, &der, ASN1_STRING_length(signature)), ECDSA_SIG_free);
    Check(parts != nullptr, "signature");
    return BN_num_bytes(ECDSA_SIG_get0_r(parts.get())) == 32 &&
           BN_num_bytes(ECDSA_SIG_get0_s(parts.get())) == 32;
}

}  // namespace

TlsCertificate MakeSelfSignedCertificate(const CertificateOptions& options) {
    std::shared_ptr<EVP_PKEY> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    Check(key != nullptr, "key");

    std::shared_ptr<X509> certificate(X509_new(), X509_free);
    Check(certificate != nullptr, "certificate");
    X509* cert = certificate.get();
    X509_set_version(cert, 2);

    unsigned char serial[16];
    Check(RAND_bytes(serial, sizeof serial) == 1, "serial");
    serial[0] &= 0x7F;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert));
    BN_free(number);

    X509_gmtime_adj(X509_getm_notBefore(cert), static_cast<long>(options.notBefore.count()));
    X509_gmtime_adj(X509_getm_notAfter(cert), static_cast<long>(options.notAfter.count()));

    // Each certificate its own name: a store that holds several (a test
    // prefix's trusted roots) must never take one for another by its name.
    char organisation[64];
    std::snprintf(organisation, sizeof organisation, "Strivo stand-in %02x%02x%02x%02x", serial[1],
                  serial[2], serial[3], serial[4]);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(organisation), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(options.names.at(0).c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key.get());

    AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, NID_key_usage, "critical,keyCertSign,digitalSignature");
    AddExtension(cert, NID_subject_key_identifier, "hash");
    std::string altName;
    for (const std::string& name : options.names) {
        in6_addr address{};
        const bool ip = inet_pton(AF_INET, name.c_str(), &address) == 1 ||
                        inet_pton(AF_INET6, name.c_str(), &address) == 1;
        altName += (altName.empty() ? "" : ",") + std::string(ip ? "IP:" : "DNS:") + name;
    }
    AddExtension(cert, NID_subject_alt_name, altName.c_str());

    // Signed again until both halves of the signature take all 32 bytes: Wine
    // verifies an ECDSA signature from r and s as encoded, not widened to the
    // curve's size, so one in about 128 signatures fails there, for good.
    do {
        Check(X509_sign(cert, key.get(), EVP_sha256()) > 0, "signature");
    } while (!FullLengthSignature(cert));

    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    Check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);

    return TlsCertificate{certificate, key, std::string(data, static_cast<std::size_t>(size))};
}

}  // namespace strivo::sim
