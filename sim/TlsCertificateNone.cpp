// MakeSelfSignedCertificate for a build without OpenSSL (MinGW): no
// certificate, since no stand-in there speaks TLS on a socket.

#include "TlsCertificate.h"

namespace strivo::sim {

TlsCertificate MakeSelfSignedCertificate(const CertificateOptions&) {
    return {};
}

}  // namespace strivo::sim
