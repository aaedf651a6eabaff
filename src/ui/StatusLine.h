#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace strivo {

// A part of the status line, as byte offsets into it: [begin, end).
struct StatusPart {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The status line's text (CP936) as one line that `fits`: when too wide,
// the parts that give way are left out, one after another in their order,
// until it fits; then a middle part gives way to "…" and the ends stay. With
// `pathAt`, the text ends with a path from there: the middle of its folder
// gives way and the file's name stays whole. Without, a reason in brackets
// at the end stays whole, and the middle of what comes before it gives way.
// When even that does not fit, the middle of the whole text does.
std::string FitStatusLine(const std::string& status, std::optional<std::size_t> pathAt,
                          const std::function<bool(const std::string&)>& fits,
                          const std::vector<StatusPart>& givesWay = {});

}  // namespace strivo
