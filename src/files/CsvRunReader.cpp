#include "files/CsvRunReader.h"

#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/RunFileValues.h"
#include "io/LocalTime.h"
#include "io/TimeText.h"
#include "model/Problem.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::size_t kPieceSize = 64 * 1024;
// A run's line is some 60 bytes; anything near this is not one.
constexpr std::size_t kLineLimit = 4096;
constexpr std::string_view kSequenceTitle = "\xD0\xF2\xBA\xC5";  // 序号
constexpr double kMostKilometres = 4.0e7;
constexpr double kMostCalories = 1.0e6;
constexpr std::int64_t kMostHours = 1'000'000;

// The apostrophe the export puts before a cell a spreadsheet would run.
std::string_view Unguarded(std::string_view cell) {
    if (cell.size() >= 2 && cell[0] == '\'' &&
        std::string_view("=+-@\t\r").find(cell[1]) != std::string_view::npos) {
        cell.remove_prefix(1);
    }
    return cell;
}

// Digits only, at most `most`.
std::optional<std::int64_t> WholeNumber(std::string_view text, std::int64_t most) {
    text = TrimBlanks(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > most) {
            return std::nullopt;
        }
    }
    return value;
}

// "<h>小时<m>分<s>秒" in milliseconds.
std::optional<std::int64_t> ParseDuration(std::string_view text) {
    text = TrimBlanks(text);
    std::int64_t seconds = 0;
    const std::pair<std::string_view, std::int64_t> parts[] = {
        {kHours, 3600}, {kMinutes, 60}, {kSeconds, 1}};
    for (const auto& [unit, size] : parts) {
        const std::size_t at = text.find(unit);
        const auto value = at == std::string_view::npos
                               ? std::nullopt
                               : WholeNumber(text.substr(0, at), kMostHours);
        if (!value) {
            return std::nullopt;
        }
        seconds += *value * size;
        text.remove_prefix(at + unit.size());
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return seconds * 1000;
}

class CsvLines {
public:
    explicit CsvLines(RunSink& sink) : m_sink(sink) {}

    RunFile file{.format = RunFileFormat::Csv};
    std::optional<Problem> problem;

    void Take(std::string_view piece) {
        for (const char c : piece) {
            if (problem) {
                return;
            }
            Step(c);
        }
    }

    void End() {
        if (!problem && m_rowBytes > 0) {
            EndRow();
        }
    }

private:
    enum class State { Unquoted, Quoted, QuoteInQuoted, AfterQuote };

    void Step(char c) {
        if (m_atStart) {
            // A UTF-8 byte-order mark: a spreadsheet saved the file as UTF-8.
            m_bom = (m_bom << 8) | static_cast<unsigned char>(c);
            if (++m_bomBytes < 3 && (m_bom == 0xEF || m_bom == 0xEFBB)) {
                return;
            }
            m_atStart = false;
            if (m_bom == 0xEFBBBF) {
                m_utf8 = true;
                return;
            }
            // Not a mark: the bytes held back are the file's own.
            const unsigned held = m_bomBytes;
            const std::uint32_t bytes = m_bom;
            for (unsigned i = held; i-- > 0;) {
                Step(static_cast<char>((bytes >> (8 * i)) & 0xFF));
            }
            return;
        }
        if (++m_rowBytes > kLineLimit) {
            problem = Problem(ProblemCode::CsvLineTooLong, {std::to_string(m_rowLine)});
            return;
        }
        if (c == '\n' && m_state != State::Quoted) {
            ++m_line;
            if (m_state == State::QuoteInQuoted) {
                m_state = State::AfterQuote;
            }
            EndRow();
            return;
        }
        if (c == '\n') {
            ++m_line;
        }
        switch (m_state) {
            case State::Quoted:
                if (c == '"') {
                    m_state = State::QuoteInQuoted;
                } else {
                    Cell().push_back(c);
                }
                return;
            case State::QuoteInQuoted:
                if (c == '"') {
                    Cell().push_back('"');
                    m_state = State::Quoted;
                    return;
                }
                m_state = State::AfterQuote;
                break;
            default:
                break;
        }
        if (c == ',') {
            ++m_cellCount;
            Cell().clear();
            m_state = State::Unquoted;
        } else if (c == '\r') {
            // Line ends are CR LF; a CR in a cell is quoted.
        } else if (c == '"' && m_state == State::Unquoted && Cell().empty()) {
            m_state = State::Quoted;
        } else {
            Cell().push_back(c);
        }
    }

    std::string& Cell() {
        if (m_cells.size() <= m_cellCount) {
            m_cells.resize(m_cellCount + 1);
        }
        return m_cells[m_cellCount];
    }

    void EndRow() {
        const std::size_t count = m_cellCount + 1;
        Cell();
        if (m_utf8) {
            for (std::size_t i = 0; i < count; ++i) {
                m_cells[i] = Utf8ToCp936(m_cells[i]);
            }
        }
        TakeRow(std::span<std::string>(m_cells.data(), count));
        for (std::size_t i = 0; i < count; ++i) {
            m_cells[i].clear();
        }
        m_cellCount = 0;
        m_rowBytes = 0;
        m_rowLine = m_line;
        m_state = State::Unquoted;
    }

    void TakeRow(std::span<std::string> cells) {
        bool blank = true;
        for (const std::string& cell : cells) {
            blank = blank && TrimBlanks(cell).empty();
        }
        if (blank) {
            return;
        }
        const bool first = !m_sawRow;
        m_sawRow = true;
        if (first && TrimBlanks(cells[0]) == kSequenceTitle) {
            return;
        }
        const std::string line = std::to_string(m_rowLine);
        if (cells.size() < 6 || cells.size() > 7) {
            problem = Problem(ProblemCode::CsvCellCount, {line, std::to_string(cells.size())});
            return;
        }
        const std::string_view start = Unguarded(cells[1]);
        const std::string_view kilometres = Unguarded(cells[2]);
        const std::string_view duration = Unguarded(cells[3]);
        const std::string_view calories = Unguarded(cells[4]);
        const auto wallTime = ParseWallTime(start);
        if (!wallTime) {
            problem = Problem(ProblemCode::CsvBadStart, {line, Quoted(start)});
            return;
        }
        const auto distance = ParseNumber(kilometres);
        if (!distance || *distance < 0 || *distance > kMostKilometres) {
            problem = Problem(ProblemCode::CsvBadValue, {line, kFieldDistance, Quoted(kilometres)});
            return;
        }
        const auto durationMs = ParseDuration(duration);
        if (!durationMs) {
            problem = Problem(ProblemCode::CsvBadValue, {line, kFieldDuration, Quoted(duration)});
            return;
        }
        std::optional<std::int64_t> energy;
        if (!TrimBlanks(calories).empty()) {
            const auto value = ParseNumber(calories);
            if (!value || *value < 0 || *value > kMostCalories) {
                problem =
                    Problem(ProblemCode::CsvBadValue, {line, kFieldCalories, Quoted(calories)});
                return;
            }
            energy = std::llround(*value);
        }
        const LocalInstant instant = FromLocalTime(*wallTime);
        if (Outcome taken = m_sink.Take(ImportedRun{.startUtcMs = instant.utcSeconds * 1000,
                                                    .offsetMinutes = instant.offsetMinutes,
                                                    .distanceMetres = *distance * 1000,
                                                    .durationMs = *durationMs,
                                                    .calories = energy});
            !taken) {
            problem = taken.problem();
        }
    }

    static std::string Quoted(std::string_view cp936) { return QuotedText(Cp936ToUtf8(cp936)); }

    RunSink& m_sink;
    std::vector<std::string> m_cells;
    std::size_t m_cellCount = 0;
    std::size_t m_rowBytes = 0;
    std::size_t m_line = 1;
    std::size_t m_rowLine = 1;
    State m_state = State::Unquoted;
    bool m_sawRow = false;
    bool m_atStart = true;
    bool m_utf8 = false;
    std::uint32_t m_bom = 0;
    unsigned m_bomBytes = 0;
};

}  // namespace

Result<RunFile> ReadCsvRuns(ByteSource& source, RunSink& sink) {
    CsvLines lines(sink);
    const auto piece = std::make_unique<char[]>(kPieceSize);
    for (;;) {
        const std::size_t got = source.Read(piece.get(), kPieceSize);
        if (got == 0) {
            break;
        }
        lines.Take(std::string_view(piece.get(), got));
        if (lines.problem) {
            return *lines.problem;
        }
    }
    lines.End();
    if (lines.problem) {
        return *lines.problem;
    }
    return std::move(lines.file);
}

Result<RunFile> ReadCsvRuns(ByteSource& source) {
    RunCollector collector;
    return collector.Into(ReadCsvRuns(source, collector));
}

}  // namespace strivo
