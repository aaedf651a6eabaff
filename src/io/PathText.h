#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace strivo {

// A path in UTF-8, as every message, every Problem and SQLite take it.
std::string PathText(const std::filesystem::path& path);
// The path a UTF-8 text names: PathText read back.
std::filesystem::path PathFromText(std::string_view utf8);

}  // namespace strivo
