#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/ZipArchive.h"
#include "files/ZipArchiveShare.h"
#include "model/Problem.h"

namespace strivo {

// Where a run file's bytes are: a file on disk, or a file inside a zip archive.
struct RunFilePlace {
    std::filesystem::path path;  // the file; empty for an entry
    // For an entry: its archive (with the archive's path), shared by the
    // archive's entries, so that 65,535 of them cost their names only.
    std::shared_ptr<ZipArchiveShare> archive;
    ZipEntry entry;

    // In messages: the file's path, or ARCHIVE/ENTRY (UTF-8).
    std::string Name() const;
};

// The files a list of paths names, for import.
struct RunFilePaths {
    std::vector<RunFilePlace> files;
    // What could not be walked: FileMissing, FileCannotFollow (a link that
    // leads nowhere), FileCannotRead (a folder that cannot be listed),
    // FileNotRegular (a device, a pipe); the rest is walked all the same.
    std::vector<Problem> problems;
    // Files inside the folders and archives whose names are no run file's
    // (photos, notes), and an archive's own index (a CSV file that is not
    // Strivo's, as activities.csv).
    std::size_t passedOver = 0;
};

// Each path as it is given, in order: a file stands for itself, whatever its
// name; a folder for the files below it whose names end as run files' do
// (KindOfName), its entries in the order of their names' bytes, each
// subfolder's files at its place in that order. Links are followed, but a
// folder already entered (a link back up the tree) is not entered again.
// A zip archive (a file given that holds one, or a file in a folder named
// .zip) is walked as a folder, its files in the same order: those named as
// run files, a CSV file among them only when its first line is Strivo's. An
// archive inside it is listed, to be named with the hint to unpack it. An
// archive that cannot be read, lists too much, or whose run files declare
// more than it can hold, is named among the problems, and none of its files
// is listed. Holds only paths: a folder of 100,000 files costs their names.
RunFilePaths FindRunFiles(std::span<const std::filesystem::path> paths);

}  // namespace strivo
