#pragma once

#include "net/WebSession.h"
#include "model/Progress.h"

namespace strivo {

// Why a request, or the opening of a session, that is not ok failed, as the
// user is told. Shared by both workers (the site's links this library for it).
FailureCause FailureOf(const HttpResult& result);

}  // namespace strivo
