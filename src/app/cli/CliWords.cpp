#include "app/cli/CliWords.h"

#include <ctime>

#include "app/cli/TerminalTable.h"
#include "model/ProblemWords.h"

namespace strivo {

std::string LocalDate(const std::optional<StoreTime>& at) {
    if (!at) {
        return "?";
    }
    const std::time_t time = std::chrono::system_clock::to_time_t(*at);
    const std::tm* local = std::localtime(&time);
    char text[16] = "?";
    if (local) {
        std::strftime(text, sizeof text, "%Y-%m-%d", local);
    }
    return text;
}

std::string Ids(const std::vector<std::string>& runIds) {
    std::string joined;
    for (const std::string& runId : runIds) {
        joined += (joined.empty() ? "" : " ") + runId;
    }
    return ForTerminal(joined);
}

std::string RunLine(std::string_view start, std::string_view distance, std::string_view duration,
                    std::string_view runId) {
    const auto pad = [](std::string_view cp936, std::size_t width) {
        return ForTerminal(cp936) +
               std::string(width > DisplayWidth(cp936) ? width - DisplayWidth(cp936) : 0, ' ');
    };
    // A stored start keeps its offset: "2010-03-07T06:48:38+08:00".
    return pad(start, start.size() > 19 ? 25 : 19) + "  " + pad(std::string(distance) + " km", 11) +
           "  " + pad(duration, 14) + "  " + ForTerminal(runId);
}

std::size_t Utf8Width(std::string_view utf8) {
    std::size_t width = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        width += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xE0 ? 2 : 1;
    }
    return width;
}

std::string DescribeRunProblem(const RunProblem& problem) {
    return Describe(problem.problem);
}

}  // namespace strivo
