#include "model/SyncRecord.h"

#include <array>
#include <utility>

#include "text/Catalog.h"

namespace strivo {
namespace {

constexpr std::array<std::pair<SyncBy, const char*>, 3> kBy{
    {{SyncBy::Window, "window"}, {SyncBy::Cli, "cli"}, {SyncBy::Schedule, "schedule"}}};
constexpr std::array<std::pair<SyncEnd, const char*>, 3> kEnd{
    {{SyncEnd::Done, "done"}, {SyncEnd::Failed, "failed"}, {SyncEnd::Stopped, "stopped"}}};

template <typename T, std::size_t N>
const char* KeyOf(const std::array<std::pair<T, const char*>, N>& table, T value) {
    for (const auto& [each, key] : table) {
        if (each == value) {
            return key;
        }
    }
    return table[0].second;
}

template <typename T, std::size_t N>
T FromKey(const std::array<std::pair<T, const char*>, N>& table, std::string_view key) {
    for (const auto& [each, name] : table) {
        if (key == name) {
            return each;
        }
    }
    return table[0].first;
}

}  // namespace

const char* SyncByKey(SyncBy by) {
    return KeyOf(kBy, by);
}
SyncBy SyncByFromKey(std::string_view key) {
    return FromKey(kBy, key);
}
const char* SyncEndKey(SyncEnd end) {
    return KeyOf(kEnd, end);
}
SyncEnd SyncEndFromKey(std::string_view key) {
    return FromKey(kEnd, key);
}

const char* SyncByWords(SyncBy by) {
    switch (by) {
        case SyncBy::Window:
            return N_("by the window");
        case SyncBy::Cli:
            return N_("by strivo-cli");
        case SyncBy::Schedule:
            return N_("by the schedule");
    }
    return "";
}

const char* SyncEndWords(SyncEnd end) {
    return end == SyncEnd::Done     ? N_("done")
           : end == SyncEnd::Failed ? N_("failed")
                                    : N_("stopped");
}

}  // namespace strivo
