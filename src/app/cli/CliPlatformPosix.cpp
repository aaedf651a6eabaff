// CliPlatformPosix.cpp: app/cli/CliPlatform.h for a POSIX shell.
#include "app/cli/CliPlatform.h"

#include "text/Catalog.h"

namespace strivo {

std::string QuotedForShell(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string CheckTrustHint(std::string_view source) {
    return Fill(Tr("check host, https_port and cafile in [nike+] of {0}"), source);
}

}  // namespace strivo
