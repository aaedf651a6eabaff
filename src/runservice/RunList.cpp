#include "runservice/RunList.h"

#include <algorithm>

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::string_view kRunStart = "run id=";
constexpr std::string_view kRunEnd = "</run>";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when `text` ends in "-hh:mm".
bool EndsWithNegativeOffset(std::string_view text) {
    if (text.size() < 6) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - 6);
    return tail[0] == '-' && IsDigit(tail[1]) && IsDigit(tail[2]) && tail[3] == ':' &&
           IsDigit(tail[4]) && IsDigit(tail[5]);
}

// The fixed pieces of the summary sentence, in CP936.
struct SummaryFrame {
    std::string completed = Utf8ToCp936("，您已完成 ");
    std::string kilometres = Utf8ToCp936(" KM，用时 ");
    std::string consumed = Utf8ToCp936("，消耗 ");
    std::string kilocalories = Utf8ToCp936(" 千卡。");
};

const SummaryFrame& Frame() {
    static const SummaryFrame frame;
    return frame;
}

}  // namespace

std::string TrimTimestamp(std::string_view timestamp) {
    std::string_view kept = timestamp;
    if (const std::size_t plus = kept.find('+'); plus != std::string_view::npos) {
        kept = kept.substr(0, plus);
    } else if (!kept.empty() && kept.back() == 'Z') {
        kept.remove_suffix(1);
    } else if (kept.find('T') != std::string_view::npos && EndsWithNegativeOffset(kept)) {
        kept.remove_suffix(6);
    }
    std::string trimmed(kept);
    std::replace(trimmed.begin(), trimmed.end(), 'T', ' ');
    return trimmed;
}

RunRows ParseRunList(std::string_view body) {
    RunRows::Builder rows;
    std::int64_t count = 0;
    std::size_t start = body.find(kRunStart);
    while (start != std::string_view::npos) {
        const std::size_t end = body.find(kRunEnd, start);
        if (end == std::string_view::npos) {
            break;  // cut off: no sound place to go on from
        }
        const std::string_view run = body.substr(start, end - start);
        const std::int32_t durationMs = ReadMilliseconds(TextBetween(run, "<duration>", "</"));
        const std::string cells[kRunColumnCount] = {
            std::to_string(++count),
            TrimTimestamp(TextBetween(run, "<startTime>", "</")),
            TextBetween(run, "<distance>", "</"),
            FormatDuration(durationMs),
            TextBetween(run, "<calories>", "</"),
            TrimTimestamp(TextBetween(run, "<syncTime>", "</")),
            TextBetween(run, "\"", "\" ")};
        rows.Add(
            {{cells[0], cells[1], cells[2], cells[3], cells[4], cells[5], cells[6]}, durationMs});
        start = body.find(kRunStart, end);
    }
    return rows.Finish();
}

void FillRunTable(RunTable& table, std::string_view body) {
    table.Append(ParseRunList(body));
}

std::string BuildSummary(std::string_view accountData) {
    const SummaryFrame& frame = Frame();
    // Each marker is looked up from the start of the answer, on its own.
    std::string summary(TrimBlanks(TextBetween(accountData, "[CDATA[", "]")));
    summary += frame.completed;
    summary += TextBetween(accountData, "<totalDistance>", "</");
    summary += frame.kilometres;
    summary += FormatDuration(TextBetween(accountData, "<totalDuration>", "</"));
    summary += frame.consumed;
    summary += TextBetween(accountData, "<totalCalories>", "</");
    summary += frame.kilocalories;
    return std::string(Cp936Prefix(summary, kSummaryMaxBytes));
}

}  // namespace strivo
