#pragma once

#include <cstddef>
#include <string>

#include "model/Result.h"

namespace strivo {

// `count` bytes from the system's cryptographic random source: getrandom(2)
// (or /dev/urandom where the kernel lacks it) on Linux, RtlGenRandom on
// Windows. Fails with RandomUnavailable rather than return weaker bytes.
// Any thread may call it.
Result<std::string> RandomBytes(std::size_t count);

}  // namespace strivo
