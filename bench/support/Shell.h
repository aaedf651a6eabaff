#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// What the benchmarks need to run their yardsticks (curl, sh) and sum up.
namespace strivo::bench {

// The standard output of a shell command.
inline std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return output;
}

// A value as a double-quoted string of a curl config file.
inline std::string CurlQuoted(const std::string& value) {
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A value as one word of a shell command line.
inline std::string ShellQuoted(const std::string& value) {
    std::string quoted = "'";
    for (const char c : value) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace strivo::bench
