// RandomBytesWin.cpp: the Windows implementation of io/RandomBytes.h.
#include <windows.h>
// After windows.h, which it needs.
#include <ntsecapi.h>

#include <algorithm>
#include <string>

#include "io/RandomBytes.h"

namespace strivo {

Result<std::string> RandomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    // RtlGenRandom (advapi32's SystemFunction036) takes a ULONG length: big
    // requests go in pieces.
    constexpr std::size_t kMostAtOnce = 1u << 30;
    for (std::size_t filled = 0; filled < count;) {
        const std::size_t piece = std::min(count - filled, kMostAtOnce);
        if (!RtlGenRandom(bytes.data() + filled, static_cast<ULONG>(piece))) {
            return Problem(ProblemCode::RandomUnavailable, {},
                           "RtlGenRandom: error " + std::to_string(GetLastError()));
        }
        filled += piece;
    }
    return bytes;
}

}  // namespace strivo
