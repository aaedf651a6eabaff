#pragma once

namespace strivo {

// Initialises libcurl once for the process, whichever thread comes first; true
// when it is ready. Every libcurl handle is made after this. It is never undone:
// handles such as the process's cookie store live until the process ends.
bool EnsureCurlReady();

}  // namespace strivo
