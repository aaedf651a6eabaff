#include "app/DemoServices.h"

#include "settings/IniFile.h"
#include "sim/Accounts.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"
#include "text/CodePage.h"

#include <fstream>

namespace strivo {

struct DemoServices::Impl {
    sim::RunService service{sim::DemoServiceAccount()};
    sim::CommunitySite site{sim::DemoSiteAccount()};
    Settings settings;
};

DemoServices::DemoServices() : m_impl(std::make_unique<Impl>()) {
    m_impl->service.Start();
    m_impl->site.Start();

    Settings& settings = m_impl->settings;
    // The run-service login is typed in the window, so it travels as CP936.
    settings.serviceUser = Utf8ToCp936(m_impl->service.account().login);
    settings.servicePassword = Utf8ToCp936(m_impl->service.account().password);
    settings.siteUser = m_impl->site.account().user;
    settings.sitePassword = m_impl->site.account().password;
    settings.serviceHost = "127.0.0.1";
    settings.serviceHttpsPort = m_impl->service.httpsPort();
    settings.serviceHttpPort = m_impl->service.httpPort();
    settings.siteHost = "127.0.0.1";
    settings.siteHttpPort = m_impl->site.port();
}

DemoServices::~DemoServices() = default;

const Settings& DemoServices::settings() const {
    return m_impl->settings;
}

const std::string& DemoServices::certificatePem() const {
    return m_impl->service.certificatePem();
}

std::string DemoServices::siteUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_impl->site.port()) + "/index.php";
}

std::size_t DemoServices::siteEntryCount() const {
    return m_impl->site.entries().size();
}

std::filesystem::path DemoServices::WriteSettingsFile(const std::filesystem::path& folder) const {
    const Settings& settings = m_impl->settings;
    const std::filesystem::path caFile = folder / "demo-ca.pem";
    std::ofstream(caFile) << certificatePem();
    const std::filesystem::path path = folder / "config.ini";
    const std::string httpsPort = std::to_string(settings.serviceHttpsPort);
    const std::string httpPort = std::to_string(settings.serviceHttpPort);
    const std::string sitePort = std::to_string(settings.siteHttpPort);
    const std::string ca = caFile.string();
    IniFile(path).Write({{"nike+", "user", settings.serviceUser},
                         {"nike+", "pwd", settings.servicePassword},
                         {"nike+", "host", settings.serviceHost},
                         {"nike+", "https_port", httpsPort},
                         {"nike+", "http_port", httpPort},
                         {"nike+", "cafile", ca},
                         {"kelvora", "user", settings.siteUser},
                         {"kelvora", "pwd", settings.sitePassword},
                         {"kelvora", "host", settings.siteHost},
                         {"kelvora", "http_port", sitePort}});
    return path;
}

}  // namespace strivo
