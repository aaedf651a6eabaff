#include "files/RunFileValues.h"

#include <charconv>
#include <cmath>
#include <numbers>

#include "text/TextHelpers.h"

namespace strivo {

std::optional<double> ParseNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double GreatCircleMetres(double latitude1, double longitude1, double latitude2, double longitude2) {
    constexpr double kEarthRadius = 6'371'008.8;
    constexpr double kRadians = std::numbers::pi / 180;
    const double sinHalfLatitude = std::sin((latitude2 - latitude1) * kRadians / 2);
    const double sinHalfLongitude = std::sin((longitude2 - longitude1) * kRadians / 2);
    const double a = sinHalfLatitude * sinHalfLatitude + std::cos(latitude1 * kRadians) *
                                                             std::cos(latitude2 * kRadians) *
                                                             sinHalfLongitude * sinHalfLongitude;
    return 2 * kEarthRadius * std::asin(std::sqrt(std::fmin(1.0, a)));
}

std::string QuotedText(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t end = limit;
    // Back to the start of the character the limit falls in.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace strivo
