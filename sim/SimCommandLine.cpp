#include "SimCommandLine.h"

#include <charconv>
#include <stdexcept>

namespace strivo::sim {
namespace {

template <typename Number>
Number ReadNumber(const std::string& option, const std::string& value, Number low, Number high) {
    Number number{};
    const char* end = value.data() + value.size();
    const auto result = std::from_chars(value.data(), end, number);
    if (value.empty() || result.ec != std::errc() || result.ptr != end || number < low ||
        number > high) {
        throw std::invalid_argument(option + " needs a number from " + std::to_string(low) +
                                    " to " + std::to_string(high) + ", not \"" + value + "\"");
    }
    return number;
}

int ReadPort(const std::string& option, const std::string& value) {
    return ReadNumber(option, value, 0, 65535);
}

}  // namespace

SimArguments ParseSimArguments(const std::vector<std::string>& args) {
    SimArguments arguments;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = option.find('=');
            option.starts_with("--") && equals != std::string::npos) {
            inlineValue = option.substr(equals + 1);
            option.resize(equals);
        }
        if (option == "--help" || option == "-h") {
            arguments.help = true;
            continue;
        }
        if (option == "--compact") {
            arguments.compact = true;
            continue;
        }
        if (option == "--bare") {
            arguments.bare = true;
            continue;
        }
        if (option == "--transport-cases") {
            arguments.transportCases = true;
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw std::invalid_argument(option + " needs a value");
        }
        if (option == "--runs") {
            arguments.runs = ReadNumber(option, value, 0, 1000000);
        } else if (option == "--seed") {
            arguments.seed = ReadNumber<std::uint64_t>(option, value, 0, UINT64_MAX);
        } else if (option == "--runs-per-day") {
            arguments.runsPerDay = ReadNumber(option, value, 1, 1000000);
        } else if (option == "--lists") {
            arguments.lists = ReadNumber(option, value, 1, 1000);
        } else if (option == "--runs-file") {
            arguments.runsFile = value;
        } else if (option == "--https-port") {
            arguments.httpsPort = ReadPort(option, value);
        } else if (option == "--http-port") {
            arguments.httpPort = ReadPort(option, value);
        } else if (option == "--site-port") {
            arguments.sitePort = ReadPort(option, value);
        } else if (option == "--ca-out") {
            arguments.caOut = value;
        } else if (option == "--host") {
            arguments.host = value;
        } else if (option == "--fault") {
            arguments.faults.push_back(ParseFault(value));
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    return arguments;
}

Accounts AccountsFor(const SimArguments& arguments) {
    Accounts accounts = DemoAccounts();
    if (!arguments.runsFile.empty()) {
        accounts = LoadAccountsFile(arguments.runsFile, std::move(accounts));
    }
    if (arguments.runs || arguments.seed || arguments.runsPerDay > 0) {
        accounts.service.runs = GenerateRuns(arguments.runs.value_or(24),
                                             arguments.seed.value_or(1), arguments.runsPerDay);
    }
    return accounts;
}

std::string SimUsage() {
    return R"(Usage: strivo-sim [options]
Serves stand-ins for the Nike+ run service and the Kelvora community site on
127.0.0.1 until interrupted (Ctrl+C).

  --runs N           N generated runs instead of the demo account's 24
  --seed S           seed of the generated runs (default 1)
  --runs-per-day N   generated runs come N a day, not one every two to five days
  --runs-file FILE   accounts and runs from FILE (format in sim/README.md)
  --compact          the run list without the elements clients ignore
  --bare             the run list with each run's id and distance alone, a run a
                     line (a million runs in 56 MB)
  --lists K          the runs split into K run lists, served in turn
  --https-port P     run service (default: any free port)
  --http-port P      run service, plain: account data for old clients, inspection
  --host NAME        a further host name in the run service's certificate
                     (it names localhost, 127.0.0.1 and ::1)
  --site-port P      community site (default: any free port)
  --ca-out FILE      write the run service's certificate (PEM) to FILE
  --fault FAULT      misbehave on purpose; repeatable. FAULT is
                     PATH[,on=K][,status=N][,delay=MS][,close][,cut=M][,size=N][,redirect]
                         [,location=URL][,retry-after=V][,signin-page][,drop][,drip=MS][,endless]
                     e.g. --fault /runlogger.php,on=2,status=500
                          --fault '/runlogger.php,on=3,location=/logging.php?action=login'
                          --fault /nikeplus/v1/services/app/run_list.jsp,cut=300
                          --fault '*,delay=250'
  --transport-cases  instead, the servers of the transport suite, their ports on
                     standard output; --ca-out FILE receives their CA
  --help             this text
)";
}

}  // namespace strivo::sim
