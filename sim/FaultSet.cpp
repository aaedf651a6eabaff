#include "FaultSet.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace strivo::sim {
namespace {

template <typename Number>
Number ReadCount(std::string_view key, std::string_view value) {
    Number number{};
    const char* end = value.data() + value.size();
    const auto result = std::from_chars(value.data(), end, number);
    bool negative = false;
    if constexpr (std::is_signed_v<Number>) {
        negative = number < 0;
    }
    if (value.empty() || result.ec != std::errc() || result.ptr != end || negative) {
        throw std::invalid_argument("fault: " + std::string(key) + " needs a number, not \"" +
                                    std::string(value) + "\"");
    }
    return number;
}

bool Matches(const Fault& fault, std::string_view path, std::string_view query) {
    if (fault.path == "*") {
        return true;
    }
    if (fault.path.find('?') == std::string::npos) {
        return fault.path == path;
    }
    return fault.path.size() == path.size() + 1 + query.size() &&
           fault.path.compare(0, path.size(), path) == 0 && fault.path[path.size()] == '?' &&
           fault.path.compare(path.size() + 1, std::string::npos, query) == 0;
}

}  // namespace

void FaultSet::Add(Fault fault) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back(Counted{std::move(fault)});
}

Fault FaultSet::Take(std::string_view path, std::string_view query) {
    Fault actions;
    std::lock_guard lock(m_mutex);
    for (Counted& counted : m_faults) {
        const Fault& fault = counted.fault;
        if (!Matches(fault, path, query)) {
            continue;
        }
        ++counted.seen;
        if (fault.onRequest != 0 && fault.onRequest != counted.seen) {
            continue;
        }
        actions.delay += fault.delay;
        if (actions.status == 0) {
            actions.status = fault.status;
        }
        actions.closeMidBody = actions.closeMidBody || fault.closeMidBody;
        actions.redirectLoop = actions.redirectLoop || fault.redirectLoop;
        actions.signInPage = actions.signInPage || fault.signInPage;
        if (actions.location.empty()) {
            actions.location = fault.location;
        }
        if (actions.retryAfter.empty()) {
            actions.retryAfter = fault.retryAfter;
        }
        actions.drop = actions.drop || fault.drop;
        actions.endless = actions.endless || fault.endless;
        actions.drip = std::max(actions.drip, fault.drip);
        if (fault.cutAfterBytes != 0 &&
            (actions.cutAfterBytes == 0 || fault.cutAfterBytes < actions.cutAfterBytes)) {
            actions.cutAfterBytes = fault.cutAfterBytes;
        }
        if (fault.bodySize != 0) {
            actions.bodySize = fault.bodySize;
        }
    }
    return actions;
}

Fault ParseFault(std::string_view text) {
    Fault fault;
    std::size_t comma = text.find(',');
    fault.path = std::string(text.substr(0, comma));
    if (fault.path.empty() || (fault.path != "*" && fault.path.front() != '/')) {
        throw std::invalid_argument("fault: starts with a path such as /index.php, or *");
    }
    bool acts = false;
    while (comma != std::string_view::npos) {
        const std::size_t begin = comma + 1;
        comma = text.find(',', begin);
        const std::string_view piece = text.substr(begin, comma - begin);
        const std::size_t equals = piece.find('=');
        const std::string_view key = piece.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
        if (key == "close" && equals == std::string_view::npos) {
            fault.closeMidBody = acts = true;
        } else if (key == "redirect" && equals == std::string_view::npos) {
            fault.redirectLoop = acts = true;
        } else if (key == "signin-page" && equals == std::string_view::npos) {
            fault.signInPage = acts = true;
        } else if (key == "location" && !value.empty()) {
            fault.location = std::string(value);
            acts = true;
        } else if (key == "retry-after" && !value.empty()) {
            fault.retryAfter = std::string(value);
            acts = true;
        } else if (key == "drop" && equals == std::string_view::npos) {
            fault.drop = acts = true;
        } else if (key == "endless" && equals == std::string_view::npos) {
            fault.endless = acts = true;
        } else if (key == "drip") {
            fault.drip = std::chrono::milliseconds(ReadCount<long long>(key, value));
            acts = acts || fault.drip.count() > 0;
        } else if (key == "on") {
            fault.onRequest = ReadCount<int>(key, value);
        } else if (key == "status") {
            fault.status = ReadCount<int>(key, value);
            if (fault.status < 100 || fault.status > 599) {
                throw std::invalid_argument("fault: status must lie in 100..599");
            }
            acts = true;
        } else if (key == "delay") {
            fault.delay = std::chrono::milliseconds(ReadCount<long long>(key, value));
            acts = acts || fault.delay.count() > 0;
        } else if (key == "cut") {
            fault.cutAfterBytes = ReadCount<std::size_t>(key, value);
            acts = acts || fault.cutAfterBytes > 0;
        } else if (key == "size") {
            fault.bodySize = ReadCount<std::size_t>(key, value);
            acts = acts || fault.bodySize > 0;
        } else {
            throw std::invalid_argument("fault: unknown piece \"" + std::string(piece) + "\"");
        }
    }
    if (!acts) {
        throw std::invalid_argument(
            "fault: give at least one of status=N, delay=MS, close, cut=M, size=N, redirect, "
            "location=URL, retry-after=VALUE, signin-page, drop, drip=MS, endless");
    }
    return fault;
}

}  // namespace strivo::sim
