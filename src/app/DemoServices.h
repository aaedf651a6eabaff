#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "settings/Settings.h"

namespace strivo {

// Both stand-in services, started in this process on loopback with the demo
// accounts, for `--demo`. Nothing is read from or written to a settings file.
class DemoServices {
public:
    DemoServices();  // throws std::runtime_error when a stand-in cannot start
    ~DemoServices();
    DemoServices(const DemoServices&) = delete;
    DemoServices& operator=(const DemoServices&) = delete;

    // Hosts and ports of the stand-ins, and the demo credentials.
    const Settings& settings() const;
    // The run service's certificate, to be trusted by the client.
    const std::string& certificatePem() const;
    // The community site's home page.
    std::string siteUrl() const;
    // How many run-log entries the demo site holds.
    std::size_t siteEntryCount() const;

    // Writes a settings file in `folder` (with the certificate beside it)
    // that points a client at the stand-ins with the demo accounts, and
    // returns its path.
    std::filesystem::path WriteSettingsFile(const std::filesystem::path& folder) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace strivo
