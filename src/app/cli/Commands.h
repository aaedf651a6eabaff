#pragma once

#include "app/cli/CliContext.h"

// One function per command of strivo-cli, each one use case of jobs/: it
// gathers what the command needs, runs the job and says what came of it.
// Each returns the exit status.
namespace strivo::cli {

int Download(CliContext& cli);
int Sync(CliContext& cli);
int DryRun(CliContext& cli);
int Runs(CliContext& cli);
int Stats(CliContext& cli);
int Settle(CliContext& cli);
int Import(CliContext& cli);
// --fit=DIR of runs and download: every stored run (or those of `runIds`) as a FIT file.
int SaveFit(CliContext& cli, std::optional<std::span<const std::string>> runIds = std::nullopt);
int Remove(CliContext& cli);
int Status(CliContext& cli);
int Schedule(CliContext& cli);

}  // namespace strivo::cli
