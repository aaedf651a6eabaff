#pragma once

#include <filesystem>
#include <string>

namespace strivo {

// A path in UTF-8, as every message, every Problem and SQLite take it.
std::string PathText(const std::filesystem::path& path);

}  // namespace strivo
