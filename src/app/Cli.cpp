#include "app/Cli.h"

#include "app/cli/Arguments.h"
#include "app/cli/CliContext.h"
#include "app/cli/Commands.h"
#include "text/Catalog.h"

namespace strivo {
namespace {

int RunCommand(const CliOptions& options, CliEnvironment& env) {
    CliContext cli(options, env);
    if (const std::optional<int> status = cli.Load()) {
        return *status;
    }
    switch (options.command) {
        case Command::Download:
            return cli::Download(cli);
        case Command::Sync:
            return cli::Sync(cli);
        case Command::Runs:
        case Command::Stats:
            // The demo's store lives in memory: it holds what this run downloads.
            if (options.demo) {
                if (const int status = cli.Download(/*print=*/false); status != kExitDone) {
                    return status;
                }
            }
            return options.command == Command::Runs ? cli::Runs(cli) : cli::Stats(cli);
        case Command::Settle:
            return cli::Settle(cli);
        case Command::Import:
            return cli::Import(cli);
        case Command::Remove:
            return cli::Remove(cli);
        case Command::Status:
            return cli::Status(cli);
        case Command::Schedule:
            return cli::Schedule(cli);
        case Command::None:
            break;
    }
    return kExitUsage;
}

}  // namespace

int ReportOutputFailure(int status, CliEnvironment& env, const std::function<std::string()>& why) {
    env.out.flush();
    if (!env.out) {
        env.err << "strivo-cli: " << Fill(Tr("cannot write to standard output: {0}"), why())
                << "\n";
        status = status == kExitDone ? kExitFailed : status;
    }
    env.err.flush();
    return status;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    const ParsedArguments parsed = ParseArguments(args);
    const std::optional<CliOptions>& options = parsed.options;
    if (!options) {
        env.err << "strivo-cli: " << parsed.error << "\n" << Usage(parsed.command);
        if (parsed.command == Command::None) {
            env.err << Tr("Try 'strivo-cli --help' for more information.\n");
        } else {
            env.err << Fill(Tr("Try 'strivo-cli {0} --help' for more information.\n"),
                            CommandName(parsed.command));
        }
        return kExitUsage;
    }
    if (options->help) {
        env.out << CommandHelp(options->command);
        return kExitDone;
    }
    if (options->version) {
        env.out << "strivo-cli " STRIVO_VERSION "\n";
        return kExitDone;
    }
    return RunCommand(*options, env);
}

}  // namespace strivo
