// ReadFit on any file a user could point the import at, whole or cut off,
// in one piece or dripping in; what it reads, FIT can hold again.
#include <algorithm>

#include "FuzzSupport.h"
#include "files/FitProtocol.h"
#include "files/FitReader.h"
#include "files/FitWriter.h"

namespace {

using strivo::ImportedRun;
using strivo::Result;
using strivo::RunFile;
using strivo::fuzz::Printable;

// One byte, then two, then three, ... : every way a window can fill.
class DripSource : public strivo::ByteSource {
public:
    explicit DripSource(std::string_view bytes) : m_rest(bytes) {}
    std::size_t Read(char* into, std::size_t room) override {
        const std::size_t n = std::min({room, m_rest.size(), 1 + m_calls++ % 7});
        std::copy_n(m_rest.data(), n, into);
        m_rest.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_rest;
    std::size_t m_calls = 0;
};

Result<RunFile> Read(std::string_view bytes) {
    strivo::MemorySource source(bytes);
    return strivo::ReadFit(source);
}

std::string Describe(const Result<RunFile>& read) {
    if (!read) {
        std::string text = "problem " + std::to_string(static_cast<int>(read.problem().code));
        for (const std::string& value : read.problem().values) {
            text += " " + value;
        }
        return text;
    }
    std::string text = "other " + std::to_string(read->otherSports);
    for (const strivo::Problem& warning : read->warnings) {
        text +=
            " warning " + std::to_string(static_cast<int>(warning.code)) + " " + warning.Value(0);
    }
    for (const ImportedRun& run : read->runs) {
        text += " | " + std::to_string(run.startUtcMs) + " " +
                (run.offsetMinutes ? std::to_string(*run.offsetMinutes) : "-") + " " +
                std::to_string(run.durationMs) + " " + std::to_string(run.distanceMetres) + " " +
                (run.calories ? std::to_string(*run.calories) : "-");
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = strivo::fuzz::AsText(data, size);
    const Result<RunFile> read = Read(bytes);
    const std::string outcome = Describe(read);
    const auto context = [&] { return outcome + "\ninput=" + Printable(bytes, 600); };

    DripSource drip(bytes);
    FUZZ_CHECK(Describe(strivo::ReadFit(drip)) == outcome, context());
    if (!read) {
        return 0;
    }

    // The CRC at the end covers everything before it, unless what ends the
    // file is bytes passed over.
    if (read->warnings.empty()) {
        FUZZ_CHECK(!Read(bytes.substr(0, size - 1)).ok(), context());
    }

    constexpr std::int64_t kFirstStartMs =
        (strivo::fit::kEpochUnixSeconds + strivo::fit::kFirstAbsoluteTime) * 1000;
    for (const ImportedRun& run : read->runs) {
        FUZZ_CHECK(
            run.startUtcMs >= kFirstStartMs && run.durationMs >= 0 && run.distanceMetres >= 0,
            context());
        FUZZ_CHECK(!run.offsetMinutes || (*run.offsetMinutes >= -720 && *run.offsetMinutes <= 840),
                   context());
        // FIT's times end in 2126: a run that ends there, in any time zone,
        // can be written back whole.
        const std::int64_t lastSecond = (run.startUtcMs + run.durationMs + 999) / 1000 -
                                        strivo::fit::kEpochUnixSeconds + 14 * 3600;
        if (lastSecond >= 0xFFFFFFFF) {
            continue;
        }
        strivo::FitActivity activity{run.startUtcMs, run.offsetMinutes.value_or(0), run.durationMs,
                                     run.distanceMetres, run.calories};
        const std::optional<std::string> file = strivo::WriteFitActivity(activity);
        FUZZ_CHECK(file.has_value(), context());
        const Result<RunFile> again = Read(file.value_or(""));
        const std::string written = Describe(again);
        FUZZ_CHECK(again.ok() && again->runs.size() == 1, context() + "\nwritten: " + written);
        const ImportedRun& back = again->runs.front();
        const bool caloriesFit = run.calories && *run.calories <= 0xFFFE;
        FUZZ_CHECK(back.startUtcMs == run.startUtcMs &&
                       back.offsetMinutes == run.offsetMinutes.value_or(0) &&
                       back.durationMs == run.durationMs &&
                       back.distanceMetres == run.distanceMetres &&
                       back.calories == (caloriesFit ? run.calories : std::nullopt),
                   context() + "\nwritten: " + written);
    }
    return 0;
}
