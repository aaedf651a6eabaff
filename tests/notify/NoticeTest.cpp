#include "notify/Notice.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "../support/TempFolder.h"
#include "jobs/Download.h"
#include "jobs/Sync.h"
#include "store/RunStore.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A private session bus on folder/bus, with the session bus's own policy and
// no services to start on demand: whatever answers, the test put there.
class PrivateBus {
public:
    explicit PrivateBus(const test::TempFolder& folder) {
        test::WriteFile(folder / "bus.conf", R"(<busconfig><type>session</type>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy><listen>unix:path=)" +
                                                 (folder / "bus").string() +
                                                 "</listen></busconfig>");
        FILE* out = ::popen(("dbus-daemon --fork --print-address=1 --print-pid=1 --config-file=" +
                             (folder / "bus.conf").string())
                                .c_str(),
                            "r");
        char address[512] = {}, pid[32] = {};
        if (out && std::fscanf(out, "%511s %31s", address, pid) == 2) {
            m_address = address, m_pid = std::atoi(pid);
        }
        if (out) {
            ::pclose(out);
        }
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
        }
    }
    const std::string& address() const { return m_address; }

private:
    std::string m_address;
    pid_t m_pid = 0;
};

// Owns org.freedesktop.Notifications and records each Notify call as
// "app|replaces|icon|summary|body|urgency|expiry"; answers, or keeps the caller waiting.
class NotificationListener {
public:
    NotificationListener(const std::string& address, bool answers) : m_answers(answers) {
        sd_bus_new(&m_bus);
        sd_bus_set_address(m_bus, address.c_str());
        sd_bus_set_bus_client(m_bus, 1);
        sd_bus_set_method_call_timeout(m_bus, 5'000'000);
        m_ready = sd_bus_start(m_bus) >= 0 &&
                  sd_bus_add_object(m_bus, nullptr, "/org/freedesktop/Notifications", OnCall,
                                    this) >= 0 &&
                  sd_bus_request_name(m_bus, "org.freedesktop.Notifications", 0) >= 0;
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (sd_bus_process(m_bus, nullptr) == 0) {
                    sd_bus_wait(m_bus, 50'000);
                }
            }
        });
    }
    ~NotificationListener() {
        m_stop = true;
        m_thread.join();
        sd_bus_close_unref(m_bus);
    }
    bool ready() const { return m_ready; }
    std::vector<std::string> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    static int OnCall(sd_bus_message* call, void* self, sd_bus_error*) {
        auto* listener = static_cast<NotificationListener*>(self);
        const char *app, *icon, *summary, *body, *hint;
        std::uint32_t replaces;
        std::uint8_t urgency;
        std::int32_t expiry;
        // No actions and exactly one hint, or the read fails.
        if (!sd_bus_message_is_method_call(call, nullptr, "Notify") ||
            sd_bus_message_read(call, "susssasa{sv}i", &app, &replaces, &icon, &summary, &body, 0,
                                1, &hint, "y", &urgency, &expiry) < 0) {
            return 0;
        }
        std::lock_guard lock(listener->m_mutex);
        listener->m_calls.push_back(std::string(app) + "|" + std::to_string(replaces) + "|" + icon +
                                    "|" + summary + "|" + body + "|" + hint + "=" +
                                    std::to_string(urgency) + "|" + std::to_string(expiry));
        return listener->m_answers ? sd_bus_reply_method_return(call, "u", 7u) : 1;
    }

    sd_bus* m_bus = nullptr;
    bool m_answers;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::thread m_thread;
};

