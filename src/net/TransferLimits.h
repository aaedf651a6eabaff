#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "net/WebSession.h"

namespace strivo {

// The time limits of one transfer, whatever carries it: no byte moving for
// the stall limit, fewer than minRate bytes a second over the last rate
// window once the answer began (a server that drips), or past the request's
// deadline.
class TransferLimits {
public:
    using Clock = std::chrono::steady_clock;

    TransferLimits(const WebSessionConfig& config, std::chrono::milliseconds deadline,
                   Clock::time_point start = Clock::now())
        : m_stallLimit(config.stallLimit),
          m_window(config.rateWindow),
          m_minBytesPerWindow(config.minRate *
                              static_cast<std::uint64_t>(config.rateWindow.count()) / 1000),
          m_start(start),
          m_deadline(start + deadline),
          m_lastActivity(start),
          m_rateStart(start),
          m_samples{{start, 0}} {}

    // All the bytes moved so far, both ways, headers included.
    void Moved(std::uint64_t total, Clock::time_point now = Clock::now()) {
        if (total != m_total) {
            m_total = total;
            m_lastActivity = now;
        }
        if (now - m_samples.back().first >= m_window / 16) {
            m_samples.emplace_back(now, m_total);
        }
    }

    // The server's answer began. The time it took to think before, which the
    // stall limit bounds, is not held against its rate.
    void AnswerStarted(Clock::time_point now = Clock::now()) {
        if (!m_answered) {
            m_answered = true;
            m_rateStart = now;
            m_samples = {{now, m_total}};
        }
    }

    bool Exceeded(Clock::time_point now = Clock::now()) {
        if (now - m_lastActivity > m_stallLimit) {
            m_why = Problem(ProblemCode::NetStalled, {"", Seconds(m_stallLimit)});
        } else if (now > m_deadline) {
            m_why = Problem(ProblemCode::NetDeadline, {"", Seconds(m_deadline - m_start)});
        } else if (now - m_rateStart >= m_window) {
            // The bytes moved since the window began: from the last sample before it.
            while (m_samples.size() >= 2 && m_samples[1].first <= now - m_window) {
                m_samples.pop_front();
            }
            if (m_total - m_samples.front().second < m_minBytesPerWindow) {
                m_why = Problem(ProblemCode::NetTooSlow,
                                {"", std::to_string(m_minBytesPerWindow), Seconds(m_window)});
            }
        }
        return m_why.code != ProblemCode::None;
    }

    // Which limit Exceeded found passed; its {0}, the host, left empty.
    const Problem& Why() const { return m_why; }

    // When the stall limit runs out, if nothing moves before.
    Clock::time_point StallAt() const { return m_lastActivity + m_stallLimit; }

private:
    static std::string Seconds(Clock::duration span) {
        const auto tenths =
            std::chrono::duration_cast<std::chrono::milliseconds>(span).count() / 100;
        return std::to_string(tenths / 10) +
               (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
    }

    std::chrono::milliseconds m_stallLimit;
    std::chrono::milliseconds m_window;
    std::uint64_t m_minBytesPerWindow;
    Clock::time_point m_start;
    Clock::time_point m_deadline;
    Clock::time_point m_lastActivity;
    Clock::time_point m_rateStart;
    bool m_answered = false;
    std::uint64_t m_total = 0;
    std::deque<std::pair<Clock::time_point, std::uint64_t>> m_samples;  // (time, total)
    Problem m_why;
};

}  // namespace strivo
