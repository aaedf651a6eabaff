#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// What every fuzz target shares: a property check that libFuzzer records as a
// crash, and the splitting of one input into several.
namespace strivo::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Bytes as C escapes, so a failed property can be read in the fuzzer's log.
inline std::string Printable(std::string_view bytes, std::size_t limit = 200) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out.push_back(static_cast<char>(byte));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        }
    }
    if (bytes.size() > limit) {
        out += "...";
    }
    return out;
}

// abort() makes libFuzzer keep the input as a crash artifact.
[[noreturn]] inline void Fail(const char* file, int line, const char* property,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n%s\n", file, line, property, detail.c_str());
    std::abort();
}

// The first `parts - 1` pieces end at a `separator`; the last piece is the rest
// of the input and may hold the separator too. Missing pieces are empty.
inline std::vector<std::string_view> Split(std::string_view input, char separator,
                                           std::size_t parts) {
    std::vector<std::string_view> pieces;
    while (pieces.size() + 1 < parts) {
        const std::size_t end = input.find(separator);
        if (end == std::string_view::npos) {
            break;
        }
        pieces.push_back(input.substr(0, end));
        input.remove_prefix(end + 1);
    }
    pieces.push_back(input);
    pieces.resize(parts);
    return pieces;
}

}  // namespace strivo::fuzz

#define FUZZ_CHECK(condition, detail)                                       \
    do {                                                                    \
        if (!(condition)) {                                                 \
            ::strivo::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
        }                                                                   \
    } while (false)
