#include "runservice/RequestFailure.h"

namespace strivo {

namespace {

Failure KindOf(TransferError error) {
    switch (error) {
        case TransferError::None:
            return Failure::None;
        case TransferError::Cancelled:
            return Failure::Cancelled;
        case TransferError::TimedOut:
        case TransferError::ConnectTimeout:
            return Failure::TimedOut;
        case TransferError::TooLarge:
            return Failure::TooLarge;
        case TransferError::Status:
            return Failure::ServerError;
        case TransferError::ConnectionRefused:
        case TransferError::CannotConnect:
        case TransferError::UnknownHost:
            return Failure::CannotConnect;
        case TransferError::TooManyRedirects:
        case TransferError::RedirectRefused:
            return Failure::Redirects;
        case TransferError::Untrusted:
            return Failure::Untrusted;
        case TransferError::WrongHost:
            return Failure::WrongHost;
        case TransferError::Tls:
            return Failure::Tls;
        case TransferError::ConnectionLost:
            return Failure::ConnectionLost;
        case TransferError::BadUrl:
            return Failure::BadAddress;
        case TransferError::CertificateFile:
            return Failure::CertificateFile;
        case TransferError::OutOfMemory:
            return Failure::OutOfMemory;
        case TransferError::NoSession:
        case TransferError::Other:
            break;
    }
    return Failure::Other;
}

}  // namespace

FailureCause FailureOf(const HttpResult& result) {
    return {KindOf(result.error), result.reason,
            result.error == TransferError::Status ? result.status : 0};
}

}  // namespace strivo
