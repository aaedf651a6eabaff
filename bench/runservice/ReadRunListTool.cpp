// bench_read_run_list: reads a run list from standard input through the
// reader a download feeds (in the pieces libcurl hands over), keeping the
// rows and handing each run's texts on as the store would get them, and
// prints how many runs it read.
// Behind `curl`, it is a download that does everything but print and store:
// scripts/bench.py's yardstick of a download whose list the store already holds.
#include <unistd.h>

#include <cstdio>

#include "runservice/RunList.h"

int main() {
    constexpr std::size_t kCurlPiece = 16384;  // CURL_MAX_WRITE_SIZE
    static char piece[kCurlPiece];
    std::size_t handed = 0;
    strivo::RunListReader reader(
        [&handed](const strivo::Run& run) { handed += !run.id().empty(); });
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, piece, sizeof piece);
        if (got < 0) {
            std::perror("bench_read_run_list");
            return 1;
        }
        if (got == 0) {
            break;
        }
        reader.Feed({piece, static_cast<std::size_t>(got)});
    }
    if (!reader.SaysSuccess()) {
        std::fprintf(stderr, "bench_read_run_list: no run list\n");
        return 1;
    }
    const strivo::RunList rows = reader.Finish();
    std::printf("%zu runs\n", rows.size());
    return rows.size() == handed ? 0 : 1;
}
