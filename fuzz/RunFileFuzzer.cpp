// A run file of any bytes through the dispatch (recognised, inflated when
// gzip, read), and straight through the GPX and TCX readers. Properties:
// nothing a reader gives is negative or not finite, and a document reads the
// same plain and through gzip. The name the file is checked against comes
// from the input's last byte, so most inputs reach a reader.
#include <zlib.h>

#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "files/GpxReader.h"
#include "files/GzipSource.h"
#include "files/RunFileReader.h"
#include "files/TcxReader.h"

namespace {

using namespace strivo;
using strivo::fuzz::Printable;

void CheckRuns(const Result<RunFile>& file, std::string_view input) {
    if (!file) {
        return;
    }
    FUZZ_CHECK(file->otherSports >= 0, Printable(input));
    for (const ImportedRun& run : file->runs) {
        FUZZ_CHECK(std::isfinite(run.distanceMetres) && run.distanceMetres >= 0, Printable(input));
        FUZZ_CHECK(run.durationMs >= 0, Printable(input));
        FUZZ_CHECK(!run.calories || *run.calories >= 0, Printable(input));
    }
}

bool Same(const Result<RunFile>& a, const Result<RunFile>& b) {
    if (a.ok() != b.ok()) {
        return false;
    }
    if (!a.ok()) {
        return a.problem().code == b.problem().code && a.problem().values == b.problem().values;
    }
    if (a->runs.size() != b->runs.size() || a->otherSports != b->otherSports) {
        return false;
    }
    for (std::size_t i = 0; i < a->runs.size(); ++i) {
        const ImportedRun &x = a->runs[i], &y = b->runs[i];
        if (x.startUtcMs != y.startUtcMs || x.durationMs != y.durationMs ||
            x.distanceMetres != y.distanceMetres || x.calories != y.calories) {
            return false;
        }
    }
    return true;
}

std::string Gzip(std::string_view bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = strivo::fuzz::AsText(data, size);
    static const char* const kNames[] = {"fuzzed", "fuzzed.gpx", "fuzzed.tcx", "fuzzed.csv"};
    const char* name = kNames[size == 0 ? 0 : data[size - 1] % 4];
    const bool gzip = input.starts_with("\x1F\x8B");
    const std::string gzName = std::string(name) + (gzip && name[6] != '\0' ? ".gz" : "");

    MemorySource whole(input);
    CheckRuns(ReadRunFile(whole, gzName), input);

    using WholeFileReader = Result<RunFile> (*)(ByteSource&);
    for (const WholeFileReader reader : {WholeFileReader{&ReadGpx}, WholeFileReader{&ReadTcx}}) {
        MemorySource plain(input);
        const Result<RunFile> read = reader(plain);
        CheckRuns(read, input);
        if (size <= 64 * 1024) {
            const std::string compressed = Gzip(input);
            MemorySource source(compressed);
            GzipSource inflated(source);
            const Result<RunFile> throughGzip = reader(inflated);
            FUZZ_CHECK(inflated.Status(), Printable(input));
            FUZZ_CHECK(Same(read, throughGzip), Printable(input));
        }
    }
    return 0;
}
