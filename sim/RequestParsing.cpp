#include "RequestParsing.h"

#include <algorithm>

#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2])));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            decoded.push_back(' ');
        } else {
            decoded.push_back(c);
        }
    }
    return decoded;
}

FieldList ParseFields(std::string_view text) {
    FieldList fields;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('&', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view piece = text.substr(begin, end - begin);
        if (!piece.empty()) {
            const std::size_t equals = piece.find('=');
            if (equals == std::string_view::npos) {
                fields.emplace_back(PercentDecode(piece), std::string());
            } else {
                fields.emplace_back(PercentDecode(piece.substr(0, equals)),
                                    PercentDecode(piece.substr(equals + 1)));
            }
        }
        begin = end + 1;
    }
    return fields;
}

std::optional<std::string> FindField(const FieldList& fields, std::string_view name) {
    for (const auto& [fieldName, value] : fields) {
        if (fieldName == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> FindCookie(const HeaderList& headers, std::string_view name) {
    for (const auto& [headerName, value] : headers) {
        if (!EqualsIgnoringCase(headerName, "Cookie")) {
            continue;
        }
        std::string_view rest = value;
        while (!rest.empty()) {
            const std::size_t semicolon = rest.find(';');
            const std::string_view pair = rest.substr(0, semicolon);
            rest = semicolon == std::string_view::npos ? std::string_view()
                                                       : rest.substr(semicolon + 1);
            const std::size_t equals = pair.find('=');
            if (equals != std::string_view::npos && TrimBlanks(pair.substr(0, equals)) == name) {
                return std::string(TrimBlanks(pair.substr(equals + 1)));
            }
        }
    }
    return std::nullopt;
}

std::string HeaderValue(const HeaderList& headers, std::string_view name) {
    for (const auto& [headerName, value] : headers) {
        if (EqualsIgnoringCase(headerName, name)) {
            return value;
        }
    }
    return {};
}

bool IsFormContentType(std::string_view contentType) {
    const std::string_view mediaType = TrimBlanks(contentType.substr(0, contentType.find(';')));
    return EqualsIgnoringCase(mediaType, "application/x-www-form-urlencoded");
}

}  // namespace strivo::sim
