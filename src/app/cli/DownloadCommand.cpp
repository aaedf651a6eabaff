#include "app/cli/Commands.h"

namespace strivo::cli {

// The summary and the run table, and the files asked for.
int Download(CliContext& cli) {
    // The rows are kept only for a CSV file: a table printed as it comes
    // holds no million rows.
    if (const int status = cli.Download(/*print=*/true, nullptr, cli.options().csv.has_value());
        status != kExitDone) {
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
