#pragma once

#include <filesystem>
#include <string>

namespace strivo {

// A path as the UTF-8 text a Problem carries.
inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace strivo
