#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "model/Progress.h"

namespace strivo::test {

// Records a worker's reports, from any thread.
class RecordingSink : public ProgressSink {
public:
    // Called on the worker's thread with each report, before it is recorded.
    std::function<void(const ProgressReport&)> onReport;

    void Post(ProgressReport report) override {
        if (onReport) {
            onReport(report);
        }
        std::lock_guard lock(m_mutex);
        m_reports.push_back(std::move(report));
    }

    std::vector<ProgressReport> reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

    // "1026:0 1027:0 1028:-1": the steps, numbered as the window messages
    // that carried them, and whether each failed, for comparing orders. A
    // post going out is not in it; a post's end only `withProgress`.
    std::string Trace(bool withProgress = false) const {
        std::string trace;
        for (const auto& report : reports()) {
            const int number = static_cast<int>(report.step) < 4
                                   ? 1026 + static_cast<int>(report.step)
                               : report.step == Step::SyncDone ? 1030
                               : report.step == Step::Posted   ? 1031
                                                               : 0;
            if (number != 0 && (number != 1031 || withProgress)) {
                trace += std::to_string(number) + (report.ok() ? ":0 " : ":-1 ");
            }
        }
        return trace.substr(0, trace.size() - !trace.empty());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<ProgressReport> m_reports;
};

}  // namespace strivo::test
