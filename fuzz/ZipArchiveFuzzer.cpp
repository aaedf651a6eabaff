// Any bytes as a zip archive given to the import: walked as a folder (its
// directory counted, named, sized) and each file listed read through the
// dispatch. Properties: every file is named inside the archive, what it
// gives is sane, and no entry gives more bytes than it declares. The
// archive lies in a file of the process's own, as the import reads from disk.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "files/RunFileReader.h"
#include "files/RunFileWalk.h"
#include "files/ZipArchive.h"
#include "files/ZipEntrySource.h"
#include "io/PathText.h"

namespace {

using namespace strivo;
using strivo::fuzz::Printable;

const std::filesystem::path& ArchivePath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("strivo-fuzz-zip-" + std::to_string(::getpid()) + ".zip");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = strivo::fuzz::AsText(data, size);
    const std::filesystem::path& path = ArchivePath();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(input.data(), static_cast<std::streamsize>(size));

    const RunFilePaths found = FindRunFiles(std::span(&path, 1));
    FUZZ_CHECK(found.files.empty() || found.problems.empty(), Printable(input));
    for (const RunFilePlace& place : found.files) {
        // Not a zip archive, it stands for itself as any file given does.
        FUZZ_CHECK(place.archive ? place.Name().starts_with(PathText(path) + "/")
                                 : place.Name() == PathText(path),
                   Printable(input));
        const Result<RunFile> file = ReadRunFile(place);
        if (!file) {
            FUZZ_CHECK(file.problem().Value(0) == place.Name(), Printable(input));
            continue;
        }
        for (const ImportedRun& run : file->runs) {
            FUZZ_CHECK(std::isfinite(run.distanceMetres) && run.distanceMetres >= 0,
                       Printable(input));
            FUZZ_CHECK(run.durationMs >= 0, Printable(input));
        }
    }

    // Every entry, run file or not, within what the walk lets the reader inflate.
    Result<std::unique_ptr<ZipArchive>> archive = ZipArchive::Open(path);
    if (archive) {
        const std::uint64_t most = (*archive)->Bytes() * ZipArchive::kMostInflation;
        std::uint64_t declared = 0;
        for (const ZipEntry& entry : (*archive)->Entries()) {
            declared = std::min(declared + std::min(entry.size, most + 1), most + 1);
            if (declared > most) {
                break;
            }
            ZipEntrySource source(**archive, entry);
            std::uint64_t total = 0;
            char piece[4096];
            while (const std::size_t got = source.Read(piece, sizeof piece)) {
                total += got;
            }
            FUZZ_CHECK(total <= entry.size, Printable(input));
        }
    }
    return 0;
}
