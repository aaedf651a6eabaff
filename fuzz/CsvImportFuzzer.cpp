// Strivo's CSV read back. Any bytes: what is read is never negative or not
// finite. And a row the export writes reads back as the run it was made from,
// whatever bytes stand in the cells the import passes over (quotes, commas,
// line breaks, apostrophes). Input: the sync cell, then, after a NUL, the
// bytes the row's values are made from.
#include <cmath>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "export/CsvExport.h"
#include "files/CsvRunReader.h"
#include "io/LocalTime.h"
#include "io/RunText.h"
#include "text/TextHelpers.h"

namespace {

using namespace strivo;
using strivo::fuzz::Printable;

// A value from four bytes of the input, as far as there are any.
std::uint32_t Take(std::string_view& bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4 && !bytes.empty(); ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes.front());
        bytes.remove_prefix(1);
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = strivo::fuzz::AsText(data, size);
    {
        MemorySource source(input);
        const Result<RunFile> file = ReadCsvRuns(source);
        if (file) {
            for (const ImportedRun& run : file->runs) {
                FUZZ_CHECK(std::isfinite(run.distanceMetres) && run.distanceMetres >= 0,
                           Printable(input));
                FUZZ_CHECK(run.durationMs >= 0, Printable(input));
                FUZZ_CHECK(!run.calories || *run.calories >= 0, Printable(input));
            }
        }
    }

    const auto parts = strivo::fuzz::Split(input, '\0', 2);
    std::string_view sync = parts[0].substr(0, 1000);
    std::string_view values = parts[1];
    const std::uint32_t day = Take(values) % (366 * 200);  // from 1970 to 2170
    const std::uint32_t second = Take(values) % 86400;
    const std::uint32_t metres = Take(values);
    const std::int32_t durationMs = static_cast<std::int32_t>(Take(values) & 0x7FFFFFFF);
    const std::uint32_t calories = Take(values) % 100000;

    const std::int64_t wall = std::int64_t{day} * 86400 + second;
    const std::time_t at = static_cast<std::time_t>(wall);
    std::tm fields{};
    ::gmtime_r(&at, &fields);
    char start[32];
    std::strftime(start, sizeof start, "%Y-%m-%d %H:%M:%S", &fields);
    const std::string kilometres =
        std::to_string(metres / 1000) + "." + std::to_string(1000 + metres % 1000).substr(1);
    const std::string caloriesText = std::to_string(calories);
    const RunList rows = {
        ServiceRun("1", {start, kilometres, std::to_string(durationMs), caloriesText, sync})};
    std::ostringstream exported;
    WriteCsv(exported, rows);
    const std::string csv = exported.str();
    MemorySource source(csv);
    const Result<RunFile> file = ReadCsvRuns(source);
    FUZZ_CHECK(file, Printable(csv));
    FUZZ_CHECK(file->runs.size() == 1, Printable(csv));
    const ImportedRun& run = file->runs[0];
    const LocalInstant instant = FromLocalTime(wall);
    FUZZ_CHECK(run.startUtcMs == instant.utcSeconds * 1000, Printable(csv));
    FUZZ_CHECK(std::llround(run.distanceMetres) == metres, Printable(csv));
    FUZZ_CHECK(run.durationMs == durationMs / 1000 * 1000, Printable(csv));
    FUZZ_CHECK(run.calories == calories, Printable(csv));
    return 0;
}
