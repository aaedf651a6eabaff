#include "text/TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <utility>

namespace strivo {
namespace {

constexpr bool IsReserved(unsigned char byte) {
    constexpr std::string_view reserved = "\"<>%\\^[]`+$,@:;/!#?=&";
    return reserved.find(static_cast<char>(byte)) != std::string_view::npos;
}

void AppendHex(std::string& out, unsigned char byte, const char* digits) {
    out.push_back('%');
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int64_t ReadMilliseconds(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Counted toward the sign's own limit, so that the lowest value fits too.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::uint64_t value = 0;
    const std::uint64_t limit = negative ? std::uint64_t{kMax} + 1 : std::uint64_t{kMax};
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (negative) {
        return value == limit ? std::numeric_limits<std::int64_t>::min()
                              : -static_cast<std::int64_t>(value);
    }
    return static_cast<std::int64_t>(value);
}

std::string TextBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker) {
    const std::size_t start = text.find(startMarker);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t valueBegin = start + startMarker.size();
    if (endMarker.empty()) {
        return std::string(text.substr(valueBegin));
    }
    const std::size_t end = text.find(endMarker, valueBegin);
    if (end == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(valueBegin, end - valueBegin));
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string FormEncode(std::string_view text) {
    // The two passes (reserved characters, then everything outside 0x21..0x7A)
    // collapse into one: what the first writes always passes the second.
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            encoded.push_back('+');
        } else if (IsReserved(byte)) {
            AppendHex(encoded, byte, "0123456789abcdef");
        } else if (byte >= 0x21 && byte <= 0x7A) {
            encoded.push_back(c);
        } else {
            AppendHex(encoded, byte, "0123456789ABCDEF");
        }
    }
    return encoded;
}

std::string PercentEncode(std::string_view text) {
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved) {
            encoded.push_back(c);
        } else {
            AppendHex(encoded, byte, "0123456789ABCDEF");
        }
    }
    return encoded;
}

Duration SplitMilliseconds(std::int64_t milliseconds) {
    // Integer division truncates toward zero and % takes the dividend's sign,
    // as the duration texts of negative values expect.
    return {milliseconds / 3600000, (milliseconds % 3600000) / 60000,
            ((milliseconds % 3600000) % 60000) / 1000};
}

std::optional<double> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 64) {
        return std::nullopt;
    }
    bool point = false;
    int digits = 0, places = 0;
    std::uint64_t whole = 0;  // the digits, point left out, while they are 15 or fewer
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            whole = ++digits <= 15 ? whole * 10 + static_cast<std::uint64_t>(c - '0') : 0;
            places += point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else if (!(c == '-' && i == 0)) {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    // At most 15 digits are a whole number a double holds exactly, over a
    // power of ten it holds exactly: their quotient, rounded once, is the
    // number strtod reads, without making a string (a list's every run has one).
    if (digits <= 15) {
        constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double value = static_cast<double>(whole) / kTens[places];
        return text.front() == '-' ? -value : value;
    }
    // strtod, not from_chars: MinGW's library has no floating from_chars.
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

namespace {

// PercentEncode writes upper-case digits only.
int PercentHexValue(char c) {
    return c >= 'a' && c <= 'f' ? -1 : HexDigitValue(c);
}

bool IsPercentUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsPercentUnreserved(text[i])) {
            decoded.push_back(text[i]);
        } else if (text[i] == '%' && i + 2 < text.size() && PercentHexValue(text[i + 1]) >= 0 &&
                   PercentHexValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(PercentHexValue(text[i + 1]) * 16 +
                                                PercentHexValue(text[i + 2])));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return decoded;
}

void AppendMarkupEscaped(std::string& out, std::string_view text, bool forXml) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (!forXml || static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') {
                    out += c;
                } else if (c == '\r') {
                    out += "&#13;";
                }
        }
    }
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

namespace {

// A control at `i`, and how many bytes it takes.
std::size_t ControlAt(std::string_view text, std::size_t i, TextEncoding encoding) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
        return 1;
    }
    // U+0080..U+009F
    return encoding == TextEncoding::Utf8 && byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80
               ? 2
               : 0;
}

}  // namespace

std::string MaskControls(std::string text, TextEncoding encoding, bool keepLineEnds) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != 0x7F && byte != 0xC2) {
            continue;  // nearly every byte: nothing to look at
        }
        const std::size_t size = ControlAt(text, i, encoding);
        const bool lineEnd =
            byte == '\n' || (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if (size > 0 && !(keepLineEnds && lineEnd)) {
            text.replace(i, size, "?");
        }
    }
    return text;
}

bool HoldsControls(std::string_view text, TextEncoding encoding) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ControlAt(text, i, encoding) > 0) {
            return true;
        }
    }
    return false;
}

std::string CutText(std::string_view utf8, std::size_t characters) {
    std::size_t counted = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) {
            continue;  // within a character
        }
        if (counted++ == characters) {
            return std::string(utf8.substr(0, i)) + "…";
        }
    }
    return std::string(utf8);
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace strivo
