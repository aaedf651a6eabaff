#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Accounts.h"
#include "FaultSet.h"

// The command line of strivo-sim.
namespace strivo::sim {

struct SimArguments {
    std::optional<int> runs;
    std::optional<std::uint64_t> seed;
    int runsPerDay = 0;  // generated runs a day; 0: one every two to five days
    bool compact = false;
    bool bare = false;
    int lists = 1;
    std::string runsFile;
    int httpsPort = 0;
    int httpPort = 0;
    int sitePort = 0;
    std::string caOut;
    std::string host;  // a further name for the run service's certificate
    std::vector<Fault> faults;
    bool help = false;
    bool transportCases = false;  // the transport suite's servers instead of the stand-ins
};

// `args` without the program name; "--name value" and "--name=value" both
// work. Throws std::invalid_argument with a message for the user.
SimArguments ParseSimArguments(const std::vector<std::string>& args);

// The demo accounts, changed by --runs-file, then by --runs and --seed
// (generated runs; 24 when only --seed or --runs-per-day is given, seed 1
// when not given).
Accounts AccountsFor(const SimArguments& arguments);

std::string SimUsage();

}  // namespace strivo::sim
