// CliPlatformWin.cpp: app/cli/CliPlatform.h for cmd.exe and PowerShell.
#include "app/cli/CliPlatform.h"

#include "text/Catalog.h"

namespace strivo {

std::string QuotedForShell(std::string_view text) {
    // cmd.exe and PowerShell both take a path in double quotes, which a path cannot hold.
    return "\"" + std::string(text) + "\"";
}

std::string CheckTrustHint(std::string_view source) {
    // Windows trusts the authorities of its certificate store alone.
    return Fill(Tr("check host and https_port in [nike+] of {0}, and that the server's "
                   "authority is in the Windows certificate store (certmgr.msc)"),
                source);
}

}  // namespace strivo
