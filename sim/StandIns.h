#pragma once

#include <string>

#include "Accounts.h"
#include "RunService.h"
#include "Site.h"
#include "settings/Settings.h"

// Both stand-ins together, as strivo-sim, `--demo` and end-to-end tests use them:
//
//   strivo::sim::StandIns standIns;          // demo accounts, ephemeral ports
//   standIns.Start();
//   standIns.service.httpsPort(); standIns.service.httpPort();
//   standIns.site.port(); standIns.service.certificatePem();
namespace strivo::sim {

struct StandInsOptions {
    RunServiceOptions service;
    SiteOptions site;
};

struct StandIns {
    StandIns();  // the demo accounts
    explicit StandIns(Accounts accounts, StandInsOptions options = {});

    // Starts both; throws std::runtime_error (and leaves both stopped) when a
    // port cannot be bound.
    void Start();
    void Stop();

    // A fault for both stand-ins; their paths differ, so it acts where its
    // path is served. Each counts its own requests.
    void AddFault(const Fault& fault);

    // Writes the run service's certificate as PEM, the client's "cafile".
    void WriteCertificate(const std::string& path) const;

    // The config.ini lines that point the tool at the stand-ins, as they
    // are (UTF-8): [nike+] user, pwd, host, https_port, cafile; [kelvora]
    // user, pwd, host, http_port. Without a `caFile` the cafile line is left out. `host` must be a
    // name the run service's certificate holds.
    std::string SettingsLines(const std::string& caFile,
                              const std::string& host = "127.0.0.1") const;

    // The same, with the accounts' credentials, for a client in this process;
    // it must trust the service's certificate (its caPem).
    Settings ClientSettings() const;

    RunService service;
    Site site;
};

}  // namespace strivo::sim
