#pragma once

// Clients for the stand-ins, built on cpp-httplib, that send what Strivo's
// workers send.

#include <httplib.h>
#include <openssl/pem.h>

#include <memory>
#include <string>
#include <string_view>

#include "sim/RunService.h"
#include "text/TextHelpers.h"

namespace strivo::sim::test {

// How the run-service worker puts its login and password into the sign-in URL:
// every byte outside A-Z a-z 0-9 - . _ ~ as "%XX".
inline std::string ClientPercentEncode(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out += {'%', hex[byte >> 4], hex[byte & 0x0F]};
        }
    }
    return out;
}

inline std::string SignInPath(std::string_view encodedLogin, std::string_view encodedPassword) {
    return "/nikeplus/v1/services/widget/generate_pin.jsp?login=" + std::string(encodedLogin) +
           "&password=" + std::string(encodedPassword);
}

// A TLS client that trusts the service's certificate and nothing else. The
// certificate names "localhost".
inline std::unique_ptr<httplib::SSLClient> TrustingClient(const RunService& service) {
    auto client = std::make_unique<httplib::SSLClient>("localhost", service.httpsPort());
    const std::string& pem = service.certificatePem();
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, certificate);
    X509_free(certificate);
    BIO_free(bio);
    client->set_ca_cert_store(store);  // the client owns the store from here
    client->enable_server_certificate_verification(true);
    client->set_url_encode(false);  // paths go out as written, like the workers send them
    return client;
}

inline httplib::Headers WithCookie(const std::string& cookie) {
    return cookie.empty() ? httplib::Headers{} : httplib::Headers{{"Cookie", cookie}};
}

// "name=value" of the answer's first Set-Cookie, or "".
inline std::string CookieFrom(const httplib::Result& result) {
    if (!result) {
        return {};
    }
    const std::string header = result->get_header_value("Set-Cookie");
    return header.substr(0, header.find(';'));
}

// Signs in with the demo credentials encoded as the worker encodes them and
// returns the session cookie ("" when refused).
inline std::string SignInToService(const RunService& service) {
    auto client = TrustingClient(service);
    return CookieFrom(client->Get(SignInPath(ClientPercentEncode(service.account().login),
                                             ClientPercentEncode(service.account().password))));
}

inline std::unique_ptr<httplib::Client> PlainClient(int port) {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", port);
    client->set_url_encode(false);
    return client;
}

// Plays the site worker's part: keeps the site's cookie and builds the bodies
// the worker builds.
class SiteVisitor {
public:
    explicit SiteVisitor(int port) : m_client("127.0.0.1", port) { m_client.set_url_encode(false); }

    httplib::Result Get(const std::string& path) {
        return Remember(m_client.Get(path, WithCookie(cookie)));
    }

    httplib::Result Post(const std::string& path, const std::string& body,
                         const std::string& contentType = "application/x-www-form-urlencoded") {
        return Remember(m_client.Post(path, WithCookie(cookie), body, contentType));
    }

    // Fetches the sign-in form; returns the formhash as the worker cuts it out.
    std::string FetchToken() {
        const auto form = Get("/logging.php?action=login");
        return form ? TextBetween(form->body, "formhash\" value=\"", "\"") : std::string();
    }

    static std::string SignInBody(const std::string& token, std::string user,
                                  std::string password) {
        return "formhash=" + token +
               "&cookietime=2592000&loginfield=username&questionid=0&username=" + FormEncode(user) +
               "&password=" + FormEncode(password) + "&answer=";
    }

    httplib::Result SignIn(const std::string& user, const std::string& password) {
        const std::string token = FetchToken();
        return Post("/logging.php?action=login&loginsubmit=true",
                    SignInBody(token, user, password));
    }

    std::string cookie;

private:
    httplib::Result Remember(httplib::Result result) {
        if (const std::string fresh = CookieFrom(result); !fresh.empty()) {
            cookie = fresh;
        }
        return result;
    }

    httplib::Client m_client;
};

}  // namespace strivo::sim::test
