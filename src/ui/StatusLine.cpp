#include "ui/StatusLine.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "text/CodePage.h"

namespace strivo {
namespace {

// Where each character of a CP936 text begins, and its end: a lead byte
// (0x81-0xFE) takes the byte after it along.
std::vector<std::size_t> CharacterBounds(std::string_view text) {
    std::vector<std::size_t> bounds;
    for (std::size_t at = 0; at < text.size();) {
        bounds.push_back(at);
        const auto byte = static_cast<unsigned char>(text[at]);
        at += byte >= 0x81 && byte <= 0xFE && at + 1 < text.size() ? 2 : 1;
    }
    bounds.push_back(text.size());
    return bounds;
}

// The character bound at or after `at`, as an index into `bounds`.
std::size_t BoundIndex(const std::vector<std::size_t>& bounds, std::size_t at) {
    std::size_t index = 0;
    while (index + 1 < bounds.size() && bounds[index] < at) {
        ++index;
    }
    return index;
}

// `text` with the fewest characters of [begin, end) taken out of that range's
// middle for "…", so that it fits; the whole range out when nothing less does.
std::string CutMiddle(const std::string& text, std::size_t begin, std::size_t end,
                      const std::function<bool(const std::string&)>& fits) {
    static const std::string ellipsis = Utf8ToCp936("…");
    const std::vector<std::size_t> bounds = CharacterBounds(text);
    const std::size_t first = BoundIndex(bounds, begin);
    const std::size_t count = BoundIndex(bounds, end) - first;
    const auto cut = [&](std::size_t removed) {
        const std::size_t kept = count - removed;
        return text.substr(0, bounds[first + (kept + 1) / 2]) + ellipsis +
               text.substr(bounds[first + count - kept / 2]);
    };
    std::size_t low = 1;
    std::size_t high = count;
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (fits(cut(middle))) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return count == 0 ? text : cut(high);
}

// Where a reason in brackets that ends `text` begins; nullopt when none does.
std::optional<std::size_t> ReasonAt(const std::string& text) {
    static const std::string open = Utf8ToCp936("（");
    static const std::string close = Utf8ToCp936("）");
    const std::vector<std::size_t> bounds = CharacterBounds(text);
    const bool wide = text.ends_with(close);
    if (!wide && !text.ends_with(")")) {
        return std::nullopt;
    }
    for (std::size_t i = bounds.size() - 1; i-- > 0;) {
        if (text.compare(bounds[i], wide ? open.size() : 1, wide ? open : "(") == 0) {
            return bounds[i];
        }
    }
    return std::nullopt;
}

// `status` without the first `count` of the parts that give way.
std::string Without(const std::string& status, const std::vector<StatusPart>& givesWay,
                    std::size_t count) {
    std::vector<StatusPart> parts(givesWay.begin(), givesWay.begin() + static_cast<long>(count));
    std::sort(parts.begin(), parts.end(),
              [](const StatusPart& a, const StatusPart& b) { return a.begin < b.begin; });
    std::string shorter;
    std::size_t from = 0;
    for (const StatusPart& part : parts) {
        if (part.begin >= from && part.begin <= part.end && part.end <= status.size()) {
            shorter += status.substr(from, part.begin - from);
            from = part.end;
        }
    }
    return shorter + status.substr(from);
}

}  // namespace

std::string FitStatusLine(const std::string& status, std::optional<std::size_t> pathAt,
                          const std::function<bool(const std::string&)>& fits,
                          const std::vector<StatusPart>& givesWay) {
    if (fits(status)) {
        return status;
    }
    for (std::size_t count = 1; count <= givesWay.size(); ++count) {
        const std::string shorter = Without(status, givesWay, count);
        if (fits(shorter)) {
            return shorter;
        }
        if (count == givesWay.size()) {
            return FitStatusLine(shorter, pathAt, fits);
        }
    }
    std::optional<std::size_t> keptFrom;
    std::size_t cutFrom = 0;
    if (pathAt) {
        // A trail byte may be a backslash: only a character is a separator.
        for (const std::size_t at : CharacterBounds(status)) {
            if (at > *pathAt && at < status.size() && (status[at] == '/' || status[at] == '\\')) {
                cutFrom = *pathAt;
                keptFrom = at;
            }
        }
    } else {
        keptFrom = ReasonAt(status);
    }
    if (keptFrom) {
        std::string fitted = CutMiddle(status, cutFrom, *keptFrom, fits);
        if (fits(fitted)) {
            return fitted;
        }
    }
    return CutMiddle(status, 0, status.size(), fits);
}

}  // namespace strivo
