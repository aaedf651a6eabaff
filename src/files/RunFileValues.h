#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The values run files write as text, read the same way by every format.
namespace strivo {

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
