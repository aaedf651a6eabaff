// NoticeSdBus.cpp: the Linux implementation of notify/Notice.h, over sd-bus.
#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "notify/Notice.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

std::string Words(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

// A D-Bus address names a path with every byte outside a few %-escaped.
std::string UnixAddress(std::string_view path) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string address = "unix:path=";
    for (unsigned char c : path) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || std::strchr("-_/.\\*", c) != nullptr;
        if (plain) {
            address += static_cast<char>(c);
        } else {
            address += '%';
            address += kHex[c >> 4];
            address += kHex[c & 0x0F];
        }
    }
    return address;
}

// The session bus's address, as libdbus and sd-bus find it.
std::optional<std::string> SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
        return address;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat info;
        if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
            return UnixAddress(socket);
        }
    }
    return std::nullopt;
}

std::string Seconds(std::chrono::milliseconds timeout) {
    const long long tenths = (timeout.count() + 50) / 100;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.' + std::to_string(tenths % 10);
    }
    return text;
}

// The service's answer to Notify, once it has come.
struct Answer {
    bool arrived = false;
    std::string errorName;  // empty for a reply
    std::string errorMessage;
};

int OnAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* answer = static_cast<Answer*>(userdata);
    answer->arrived = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        answer->errorName = error->name ? error->name : "";
        answer->errorMessage = error->message ? error->message : "";
    }
    return 1;
}

Problem FromErrorReply(const Answer& answer, std::chrono::milliseconds timeout) {
    const std::string& name = answer.errorName;
    std::string detail = name + ": " + answer.errorMessage;
    if (name == SD_BUS_ERROR_SERVICE_UNKNOWN || name == SD_BUS_ERROR_NAME_HAS_NO_OWNER ||
        name == "org.freedesktop.DBus.Error.Spawn.ServiceNotFound") {
        return Problem(ProblemCode::NoticeNoService, {}, std::move(detail));
    }
    if (name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT ||
        name == "org.freedesktop.DBus.Error.TimedOut") {
        return Problem(ProblemCode::NoticeNoAnswer, {Seconds(timeout)}, std::move(detail));
    }
    if (name == SD_BUS_ERROR_DISCONNECTED) {
        return Problem(ProblemCode::NoticeNoSessionBus, {}, std::move(detail));
    }
    return Problem(ProblemCode::NoticeRefused, {}, std::move(detail));
}

Result<Message> NotifyCall(sd_bus* bus, const Notice& notice) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, kService, kPath, kService, "Notify");
    Message call(raw);
    if (r < 0) {
        return Problem(ProblemCode::NoticeRefused, {}, Words(r));
    }
    // The protocol reads the body as markup, so its own characters are escaped.
    std::string body;
    AppendMarkupEscaped(body, notice.body, /*forXml=*/true);
    const auto urgency = static_cast<std::uint8_t>(notice.urgency);
    // app_name, replaces_id, app_icon, summary, body, actions, hints,
    // expire_timeout (-1: as the desktop likes it).
    r = sd_bus_message_append(call.get(), "susssasa{sv}i", "Strivo", std::uint32_t{0}, "strivo",
                              notice.summary.c_str(), body.c_str(), 0, 1, "urgency", "y", urgency,
                              std::int32_t{-1});
    if (r < 0) {  // EINVAL: a text that is not UTF-8, or holds a NUL
        return Problem(ProblemCode::NoticeRefused, {}, Words(r));
    }
    return call;
}

}  // namespace

Result<void> NoticesPossible() {
    if (!SessionBusAddress()) {
        return Problem(ProblemCode::NoticeNoBusAddress);
    }
    return {};
}

Result<void> ShowNotice(const Notice& notice, std::chrono::milliseconds timeout) {
    const std::optional<std::string> address = SessionBusAddress();
    if (!address) {
        return Problem(ProblemCode::NoticeNoBusAddress);
    }
    // Outlives the bus, whose pending call points at it.
    Answer answer;
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    Bus bus(raw);
    if (r < 0) {
        return Problem(ProblemCode::NoticeNoSessionBus, {}, Words(r));
    }
    if ((r = sd_bus_set_address(bus.get(), address->c_str())) < 0 ||
        (r = sd_bus_set_bus_client(bus.get(), 1)) < 0 || (r = sd_bus_start(bus.get())) < 0) {
        return Problem(ProblemCode::NoticeNoSessionBus, {}, *address + ": " + Words(r));
    }

    Result<Message> call = NotifyCall(bus.get(), notice);
    if (!call) {
        return call.problem();
    }
    // Queued at once, sent once the connection is up. We drive the connection
    // ourselves against one deadline: sd_bus_call would wait for the bus's
    // greeting without a limit of ours.
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(timeout);
    r = sd_bus_call_async(bus.get(), nullptr, call->get(), OnAnswer, &answer,
                          static_cast<std::uint64_t>(usec.count()));
    if (r < 0) {
        return Problem(ProblemCode::NoticeNoSessionBus, {}, Words(r));
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!answer.arrived) {
        r = sd_bus_process(bus.get(), nullptr);
        if (r < 0) {  // the connection broke, or the bus turned us away
            return Problem(ProblemCode::NoticeNoSessionBus, {}, *address + ": " + Words(r));
        }
        if (r > 0) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Problem(ProblemCode::NoticeNoAnswer, {Seconds(timeout)},
                           sd_bus_is_ready(bus.get()) > 0 ? "" : *address + ": no greeting");
        }
        r = sd_bus_wait(bus.get(), static_cast<std::uint64_t>(left.count()));
        if (r < 0 && r != -EINTR) {
            return Problem(ProblemCode::NoticeNoSessionBus, {}, *address + ": " + Words(r));
        }
    }
    if (!answer.errorName.empty()) {
        return FromErrorReply(answer, timeout);
    }
    return {};
}

}  // namespace strivo
