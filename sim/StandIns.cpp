#include "StandIns.h"

#include <fstream>
#include <stdexcept>

#include "text/CodePage.h"

namespace strivo::sim {

StandIns::StandIns() : StandIns(DemoAccounts()) {}

StandIns::StandIns(Accounts accounts, StandInsOptions options)
    : service(std::move(accounts.service), std::move(options.service)),
      site(std::move(accounts.site), std::move(options.site)) {}

void StandIns::Start() {
    service.Start();
    try {
        site.Start();
    } catch (...) {
        service.Stop();
        throw;
    }
}

void StandIns::Stop() {
    service.Stop();
    site.Stop();
}

void StandIns::AddFault(const Fault& fault) {
    service.AddFault(fault);
    site.AddFault(fault);
}

void StandIns::WriteCertificate(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << service.certificatePem();
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write the certificate to " + path);
    }
}

std::string StandIns::SettingsLines(const std::string& caFile, const std::string& host) const {
    // UTF-8, as a terminal shows them and Strivo reads a file saved so.
    std::string lines = "[nike+]\nuser=" + Cp936ToUtf8(service.account().user) +
                        "\npwd=" + Cp936ToUtf8(service.account().password) + "\nhost=" + host +
                        "\nhttps_port=" + std::to_string(service.httpsPort()) + "\n";
    if (!caFile.empty()) {
        lines += "cafile=" + caFile + "\n";
    }
    lines += "[kelvora]\nuser=" + Cp936ToUtf8(site.account().user) +
             "\npwd=" + Cp936ToUtf8(site.account().password) +
             "\nhost=127.0.0.1\nhttp_port=" + std::to_string(site.port()) + "\n";
    return lines;
}

Settings StandIns::ClientSettings() const {
    Settings settings;
    settings.serviceUser = service.account().user;
    settings.servicePassword = service.account().password;
    settings.siteUser = site.account().user;
    settings.sitePassword = site.account().password;
    settings.serviceHost = "127.0.0.1";
    settings.serviceHttpsPort = service.httpsPort();
    settings.siteHost = "127.0.0.1";
    settings.sitePort = site.port();
    return settings;
}

}  // namespace strivo::sim
