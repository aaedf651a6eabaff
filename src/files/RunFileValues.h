#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The values run files write as text, read the same way by every format.
namespace strivo {

// An XML dateTime ("2024-03-10T06:59:58Z", "...58.250+08:00") as milliseconds
// since 1970 UTC: the instant counts, the offset only places it. A time
// without a zone is UTC, as GPX and TCX say. Blanks around it are allowed.
std::optional<std::int64_t> ParseXmlTime(std::string_view text);

// A wall-clock time "YYYY-MM-DD hh:mm:ss", or as a spreadsheet saves it again
// ("YYYY/M/D h:mm", seconds optional), counted as if it were UTC, in seconds.
std::optional<std::int64_t> ParseWallTime(std::string_view text);

// A finite decimal number ("12.5", "-3", "1e3", "+0.25"); blanks around it allowed.
std::optional<double> ParseNumber(std::string_view text);

// The great-circle distance in metres between two points given in degrees,
// by the haversine formula on a sphere of the Earth's mean radius
// (6,371,008.8 m, the IUGG's R1): within 0.5% of the ellipsoid's distance.
double GreatCircleMetres(double latitude1, double longitude1, double latitude2, double longitude2);

// At most `limit` bytes of UTF-8 `text`, cut before a character that would
// not fit whole: the text a Problem quotes.
std::string QuotedText(std::string_view text, std::size_t limit = 64);

}  // namespace strivo
