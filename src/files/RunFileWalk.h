#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <vector>

#include "model/Problem.h"

namespace strivo {

// The files a list of paths names, for import.
struct RunFilePaths {
    std::vector<std::filesystem::path> files;
    // What could not be walked: FileMissing, FileCannotFollow (a link that
    // leads nowhere), FileCannotRead (a folder that cannot be listed),
    // FileNotRegular (a device, a pipe); the rest is walked all the same.
    std::vector<Problem> problems;
    // Files inside the folders whose names are no run file's (photos, notes).
    std::size_t passedOver = 0;
};

// Each path as it is given, in order: a file stands for itself, whatever its
// name; a folder for the files below it whose names end as run files' do
// (KindOfName) or as a zip archive's (to be named, with the hint to unpack
// it), its entries in the order of their names' bytes, each subfolder's
// files at its place in that order. Links are followed, but a folder
// already entered (a link back up the tree) is not entered again.
// Holds only paths: a folder of 100,000 files costs their names.
RunFilePaths FindRunFiles(std::span<const std::filesystem::path> paths);

}  // namespace strivo
