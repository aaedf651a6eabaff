#include "net/TrustedCertificates.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace strivo {
namespace {

using Certificates = std::vector<std::shared_ptr<X509>>;

std::shared_ptr<X509> SharedReference(X509* certificate) {
    X509_up_ref(certificate);
    return {certificate, X509_free};
}

// The system's certificates the process has read, and the store it made last.
struct ProcessTrust {
    std::mutex mutex;
    SystemCertificates readFrom;
    std::optional<Certificates> system;
    Certificates extras;  // the store's, besides the system's
    std::shared_ptr<X509_STORE> store;
};

ProcessTrust& Process() {
    // Never destroyed: a worker thread may still be shaking hands while
    // statics go away at exit.
    static ProcessTrust& trust = *new ProcessTrust;
    return trust;
}

// The certificates of the system's file, read the way libcurl reads it.
std::optional<Certificates> ReadSystemFile(const std::string& file) {
    Certificates certificates;
    if (file.empty()) {
        return certificates;
    }
    const std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> loaded(X509_STORE_new(),
                                                                         X509_STORE_free);
    if (!loaded || X509_STORE_load_file(loaded.get(), file.c_str()) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    const STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(loaded.get());
    for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
        if (X509* certificate = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i))) {
            certificates.push_back(SharedReference(certificate));
        }
    }
    return certificates;
}

bool Same(const Certificates& a, const Certificates& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return X509_cmp(x.get(), y.get()) == 0; });
}

}  // namespace

LoadedCertificates TrustedCertificates::Load(const std::string& pemFile, const std::string& pem) {
    TrustedCertificates trusted;
    if (!pemFile.empty()) {
        errno = 0;
        std::ifstream in(pemFile, std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        if (!in.is_open() || in.bad()) {
            return {std::nullopt, Problem(ProblemCode::CertificateFileUnreadable, {pemFile},
                                          errno != 0 ? std::strerror(errno) : "")};
        }
        if (!trusted.AddPem(text)) {
            return {std::nullopt, Problem(ProblemCode::CertificateFileNotPem, {pemFile})};
        }
    }
    if (!pem.empty() && !trusted.AddPem(pem)) {
        return {std::nullopt, Problem(ProblemCode::BuiltInCertificatesDamaged)};
    }
    return {std::move(trusted), {}};
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

std::shared_ptr<X509_STORE> TrustedCertificates::Store(const SystemCertificates& system) const {
    ProcessTrust& process = Process();
    std::lock_guard lock(process.mutex);
    if (!process.system || process.readFrom != system) {
        process.store.reset();
        process.readFrom = system;
        process.system = ReadSystemFile(system.file);
        if (!process.system) {
            return nullptr;  // read again next time, as libcurl would
        }
    }
    if (process.store && Same(process.extras, m_certificates)) {
        return process.store;
    }
    std::shared_ptr<X509_STORE> store(X509_STORE_new(), X509_STORE_free);
    if (!store) {
        return nullptr;
    }
    // A certificate the store holds already is not an error.
    for (const Certificates* certificates :
         {&m_certificates, static_cast<const Certificates*>(&*process.system)}) {
        for (const auto& certificate : *certificates) {
            X509_STORE_add_cert(store.get(), certificate.get());
        }
    }
    if (!system.folder.empty() && X509_STORE_load_path(store.get(), system.folder.c_str()) != 1) {
        ERR_clear_error();
        return nullptr;
    }
    // A libcurl built without a bundle or folder of its own falls back on OpenSSL's.
    if (system.file.empty() && system.folder.empty() &&
        X509_STORE_set_default_paths(store.get()) != 1) {
        ERR_clear_error();
        return nullptr;
    }
    // libcurl sets these on any store it verifies a peer with, this one too;
    // set here, its setting changes nothing in a store other threads use.
    X509_STORE_set_flags(store.get(), X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
    process.extras = m_certificates;
    process.store = store;
    return store;
}

}  // namespace strivo
