#pragma once

#include <string>
#include <vector>

namespace strivo {

// How a program run as a child process ended.
struct ChildExit {
    int startError = 0;       // errno when it could not be started (ENOENT: not on PATH)
    int exitStatus = -1;      // its exit status, when it exited
    int signal = 0;           // the signal that ended it, if one did
    std::string errorOutput;  // what it wrote to standard error, the first 8 KiB

    bool Succeeded() const { return startError == 0 && signal == 0 && exitStatus == 0; }
};

// Runs argv[0], found on PATH, with the arguments as they are (no shell), its
// standard input and output on /dev/null, and waits for it.
ChildExit RunChild(const std::vector<std::string>& argv);

// The argv as one line for messages: words joined by spaces.
std::string CommandLine(const std::vector<std::string>& argv);

}  // namespace strivo
