// NoticeWin.cpp: the Windows implementation of notify/Notice.h. The
// notification area needs a window of our own to own its icon; a scheduled
// run has none, so no notice is shown.
#include "notify/Notice.h"

namespace strivo {

Result<void> NoticesPossible() {
    return Problem(ProblemCode::NoticeUnsupported);
}

Result<void> ShowNotice(const Notice&, std::chrono::milliseconds) {
    return Problem(ProblemCode::NoticeUnsupported);
}

}  // namespace strivo
