#include "app/cli/CliProgress.h"

#include "text/Catalog.h"

namespace strivo {

void CliProgress::Post(ProgressReport report) {
    switch (report.step) {
        case Step::Posted:
            if (!m_quiet) {
                const std::string line =
                    Fill(Tr("posting {0}/{1}"), report.processed, report.total);
                if (m_terminal) {
                    Status(line);
                } else {
                    m_err << line << "\n";
                    m_err.flush();
                }
            }
            break;
        case Step::SiteSignedIn:
            Clear();
            break;
        case Step::ServiceSignedIn:
            if (report.ok()) {
                Status(Tr("downloading the run list…"));
            }
            break;
        case Step::SummaryReady:
            m_summary = std::move(report.summary);
            break;
        case Step::FileImported:
            Status(Fill(Tr("reading files {0}/{1}"), report.processed, report.total));
            break;
        case Step::ImportReading: {
            const auto runs = static_cast<unsigned long>(
                report.imported.imported + report.imported.duplicates + report.imported.notRuns);
            Status(Fill(TrN("reading files {0}/{1}: {2} run read",
                            "reading files {0}/{1}: {2} runs read", runs),
                        report.processed + 1, report.total, runs));
            break;
        }
        case Step::FileExported:
            Status(Fill(Tr("writing FIT files {0}/{1}"), report.processed, report.total));
            break;
        default:
            break;
    }
}

void CliProgress::RunListBytes(std::size_t bytes) {
    const std::size_t tenths = bytes / 100000;
    if (tenths != m_tenths) {
        m_tenths = tenths;
        Status(Fill(Tr("downloading the run list… {0} MB"),
                    std::to_string(tenths / 10) + "." + std::to_string(tenths % 10)));
    }
}

void CliProgress::Status(const std::string& line) {
    if (m_terminal && !m_quiet) {
        // Back to the line's start, and erase it to its end (ECMA-48 EL).
        m_err << "\r\x1b[K" << line;
        m_err.flush();
        m_lineOpen = true;
    }
}

void CliProgress::Clear() {
    if (m_lineOpen) {
        m_err << "\r\x1b[K";
        m_err.flush();
        m_lineOpen = false;
    }
}

void CliProgress::EndLine() {
    if (m_lineOpen) {
        m_err << "\n";
        m_lineOpen = false;
    }
}

}  // namespace strivo
