// Sha256OpenSsl.cpp: text/Sha256.h from libcrypto.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>

#include "text/Sha256.h"

namespace strivo {

std::optional<Sha256Digest> Sha256(std::string_view message) {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_sha256(), nullptr) !=
            1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

std::optional<Sha256Digest> HmacSha256(std::string_view key, std::string_view message) {
    if (key.size() > INT_MAX) {
        return std::nullopt;
    }
    Sha256Digest digest{};
    unsigned int length = 0;
    // An empty key is one of no bytes, not a missing one.
    const char* keyBytes = key.empty() ? "" : key.data();
    if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(),
             &length) == nullptr ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace strivo
