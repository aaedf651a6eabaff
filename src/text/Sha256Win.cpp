// Sha256Win.cpp: text/Sha256.h from BCrypt (Windows 7 and later).
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <limits>

#include "text/Sha256.h"

namespace strivo {
namespace {

// The most bytes BCrypt takes in one call.
constexpr std::size_t kMostBytes = std::numeric_limits<ULONG>::max();

// The provider is opened once; its handle serves every thread.
BCRYPT_ALG_HANDLE OpenSha256(ULONG flags) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, flags))) {
        return nullptr;
    }
    return algorithm;
}

PUCHAR Bytes(std::string_view text) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

// The digest of `message`, keyed by `key` for an HMAC provider. The hash
// object's memory is BCrypt's own (pbHashObject null, as Windows 7 allows).
std::optional<Sha256Digest> Digest(BCRYPT_ALG_HANDLE algorithm, std::string_view key,
                                   std::string_view message) {
    if (algorithm == nullptr || key.size() > kMostBytes) {
        return std::nullopt;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0,
                                         key.empty() ? nullptr : Bytes(key),
                                         static_cast<ULONG>(key.size()), 0))) {
        return std::nullopt;
    }
    bool hashed = true;
    // BCrypt takes at most 4 GiB a call.
    for (std::size_t at = 0; hashed && at < message.size(); at += kMostBytes) {
        const std::string_view part = message.substr(at, kMostBytes);
        hashed =
            BCRYPT_SUCCESS(BCryptHashData(hash, Bytes(part), static_cast<ULONG>(part.size()), 0));
    }
    Sha256Digest digest{};
    hashed = hashed && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(),
                                                       static_cast<ULONG>(digest.size()), 0));
    BCryptDestroyHash(hash);
    if (!hashed) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace

std::optional<Sha256Digest> Sha256(std::string_view message) {
    static const BCRYPT_ALG_HANDLE algorithm = OpenSha256(0);
    return Digest(algorithm, {}, message);
}

std::optional<Sha256Digest> HmacSha256(std::string_view key, std::string_view message) {
    static const BCRYPT_ALG_HANDLE algorithm = OpenSha256(BCRYPT_ALG_HANDLE_HMAC_FLAG);
    return Digest(algorithm, key, message);
}

}  // namespace strivo
