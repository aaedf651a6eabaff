#include "net/TransferErrorWinInet.h"

namespace strivo {

TransferError ErrorFor(DWORD error, bool connected) {
    switch (error) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return TransferError::UnknownHost;
        case ERROR_INTERNET_CANNOT_CONNECT:
            return TransferError::ConnectionRefused;
        case ERROR_INTERNET_TIMEOUT:
            return connected ? TransferError::TimedOut : TransferError::ConnectTimeout;
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        case ERROR_INTERNET_FORCE_RETRY:
            return TransferError::ConnectionLost;
        // The chain, its dates or its revocation: no trusted authority vouches.
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return TransferError::Untrusted;
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return TransferError::WrongHost;
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            return TransferError::Tls;
        case ERROR_INTERNET_INVALID_URL:
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return TransferError::BadUrl;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return TransferError::OutOfMemory;
        default:
            return TransferError::Other;
    }
}

std::string DetailFor(DWORD error) {
    const char* text = "";
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
            text = ": certificate authority not trusted";
            break;
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            text = ": certificate expired or not yet valid";
            break;
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            text = ": certificate name does not match the host";
            break;
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            text = ": certificate revoked";
            break;
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
            text = ": revocation not checked";
            break;
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_INVALID_CERT:
            text = ": certificate invalid";
            break;
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            text = ": secure channel error";
            break;
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            text = ": client certificate required";
            break;
        case ERROR_INTERNET_TIMEOUT:
            text = ": timed out";
            break;
        default:
            break;
    }
    return "WinINet " + std::to_string(error) + text;
}

}  // namespace strivo
