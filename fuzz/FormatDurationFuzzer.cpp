// FormatDuration on any text. The answer always has the form
// "<h>小时<m>分<s>秒" and agrees with strtoll.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

#include "FuzzSupport.h"
#include "io/TimeText.h"

namespace {

using strivo::fuzz::Printable;

constexpr std::string_view kHours = "\xD0\xA1\xCA\xB1";  // 小时
constexpr std::string_view kMinutes = "\xB7\xD6";        // 分
constexpr std::string_view kSeconds = "\xC3\xEB";        // 秒

// A decimal number as std::to_string writes it, followed by `unit`; advances `text`.
std::optional<std::int64_t> TakeNumber(std::string_view& text, std::string_view unit) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    const std::size_t digitsBegin = pos;
    std::int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - digitsBegin < 14) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    const std::size_t digits = pos - digitsBegin;
    if (digits == 0 || (digits > 1 && text[digitsBegin] == '0') || (negative && value == 0)) {
        return std::nullopt;
    }
    if (text.substr(pos, unit.size()) != unit) {
        return std::nullopt;
    }
    text.remove_prefix(pos + unit.size());
    return negative ? -value : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = strivo::fuzz::AsText(data, size);
    const std::string formatted = strivo::FormatDuration(input);
    const auto context = [&] {
        return "input=" + Printable(input) + " formatted=" + Printable(formatted);
    };

    std::string_view rest = formatted;
    const auto hours = TakeNumber(rest, kHours);
    const auto minutes = TakeNumber(rest, kMinutes);
    const auto seconds = TakeNumber(rest, kSeconds);
    FUZZ_CHECK(hours && minutes && seconds && rest.empty(), context());

    // The reference: the C library's reading (a zero byte ends the text for it
    // as any other non-digit does), clamped to 64 bits as strtoll clamps.
    const std::string terminated(input);
    const std::int64_t value = std::strtoll(terminated.c_str(), nullptr, 10);

    FUZZ_CHECK(*hours == value / 3600000, context());
    FUZZ_CHECK(*minutes == value % 3600000 / 60000, context());
    FUZZ_CHECK(*seconds == value % 60000 / 1000, context());
    FUZZ_CHECK(*minutes > -60 && *minutes < 60 && *seconds > -60 && *seconds < 60, context());
    FUZZ_CHECK(value - (*hours * 3600000 + *minutes * 60000 + *seconds * 1000) > -1000 &&
                   value - (*hours * 3600000 + *minutes * 60000 + *seconds * 1000) < 1000,
               context());
    return 0;
}
