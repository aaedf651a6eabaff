#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "io/RunText.h"

namespace strivo {

// The list's columns: a run's seven, then the state of its post for the site
// user in the fields, which comes from the store, not from the run.
inline constexpr std::size_t kColumnPostState = kRunColumnCount;
inline constexpr std::size_t kListColumnCount = kRunColumnCount + 1;
inline constexpr std::array<const char*, kListColumnCount> kListColumnTitles = [] {
    std::array<const char*, kListColumnCount> titles{};
    std::copy(kRunColumnTitles.begin(), kRunColumnTitles.end(), titles.begin());
    titles[kColumnPostState] = "同步状态";
    return titles;
}();

// The list's columns as they open, in pixels: all eight fit the list's 418
// dialog units, with room for RunIDs to grow.
inline constexpr int kListColumnWidths[kListColumnCount] = {40, 125, 65, 95, 50, 125, 50, 65};

}  // namespace strivo
