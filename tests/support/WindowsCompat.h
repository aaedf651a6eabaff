#pragma once
// Force-included into the tests cross-built for Windows: the few POSIX calls
// the shared tests make, so they compile unchanged. Tests whose checks only
// mean something on POSIX (mode bits, dropping root) are filtered out in
// tests/CMakeLists.txt.
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>

inline char* mkdtemp(char* pattern) {
    const std::size_t length = std::char_traits<char>::length(pattern);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = length - 6; i < length; ++i) {
            pattern[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        }
        if (_mkdir(pattern) == 0) {
            return pattern;
        }
    }
    return nullptr;
}
inline int chmod(const wchar_t* path, int mode) {
    return _wchmod(path, mode);
}
inline int stat(const wchar_t* path, struct stat* info) {
    return ::stat(std::filesystem::path(path).string().c_str(), info);
}
inline int geteuid() {
    return 1;
}
inline int chown(const wchar_t*, int, int) {
    return -1;
}
inline int setgid(int) {
    return -1;
}
inline int setuid(int) {
    return -1;
}
inline int setenv(const char* name, const wchar_t* value, int) {
    return _putenv_s(name, std::filesystem::path(value).string().c_str());
}
