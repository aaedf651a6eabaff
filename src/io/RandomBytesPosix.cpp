// RandomBytesPosix.cpp: the Linux implementation of io/RandomBytes.h.
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "io/RandomBytes.h"

namespace strivo {
namespace {

Problem Unavailable(const char* what, int error) {
    return Problem(ProblemCode::RandomUnavailable, {},
                   std::string(what) + ": " + std::strerror(error));
}

// For kernels older than 3.17 (ENOSYS) and sandboxes that forbid the call.
Result<std::string> FromDevice(std::string bytes, std::size_t filled) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Unavailable("/dev/urandom", errno);
    }
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            const int error = got < 0 ? errno : EIO;
            ::close(fd);
            return Unavailable("/dev/urandom", error);
        }
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return bytes;
}

}  // namespace

Result<std::string> RandomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    std::size_t filled = 0;
    // getrandom returns at most 32 MiB at a time, and may stop short when a
    // signal arrives after the first 256 bytes.
    while (filled < count) {
        const ssize_t got = ::getrandom(bytes.data() + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ENOSYS || errno == EPERM) {
                return FromDevice(std::move(bytes), filled);
            }
            return Unavailable("getrandom", errno);
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace strivo
