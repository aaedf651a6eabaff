#include "app/Translate.h"

namespace strivo {

std::string FillIn(std::string_view pattern, const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t pos = 0; pos < pattern.size(); ++pos) {
        const std::size_t index =
            pos + 2 < pattern.size() && pattern[pos] == '{' && pattern[pos + 2] == '}'
                ? static_cast<std::size_t>(pattern[pos + 1] - '0')
                : values.size();
        if (index < values.size()) {
            text += values[index];
            pos += 2;
        } else {
            text += pattern[pos];
        }
    }
    return text;
}

}  // namespace strivo
