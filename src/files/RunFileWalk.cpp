#include "files/RunFileWalk.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "files/RunFileRecogniser.h"
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

// An archive in a folder is named (the reader says to unpack it), never
// passed over: a bulk export often comes as one.
bool IsZipName(const fs::path& path) {
    return LowerAscii(PathText(path.extension())) == ".zip";
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
        found.files.push_back(path);
    }

private:
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

RunFilePaths FindRunFiles(std::span<const std::filesystem::path> paths) {
    Walk walk;
    for (const std::filesystem::path& path : paths) {
        walk.Visit(path, false);
    }
    return std::move(walk.found);
}

}  // namespace strivo
