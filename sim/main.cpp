// strivo-sim: the two stand-in services on 127.0.0.1, until SIGINT or SIGTERM.

#include <pthread.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "SimCommandLine.h"
#include "StandIns.h"
#include "TransportCases.h"
#include "text/CodePage.h"

namespace {

using strivo::sim::StandIns;

void PrintSummary(const StandIns& standIns, const std::string& caFile, const std::string& host) {
    const auto& service = standIns.service;
    const auto& site = standIns.site;
    const std::string siteUrl = "http://127.0.0.1:" + std::to_string(site.port());
    const std::string inspectUrl = "http://127.0.0.1:" + std::to_string(service.httpPort());
    std::cout << "strivo-sim is serving on 127.0.0.1 (Ctrl+C stops it).\n\n"
              << "Run service (Nike+)\n"
              << "  https port " << service.httpsPort() << "   sign-in, account data, run list\n"
              << "  http port  " << service.httpPort() << "   inspection\n"
              << "  login      " << strivo::Cp936ToUtf8(service.account().user) << "\n"
              << "  password   " << strivo::Cp936ToUtf8(service.account().password) << "\n"
              << "  name       " << service.account().screenName << ", "
              << service.account().runs.size() << " runs\n"
              << "  inspect    " << inspectUrl
              << "/__sim/requests, /__sim/sessions, /__sim/account\n\n"
              << "Community site (Kelvora)\n"
              << "  http port  " << site.port() << "   " << siteUrl << "/index.php\n"
              << "  user       " << strivo::Cp936ToUtf8(site.account().user) << "\n"
              << "  password   " << strivo::Cp936ToUtf8(site.account().password) << "\n"
              << "  run log    " << siteUrl << "/runlogger.php\n"
              << "  inspect    " << siteUrl
              << "/__sim/entries, /__sim/requests, /__sim/sessions\n\n"
              << "Settings for config.ini:\n"
              << standIns.SettingsLines(caFile, host);
    if (caFile.empty()) {
        std::cout << "; the tool needs the certificate as cafile: start with --ca-out FILE\n";
    }
    std::cout << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace strivo::sim;
    SimArguments arguments;
    Accounts accounts;
    try {
        arguments = ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (arguments.help) {
            std::cout << SimUsage();
            return 0;
        }
        if (arguments.transportCases && arguments.caOut.empty()) {
            throw std::invalid_argument("--transport-cases needs --ca-out FILE");
        }
        accounts = AccountsFor(arguments);
    } catch (const std::exception& error) {
        std::cerr << "strivo-sim: " << error.what() << "\n\n" << SimUsage();
        return 2;
    }

    if (arguments.transportCases) {
        try {
            ServeTransportCases(arguments.caOut, std::cout);
        } catch (const std::exception& error) {
            std::cerr << "strivo-sim: " << error.what() << "\n";
            return 1;
        }
    }

    // Blocked before any server thread exists, so every thread inherits the
    // mask and only sigwait below receives the two signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    StandInsOptions options;
    options.service.httpsPort = arguments.httpsPort;
    options.service.httpPort = arguments.httpPort;
    if (!arguments.host.empty()) {
        options.service.certificateNames.push_back(arguments.host);
    }
    options.service.inspection = true;
    options.service.runListForm = arguments.bare      ? RunListForm::Bare
                                  : arguments.compact ? RunListForm::Compact
                                                      : RunListForm::Full;
    options.service.runLists = arguments.lists;
    options.service.faults = arguments.faults;
    options.site.port = arguments.sitePort;
    options.site.inspection = true;
    options.site.faults = arguments.faults;

    try {
        StandIns standIns(std::move(accounts), std::move(options));
        standIns.Start();
        std::string caFile;
        if (!arguments.caOut.empty()) {
            caFile = std::filesystem::absolute(arguments.caOut).string();
            standIns.WriteCertificate(caFile);
        }
        PrintSummary(standIns, caFile, arguments.host.empty() ? "127.0.0.1" : arguments.host);

        int received = 0;
        sigwait(&stopSignals, &received);
        std::cout << "\nstrivo-sim: stopping.\n";
        standIns.Stop();
    } catch (const std::exception& error) {
        std::cerr << "strivo-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
