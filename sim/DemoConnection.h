#pragma once

#include "StandIns.h"
#include "net/Transfer.h"

namespace strivo::sim {

// Points a client's sessions at the started stand-ins, as --demo does: where
// they listen with TLS, by trusting their certificate for these sessions
// only; where they cannot (Windows), through the in-process transport. No
// certificate store is touched either way. The stand-ins outlive the sessions.
void ConnectToStandIns(const StandIns& standIns, WebSessionConfig& config);

}  // namespace strivo::sim
