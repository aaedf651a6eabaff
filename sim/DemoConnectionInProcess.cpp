// ConnectToStandIns where the stand-ins cannot listen with TLS (MinGW has no
// TLS server library): the requests reach them inside the process.

#include "DemoConnection.h"
#include "InProcessTransport.h"

namespace strivo::sim {

void ConnectToStandIns(const StandIns& standIns, WebSessionConfig& config) {
    config.makeTransport = InProcessTransports(standIns);
}

}  // namespace strivo::sim
