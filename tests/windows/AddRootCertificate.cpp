// Test helper: trusts a PEM certificate as a root in the Wine prefix's own
// store, as a Windows user would with certmgr. Never for a real machine.
// windows.h comes before every other Windows header.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: add_root_certificate CERT.pem\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string pem(std::istreambuf_iterator<char>(in), {});
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                              nullptr)) {
        std::fprintf(stderr, "not a PEM certificate: %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                         nullptr);
    if (!CertAddEncodedCertificateToSystemStoreA("ROOT", der.data(), size)) {
        std::fprintf(stderr, "cannot add to ROOT: error %lu\n", GetLastError());
        return 1;
    }
    // The machine's ROOT too: Wine's chain engine now and then misses a root
    // the user's store holds, for every process of a session.
    HCERTSTORE machine =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    const bool added = machine != nullptr &&
                       CertAddEncodedCertificateToStore(machine, X509_ASN_ENCODING, der.data(),
                                                        size, CERT_STORE_ADD_USE_EXISTING, nullptr);
    if (machine != nullptr) {
        CertCloseStore(machine, 0);
    }
    if (!added) {
        std::fprintf(stderr, "cannot add to the machine's ROOT: error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
