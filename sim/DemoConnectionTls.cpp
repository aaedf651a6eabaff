// ConnectToStandIns where the stand-ins listen on loopback with TLS.

#include "DemoConnection.h"

namespace strivo::sim {

void ConnectToStandIns(const StandIns& standIns, WebSessionConfig& config) {
    config.caPem = standIns.service.certificatePem();
}

}  // namespace strivo::sim
