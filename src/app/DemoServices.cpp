#include "app/DemoServices.h"

#include "sim/Accounts.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"
#include "settings/IniFile.h"
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

std::filesystem::path DemoServices::WriteSettingsFile(const std::filesystem::path& folder) const {
    const Settings& settings = m_impl->settings;
    const std::filesystem::path caFile = folder / "demo-ca.pem";
    std::ofstream(caFile) << certificatePem();
    const std::filesystem::path path = folder / "config.ini";
    const IniFile ini(path);
    ini.Write("nike+", "user", settings.serviceUser);
    ini.Write("nike+", "pwd", settings.servicePassword);
    ini.Write("nike+", "host", settings.serviceHost);
    ini.Write("nike+", "https_port", std::to_string(settings.serviceHttpsPort));
    ini.Write("nike+", "http_port", std::to_string(settings.serviceHttpPort));
    ini.Write("nike+", "cafile", caFile.string());
    ini.Write("kelvora", "user", settings.siteUser);
    ini.Write("kelvora", "pwd", settings.sitePassword);
    ini.Write("kelvora", "host", settings.siteHost);
    ini.Write("kelvora", "http_port", std::to_string(settings.siteHttpPort));
    return path;
}

}  // namespace strivo
