#pragma once

#include <optional>
#include <string>

namespace strivo {

// What both programs do first: no core file is written while passwords are
// in memory, an interrupted save leaves no temporary file, and a closed pipe
// fails a write instead of ending the process.
void PrepareProcess();

// Takes a variable out of the environment (child processes do not see it)
// and overwrites its bytes (/proc/self/environ does not show them).
std::optional<std::string> TakeEnvironmentVariable(const char* name);

}  // namespace strivo
