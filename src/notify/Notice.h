#pragma once

#include <chrono>
#include <string>

#include "model/Result.h"

namespace strivo {

// How loud a notice is: the freedesktop protocol's "urgency" hint, in its order.
enum class NoticeUrgency { Low, Normal, Critical };

// A desktop notice, as the runner sees it pop up after a scheduled sync.
// Texts in UTF-8; the body is plain text (markup characters are escaped on the
// way out).
struct Notice {
    std::string summary;
    std::string body;
    NoticeUrgency urgency = NoticeUrgency::Normal;
};

// How long ShowNotice waits, in all, for the bus and the notification service:
// a scheduled sync must never hang on a desktop that does not answer.
inline constexpr std::chrono::milliseconds kNoticeTimeout{2000};

// Shows `notice` through the desktop's notification service, as "Strivo" with
// the icon "strivo". On Linux, org.freedesktop.Notifications on the session
// bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus). A notice that
// could not be shown is one of the Notice* problems, so a caller records it as
// "not shown" and goes on: NoticeNoBusAddress, NoticeNoSessionBus,
// NoticeNoService, NoticeNoAnswer (after `timeout`), NoticeRefused; on
// Windows, NoticeUnsupported.
// Any thread may call it; each call opens and closes its own connection.
// Whether a notice could be shown at all: NoticeNoBusAddress where no
// session bus is to be found (a server, a container), NoticeUnsupported on
// Windows. Looks, connects to nothing.
Result<void> NoticesPossible();

Result<void> ShowNotice(const Notice& notice, std::chrono::milliseconds timeout = kNoticeTimeout);

}  // namespace strivo
