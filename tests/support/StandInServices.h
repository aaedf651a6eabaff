#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "TempFolder.h"
#include "net/WebSession.h"
#include "settings/Settings.h"
#include "sim/StandIns.h"

namespace strivo::test {

// Both stand-ins on loopback, started, and what a client in this process
// needs to reach them: settings, and a session configuration that trusts the
// run service's certificate and keeps its cookies apart from other tests'.
struct StandInServices {
    explicit StandInServices(sim::Accounts accounts = sim::DemoAccounts(),
                             sim::StandInsOptions options = {})
        : standIns(std::move(accounts), std::move(options)) {
        standIns.Start();
    }

    Settings settings() const { return standIns.ClientSettings(); }
    WebSessionConfig config() const {
        WebSessionConfig config;
        config.caPem = standIns.service.certificatePem();
        config.cookies = cookies;
        return config;
    }
    const sim::ServiceAccount& serviceAccount() const { return standIns.service.account(); }

    // Writes `settings` as a config.ini in `folder`, as a user would fill it
    // in, with the run service's certificate beside it as its cafile; an
    // empty password leaves its key out. Returns the file's path.
    std::filesystem::path WriteSettingsFile(const std::filesystem::path& folder,
                                            const Settings& settings) const {
        const auto caFile = folder / "ca.pem";
        WriteFile(caFile, standIns.service.certificatePem());
        std::string text = "[nike+]\r\nuser=" + settings.serviceUser + "\r\n";
        if (!settings.servicePassword.empty()) {
            text += "pwd=" + settings.servicePassword + "\r\n";
        }
        text += "host=" + settings.serviceHost +
                "\r\nhttps_port=" + std::to_string(settings.serviceHttpsPort) +
                "\r\ncafile=" + caFile.string() + "\r\n[kelvora]\r\nuser=" + settings.siteUser +
                "\r\n";
        if (!settings.sitePassword.empty()) {
            text += "pwd=" + settings.sitePassword + "\r\n";
        }
        text += "host=" + settings.siteHost + "\r\nhttp_port=" + std::to_string(settings.sitePort) +
                "\r\n";
        const auto path = folder / "config.ini";
        WriteFile(path, text);
        return path;
    }

    sim::StandIns standIns;
    sim::RunService& service = standIns.service;
    sim::Site& site = standIns.site;
    std::shared_ptr<CookieStore> cookies = MakeCookieStore();
};

}  // namespace strivo::test
