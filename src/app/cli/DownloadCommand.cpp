#include "app/cli/Commands.h"

namespace strivo::cli {

// The summary and the run table, and the files asked for.
int Download(CliContext& cli) {
    if (const int status = cli.Download(/*print=*/true); status != kExitDone) {
        return status;
    }
    if (const int status = cli.SaveCsv(cli.table().Snapshot()); status != kExitDone) {
        return status;
    }
    if (const int status = cli.SaveTcx(); status != kExitDone) {
        return status;
    }
    return SaveFit(cli);
}

}  // namespace strivo::cli
