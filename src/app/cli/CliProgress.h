#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

#include "model/Progress.h"

namespace strivo {

// Shows what a job does as it goes: on a terminal one line rewritten in
// place, in a log a line per run posted, and with --quiet nothing. Keeps the
// summary sentence for whoever prints it.
class CliProgress : public ProgressSink {
public:
    CliProgress(std::ostream& err, bool terminal, bool quiet)
        : m_err(err), m_terminal(terminal), m_quiet(quiet) {}
    // On the job's thread; what it keeps is read after the job has ended.
    void Post(ProgressReport report) override;
    // On the job's thread: the run list's bytes so far, said by the tenth of a megabyte.
    void RunListBytes(std::size_t bytes);
    // What is being done, in place of what was said before; on a terminal only.
    void Status(const std::string& line);
    // Erases what Status said, before anything else is said.
    void Clear();
    // Ends the line that progress rewrote, keeping it, before anything else is said.
    void EndLine();
    // The summary sentence (CP936), once the download read it.
    const std::optional<std::string>& summary() const { return m_summary; }

private:
    std::ostream& m_err;
    const bool m_terminal;
    const bool m_quiet;
    bool m_lineOpen = false;
    std::size_t m_tenths = 0;
    std::optional<std::string> m_summary;
};

}  // namespace strivo
