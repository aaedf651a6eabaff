#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "model/Problem.h"

namespace strivo {

// A value, or the Problem that kept it from being made. [[nodiscard]], and no
// way to reach the value without asking first, so a failure is never dropped
// unseen:
//
//   Result<std::vector<StoredRun>> runs = store.Runs(service, account);
//   if (!runs) return runs.problem();
//   for (const StoredRun& run : *runs) ...
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Problem problem) : m_state(std::in_place_index<1>, std::move(problem)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only after ok() said true. Of a temporary, the value itself, moved out,
    // so that `for (auto& run : *store.Runs(...))` holds no dangling reference.
    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Only after ok() said false.
    const Problem& problem() const { return std::get<1>(m_state); }

private:
    std::variant<T, Problem> m_state;
};

// Success, or the Problem that kept it from succeeding.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Problem problem) : m_problem(std::move(problem)) {}

    bool ok() const { return !m_problem; }
    explicit operator bool() const { return ok(); }
    const Problem& problem() const { return *m_problem; }

private:
    std::optional<Problem> m_problem;
};

using Outcome = Result<void>;

}  // namespace strivo
