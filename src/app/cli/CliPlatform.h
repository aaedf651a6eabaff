#pragma once

#include <string>
#include <string_view>

// What strivo-cli says differently on each platform: CliPlatformPosix.cpp
// and CliPlatformWin.cpp.
namespace strivo {

// `text` quoted as one word of the platform's shell; ShellQuoted leaves a
// plain word as it is and asks this for the rest.
std::string QuotedForShell(std::string_view text);

// What to look at when the run service's certificate or address was refused,
// `source` the settings file's name: where the platform keeps the authorities
// it trusts.
std::string CheckTrustHint(std::string_view source);

}  // namespace strivo
