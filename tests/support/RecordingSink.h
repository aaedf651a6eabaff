#pragma once

#include <functional>
#include <mutex>
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

    // "1026:0 1027:0 1028:-1": the messages and outcomes, for comparing orders.
    std::string Trace(bool withProgress = false) const {
        std::string trace;
        for (const auto& report : reports()) {
            if (report.message != WM_SYNC_PROGRESS || withProgress) {
                trace +=
                    std::to_string(report.message) + ":" + std::to_string(report.outcome) + " ";
            }
        }
        return trace.substr(0, trace.size() - !trace.empty());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<ProgressReport> m_reports;
};

}  // namespace strivo::test
