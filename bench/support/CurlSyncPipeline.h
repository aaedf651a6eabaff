#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include "Shell.h"
#include "runservice/RunList.h"
#include "settings/Settings.h"
#include "site/RunLogForm.h"
#include "text/TextHelpers.h"

// A sync made by a shell script of curl commands, the yardstick of
// `strivo-cli sync --all`: the same requests to the same stand-ins (the Nike+
// sign-in, account data and run list, the Kelvora sign-in, then every post
// over one kept-alive connection). The post bodies are made beforehand by
// Strivo's own form code from the run list the service sends; only the token
// from the sign-in form is put in while the script runs. It prints each
// post's status, a line each.
namespace strivo::bench {

// Letters only: form encoding leaves them alone.
inline constexpr const char* kPipelineToken = "FORMHASHTOKEN";

// Writes the script and the post template it fills in into `folder`; returns
// the script's path.
inline std::filesystem::path WriteCurlSyncPipeline(const Settings& settings,
                                                   const std::filesystem::path& folder) {
    const std::string service = "localhost:" + std::to_string(settings.serviceHttpsPort);
    const std::string secure = "curl -s --cacert " + ShellQuoted(settings.serviceCaFile) +
                               " --resolve " + service + ":127.0.0.1 ";
    const std::string site = "http://127.0.0.1:" + std::to_string(settings.sitePort);
    const std::string signIn = "https://" + service +
                               "/nikeplus/v1/services/widget/generate_pin.jsp?login=" +
                               PercentEncode(settings.serviceUser) +
                               "&password=" + PercentEncode(settings.servicePassword);
    const std::string runListUrl = "https://" + service + "/nikeplus/v1/services/app/run_list.jsp";

    // The posts, from the run list as the service sends it.
    const std::string dir = ShellQuoted(folder.string());
    const std::string runList =
        Output(secure + "-c " + dir + "/prepare.txt " + ShellQuoted(signIn) + " -o /dev/null && " +
               secure + "-b " + dir + "/prepare.txt " + ShellQuoted(runListUrl));
    const RunList rows = ParseRunList(runList);
    {
        std::ofstream posts(folder / "posts.template");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i > 0)
                posts << "next\n";
            posts << "url = " << CurlQuoted(site + "/runlogger.php?action=deal_add") << "\n"
                  << "data-binary = "
                  << CurlQuoted(
                         BuildRunLogBody(kPipelineToken, rows[i], EncodedRunLogDescription()))
                  << "\n"
                  << "header = \"Content-Type: application/x-www-form-urlencoded\"\n"
                  << "cookie = \"site.txt\"\n"
                  << "output = \"/dev/null\"\nwrite-out = \"%{http_code}\\n\"\n";
        }
    }
    const std::string signInBody =
        BuildSignInBody(kPipelineToken, "2592000", settings.siteUser, settings.sitePassword);

    const std::filesystem::path script = folder / "sync.sh";
    std::ofstream out(script);
    out << "set -e\ncd " << dir << "\nrm -f service.txt site.txt\n"
        << secure << "-c service.txt " << ShellQuoted(signIn) << " -o /dev/null\n"
        << secure << "-b service.txt https://" << service
        << "/nikeplus/v1/services/app/get_user_data.jsp -o /dev/null\n"
        << secure << "-b service.txt " << ShellQuoted(runListUrl) << " -o runs.xml\n"
        << "curl -s -c site.txt -b site.txt " << site << "/index.php -o /dev/null\n"
        << "token=$(curl -s -c site.txt -b site.txt '" << site << "/logging.php?action=login'"
        << " | sed -n 's/.*name=\"formhash\" value=\"\\([0-9a-f]*\\)\".*/\\1/p')\n"
        << "body=" << ShellQuoted(signInBody) << "\n"
        << "curl -s -c site.txt -b site.txt '" << site
        << "/logging.php?action=login&loginsubmit=true' --data-binary \"${body/" << kPipelineToken
        << "/$token}\" -o /dev/null\n"
        << "sed \"s/" << kPipelineToken << "/$token/\" posts.template > posts.cfg\n"
        << "curl -s -K posts.cfg\n";
    return script;
}

}  // namespace strivo::bench
