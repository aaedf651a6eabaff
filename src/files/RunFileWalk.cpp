#include "files/RunFileWalk.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <system_error>

#include "files/FileSource.h"
#include "files/RunFileReader.h"
#include "files/RunFileRecogniser.h"
#include "files/ZipEntrySource.h"
#include "io/FileIdentity.h"
#include "io/PathText.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

namespace fs = std::filesystem;

const char* KindKey(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return kKindFolder;
        case fs::file_type::fifo:
            return kKindFifo;
        case fs::file_type::block:
        case fs::file_type::character:
            return kKindDevice;
        case fs::file_type::socket:
            return kKindSocket;
        default:
            return kKindOther;
    }
}

bool IsZipName(const fs::path& path) {
    return LowerAscii(PathText(path.extension())) == ".zip";
}

// A file given whatever its name, as a downloaded export may have none.
bool StartsAsZip(const fs::path& path) {
    FileSource source(path);
    char magic[4] = {};
    const std::string_view start(magic, source.Read(magic, sizeof magic));
    // A local file header, or the end record of an empty archive.
    return start == "PK\x03\x04" || start == "PK\x05\x06";
}

// What an archive's listed files declare in all, for the words (held at
// the largest number when beyond it).
std::string DeclaredBytes(const std::vector<ZipEntry>& entries) {
    std::uint64_t sum = 0;
    for (const ZipEntry& entry : entries) {
        sum = entry.size > UINT64_MAX - sum ? UINT64_MAX : sum + entry.size;
    }
    return std::to_string(sum);
}

// An entry's name as a path, for its ending: only ever looked at.
fs::path EntryPath(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

// The order a folder's files take: a name's folders before the names that
// go on past them, as walking them would give.
bool FolderOrder(const ZipEntry& a, const ZipEntry& b) {
    const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [&](char x, char y) { return key(x) < key(y); });
}

// A CSV file in an archive is read when it starts as Strivo's export does;
// an export's own index (activities.csv) is passed over. One that cannot be
// read is listed, so that the reader names it.
bool IsStrivoCsv(ZipArchive& archive, const ZipEntry& entry) {
    ZipEntrySource source(archive, entry);
    const Result<RunFileKind> kind = RecogniseRunFile(ReadHead(source), {});
    return !source.Status() || (kind && kind->format == RunFileFormat::Csv);
}

class Walk {
public:
    RunFilePaths found;

    // A path given, or an entry of a folder (`inFolder`).
    void Visit(const fs::path& path, bool inFolder) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (status.type() == fs::file_type::not_found) {
            const bool link = fs::is_symlink(fs::symlink_status(path, error));
            found.problems.push_back(Problem(
                link ? ProblemCode::FileCannotFollow : ProblemCode::FileMissing, {PathText(path)}));
            return;
        }
        if (error) {
            found.problems.push_back(
                Problem(ProblemCode::FileCannotRead, {PathText(path)}, error.message()));
            return;
        }
        if (status.type() == fs::file_type::directory) {
            return EnterFolder(path);
        }
        if (inFolder && !KindOfName(path) && !IsZipName(path)) {
            ++found.passedOver;
            return;
        }
        if (status.type() != fs::file_type::regular) {
            found.problems.push_back(
                Problem(ProblemCode::FileNotRegular, {PathText(path), KindKey(status.type())}));
            return;
        }
        if (inFolder ? IsZipName(path) : StartsAsZip(path)) {
            return EnterArchive(path);
        }
        found.files.push_back({path});
    }

private:
    void EnterArchive(const fs::path& path) {
        std::uint64_t bytes = 0;
        std::optional<std::vector<ZipEntry>> listed = ListArchive(path, bytes);
        if (!listed) {
            return;
        }
        // What the reader will inflate is bounded as a gzip file of the
        // archive's size is, whatever tricks its directory plays.
        const std::uint64_t most = ZipArchive::kMostInflation * bytes;
        std::uint64_t declared = 0;  // up to one past the most
        for (const ZipEntry& entry : *listed) {
            declared = std::min(declared + std::min(entry.size, most + 1), most + 1);
        }
        if (declared > most) {
            found.problems.push_back(
                Problem(ProblemCode::ImportFileFailed, {PathText(path)})
                    .Because(Problem(ProblemCode::ZipTooLarge,
                                     {DeclaredBytes(*listed), std::to_string(bytes)})));
            return;
        }
        const auto share = std::make_shared<ZipArchiveShare>(path, listed->size());
        for (ZipEntry& entry : *listed) {
            found.files.push_back({{}, share, std::move(entry)});
        }
    }

    // The run files of an archive in a folder's order, the archive closed
    // again before its files are listed for reading: libzip's hold on its
    // directory goes before the walk's begins. Empty when it cannot be read.
    std::optional<std::vector<ZipEntry>> ListArchive(const fs::path& path, std::uint64_t& bytes) {
        Result<std::unique_ptr<ZipArchive>> opened = ZipArchive::Open(path);
        if (!opened) {
            found.problems.push_back(
                Problem(ProblemCode::ImportFileFailed, {PathText(path)}).Because(opened.problem()));
            return std::nullopt;
        }
        ZipArchive& archive = **opened;
        bytes = archive.Bytes();
        std::vector<ZipEntry> entries = archive.Entries();
        std::sort(entries.begin(), entries.end(), FolderOrder);
        std::vector<ZipEntry> listed;
        for (ZipEntry& entry : entries) {
            const std::optional<RunFileKind> kind = KindOfName(EntryPath(entry.name));
            if (kind ? kind->format != RunFileFormat::Csv || IsStrivoCsv(archive, entry)
                     : IsZipName(EntryPath(entry.name))) {
                listed.push_back(std::move(entry));
            } else {
                ++found.passedOver;
            }
        }
        return listed;
    }

    void EnterFolder(const fs::path& folder) {
        const auto identity = IdentityOf(folder);
        if (identity && !m_entered.insert(*identity).second) {
            return;
        }
        // The names alone while the folder is listed: a path of its own
        // for each of 100,000 entries would cost several times as much.
        std::error_code error;
        fs::directory_iterator entries(folder, error);
        std::vector<fs::path::string_type> names;
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            names.push_back(entries->path().filename().native());
        }
        if (error) {
            found.problems.push_back(
                Problem(ProblemCode::FileCannotRead, {PathText(folder)}, error.message()));
            // What was listed before the failure is still walked.
        }
        std::sort(names.begin(), names.end());
        for (const fs::path::string_type& name : names) {
            Visit(folder / name, true);
        }
    }

    std::set<FileIdentity> m_entered;
};

}  // namespace

std::string RunFilePlace::Name() const {
    return archive ? PathText(archive->path()) + "/" + entry.name : PathText(path);
}

RunFilePaths FindRunFiles(std::span<const std::filesystem::path> paths) {
    Walk walk;
    for (const std::filesystem::path& path : paths) {
        walk.Visit(path, false);
    }
    return std::move(walk.found);
}

}  // namespace strivo
