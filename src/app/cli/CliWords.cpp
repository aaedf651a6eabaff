#include "app/cli/CliWords.h"

#include <algorithm>
#include <cctype>

#include "app/cli/CliPlatform.h"
#include "app/cli/TerminalTable.h"
#include "io/TimeText.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {

std::string LocalDate(const std::optional<StoreTime>& at) {
    if (!at) {
        return "?";
    }
    return LocalDayText(*at);
}

std::string Ids(const std::vector<std::string>& runIds, std::size_t total) {
    // A million RunIDs, or one of 100,000 characters, would bury the line.
    constexpr std::size_t kNamed = 20;
    constexpr std::size_t kIdBytes = 40;
    std::string joined;
    for (std::size_t i = 0; i < runIds.size() && i < kNamed; ++i) {
        std::string shown = ForTerminal(runIds[i]);
        if (shown.size() > kIdBytes) {
            std::size_t cut = kIdBytes;
            while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) {
                --cut;
            }
            shown = shown.substr(0, cut) + "…";
        }
        joined += (i > 0 ? " " : "") + (shown.empty() ? std::string("\"\"") : shown);
    }
    if (const std::size_t all = std::max(total, runIds.size()); all > kNamed) {
        joined = Fill(Tr("{0} … and {1} more"), joined, all - kNamed);
    }
    return joined;
}

std::string RunLine(std::string_view start, std::string_view distance, std::string_view duration,
                    std::string_view runId, const std::string* pace) {
    // " km" in CP936 (for its width) and as shown, made again only when the
    // catalogue's word changes: a million lines would convert it a million times.
    thread_local const char* kmFrom = nullptr;
    thread_local std::string km, kmShown;
    if (const char* word = Tr("km"); word != kmFrom) {
        km = " " + Utf8ToCp936(word);
        kmShown = ForTerminal(km);
        kmFrom = word;
    }
    std::string line;
    line.reserve(start.size() + distance.size() + duration.size() + runId.size() + 64);
    const auto pad = [&line](std::size_t width, std::size_t cp936Width) {
        line.append(width > cp936Width ? width - cp936Width : 0, ' ');
        line += "  ";
    };
    // A stored start keeps its offset: "2010-03-07T06:48:38+08:00".
    AppendForTerminal(line, start);
    pad(start.size() > 19 ? 25 : 19, DisplayWidth(start));
    AppendForTerminal(line, distance);
    line += kmShown;
    pad(11, DisplayWidth(distance) + DisplayWidth(km));
    AppendForTerminal(line, duration);
    pad(14, DisplayWidth(duration));
    if (pace != nullptr) {
        AppendForTerminal(line, *pace);
        pad(10, DisplayWidth(*pace));
    }
    AppendForTerminal(line, runId);
    return line;
}

std::size_t Utf8Width(std::string_view utf8) {
    std::size_t width = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        width += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xE0 ? 2 : 1;
    }
    return width;
}

std::string ShellQuoted(std::string_view text) {
    const bool plain = !text.empty() && std::ranges::all_of(text, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("-_./:=+,@%").find(c) != std::string_view::npos;
    });
    return plain ? std::string(text) : QuotedForShell(text);
}

std::string DescribeRunProblem(const RunProblem& problem) {
    return Describe(problem.problem);
}

}  // namespace strivo
