// bench_sync_pipeline CONFIG FOLDER: writes the curl pipeline of a sync
// (bench/support/CurlSyncPipeline.h) for the stand-ins CONFIG points at into
// FOLDER, and prints the script's path. For scripts/bench.py, whose yardstick
// of `strivo-cli sync --all` it is.
#include <cstdio>
#include <filesystem>

#include "../support/CurlSyncPipeline.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_sync_pipeline CONFIG FOLDER\n");
        return 2;
    }
    const strivo::Settings settings = strivo::ReadSettings(argv[1]);
    const std::filesystem::path script =
        strivo::bench::WriteCurlSyncPipeline(settings, std::filesystem::absolute(argv[2]));
    std::printf("%s\n", script.c_str());
    return 0;
}