// The two variables the session bus is found by; nullptr unsets one.
void FindBusBy(const char* address, const char* runtimeFolder) {
    address ? ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1)
            : ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    runtimeFolder ? ::setenv("XDG_RUNTIME_DIR", runtimeFolder, 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

const Notice kNotice{"Strivo: 3 runs posted", "1 <unknown> & waiting", NoticeUrgency::Critical};

// Through the address, then through $XDG_RUNTIME_DIR/bus alone.
TEST(ShowNotice, OneCallReachesTheServiceWithOurNamesAndTexts) {
    test::TempFolder folder;
    PrivateBus bus(folder);
    NotificationListener listener(bus.address(), /*answers=*/true);
    ASSERT_TRUE(listener.ready()) << "no private bus: " << bus.address();
    for (bool byAddress : {true, false}) {
        FindBusBy(byAddress ? bus.address().c_str() : nullptr, folder.path().c_str());
        const Result<void> shown = ShowNotice(kNotice);
        ASSERT_TRUE(shown) << shown.problem().detail;
    }
    // The body is markup to the service; the summary is not.
    const std::string expected =
        "Strivo|0|strivo|Strivo: 3 runs posted|1 &lt;unknown&gt; &amp; waiting|urgency=2|-1";
    EXPECT_EQ(listener.calls(), std::vector<std::string>(2, expected));
}

TEST(ShowNotice, WithoutASessionBusSaysSo) {
    test::TempFolder folder;
    const std::string missing = "unix:path=" + (folder / "missing").string();
    const struct {
        const char* address;
        const char* runtime;
        ProblemCode code;
    } cases[] = {
        {nullptr, nullptr, ProblemCode::NoticeNoBusAddress},
        // a runtime folder without a bus
        {nullptr, folder.path().c_str(), ProblemCode::NoticeNoBusAddress},
        {missing.c_str(), nullptr, ProblemCode::NoticeNoSessionBus},
    };
    for (const auto& c : cases) {
        FindBusBy(c.address, c.runtime);
        const Result<void> shown = ShowNotice(kNotice);
        ASSERT_FALSE(shown);
        EXPECT_EQ(shown.problem().code, c.code) << shown.problem().detail;
    }
}

TEST(ShowNotice, ABusWithoutTheServiceSaysSoAtOnce) {
    test::TempFolder folder;
    PrivateBus bus(folder);
    FindBusBy(bus.address().c_str(), nullptr);
    const auto start = Clock::now();
    const Result<void> shown = ShowNotice(kNotice);
    ASSERT_FALSE(shown);
    EXPECT_EQ(shown.problem().code, ProblemCode::NoticeNoService) << shown.problem().detail;
    EXPECT_LT(Clock::now() - start, 1s);
}

// A service that never answers, and a socket that takes the connection but
// never greets: both give up at the time-out.
TEST(ShowNotice, NeverWaitsPastItsTimeout) {
    test::TempFolder folder;
    PrivateBus bus(folder);
    NotificationListener silent(bus.address(), /*answers=*/false);
    ASSERT_TRUE(silent.ready());
    sockaddr_un stuck{AF_UNIX, {}};
    std::snprintf(stuck.sun_path, sizeof stuck.sun_path, "%s", (folder / "stuck").c_str());
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&stuck), sizeof stuck), 0);
    ASSERT_EQ(::listen(listening, 4), 0);

    for (const std::string& address : {bus.address(), "unix:path=" + std::string(stuck.sun_path)}) {
        FindBusBy(address.c_str(), nullptr);
        const auto start = Clock::now();
        const Result<void> shown = ShowNotice(kNotice, 300ms);
        const auto waited = Clock::now() - start;
        ASSERT_FALSE(shown) << address;
        EXPECT_EQ(shown.problem().code, ProblemCode::NoticeNoAnswer) << shown.problem().detail;
        EXPECT_EQ(shown.problem().Value(0), "0.3");
        EXPECT_TRUE(waited >= 300ms && waited < 1300ms) << address;
    }
    EXPECT_EQ(silent.calls().size(), 1u);
    ::close(listening);
}

// A scheduled sync speaks up only when the runner has something to do: a
// clean sync is silent, a run held back gets one notice.
TEST(ScheduledSync, OneNoticeForAHeldRunNoneForACleanSync) {
    test::TempFolder folder;
    PrivateBus bus(folder);
    NotificationListener listener(bus.address(), /*answers=*/true);
    ASSERT_TRUE(listener.ready());
    FindBusBy(bus.address().c_str(), nullptr);
    test::StandInServices services;
    jobs::Workspace where =
        jobs::ForSettingsFile(folder / "config.ini", services.settings(), services.config());
    where.by = SyncBy::Schedule;
    RunTable table;
    test::RecordingSink sink;
    ASSERT_TRUE(jobs::Download(where, table, sink));
    EXPECT_TRUE(jobs::Sync(where, table.Snapshot(), sink).ok());
    EXPECT_TRUE(listener.calls().empty());

    // One run goes back to "sent, no answer": the next sync holds it back.
    const std::string runId(table.Snapshot()[0].id());
    {
        auto store = RunStore::Open(where.StorePath());
        ASSERT_TRUE(store);
        const SiteKey site = SiteKeyOf(where.settings);
        ASSERT_TRUE((*store)->SettleRepost(site, std::vector<std::string>{runId}));
        ASSERT_TRUE((*store)->CommitIntent(site, runId, std::chrono::system_clock::now()));
    }
    EXPECT_EQ(jobs::Sync(where, table.Snapshot(), sink).heldIds.size(), 1u);
    const std::vector<std::string> calls = listener.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].find("|1 run was sent without an answer"), std::string::npos) << calls[0];
}

}  // namespace
}  // namespace strivo
