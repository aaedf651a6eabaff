#include "app/cli/CliProgress.h"
#include "app/cli/Commands.h"
#include "jobs/FitExport.h"
#include "text/Catalog.h"

namespace strivo::cli {

// Every stored run (or those of `runIds`) as a FIT file in the folder --fit
// names, where asked; a run left out is named, and fails the command.
int SaveFit(CliContext& cli, std::optional<std::span<const std::string>> runIds) {
    const CliOptions& options = cli.options();
    if (!options.fit) {
        return kExitDone;
    }
    CliProgress progress(cli.env().err, cli.env().stderrIsTerminal, options.quiet);
    const Result<jobs::FitExported> fit =
        jobs::ExportFit(cli.where(), *options.fit, progress, runIds);
    progress.Clear();
    if (!fit) {
        return cli.StoreFailure(fit.problem(), N_("{0}; nothing more was written"));
    }
    cli.NameProblems(fit->problems);
    if (!options.quiet) {
        const auto count = static_cast<unsigned long>(fit->files);
        cli.env().err << Fill(TrN("Saved {0} FIT file to {1}", "Saved {0} FIT files to {1}", count),
                              fit->files, Utf8Path(*options.fit))
                      << "\n";
    }
    return fit->leftOut > 0 ? kExitFailed : kExitDone;
}

}  // namespace strivo::cli
