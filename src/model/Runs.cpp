#include "model/Runs.h"

namespace strivo {

const char* PostStateName(PostState state) {
    static constexpr const char* kNames[] = {"sending", "confirmed", "failed", "unknown",
                                             "excluded"};
    return kNames[static_cast<int>(state)];
}

}  // namespace strivo
