#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace strivo {

// What went wrong, as a code where it arises. Each code's comment gives the
// values it carries, in order; a face turns a Problem into words through the
// one catalogue (model/ProblemWords.h), never the other way round.
enum class ProblemCode {
    None,

    // --- The network (net/): {0} "host:port" as the URL names it, or empty;
    // `detail` the transport's own words, if it has any.
    NetCancelled,
    NetTimedOut,
    NetStalled,          // {1} seconds nothing moved
    NetDeadline,         // {1} seconds allowed in all
    NetTooSlow,          // {1} bytes, {2} seconds
    NetTooLarge,
    NetStatus,           // {1} the status
    NetRefused,
    NetCannotConnect,
    NetUnknownHost,
    NetTooManyRedirects,
    NetRedirectRefused,  // {1} the status, {2} where to
    NetUntrusted,
    NetWrongHost,
    NetTls,
    NetConnectionLost,
    NetBadUrl,
    NetNoSession,
    NetOutOfMemory,
    NetOther,
    CertificateFileUnreadable,  // {0} the file
    CertificateFileNotPem,      // {0} the file
    BuiltInCertificatesDamaged,
    TransportCannotStart,

    // --- The two services (runservice/, site/).
    SignInRefused,
    NoRunList,
    SessionEndedSignInPage,  // {0} RunID of the post the sign-in page answered
    SessionEndedRedirect,    // {0} RunID
    SessionEndedForbidden,   // {0} RunID
    PostRedirected,          // {0} RunID, {1} status, {2} where to
    ServerErrorsInARow,      // {0} how many; cause: the last one
    SyncStopped,
    SyncEndedBeforeAnswer,
    SettledByRunner,
    RunsNotKept,             // cause: why the store did not keep them

    // --- The run store (store/): {0} the path of strivo.db (or its lock, or
    // the older record), empty for the store in memory; `detail` SQLite's words.
    StoreNotRegular,     // {1} what it is (FileKind key)
    StoreForeign,
    StoreOtherProgram,
    StoreNewer,          // {1} its schema, {2} the one this program knows
    StoreInUse,
    StoreCannotLock,
    StoreCannotOpen,
    StoreCannotRead,
    StoreCannotWrite,
    StoreDiskFull,
    StoreDamaged,
    StoreCannotCopy,     // the copy made before a migration
    OlderRecordNotRegular,  // {1} what it is (FileKind key)
    OlderRecordBadLines,    // {1} how many lines

    // --- Files (io/): {0} the path; `detail` the system's words (strerror).
    FileNotRegular,      // {1} what it is (FileKind key)
    FileCannotFollow,
    FileCannotCreate,
    FileCannotCreateTemporary,
    FileCannotSetPermissions,
    FileCannotWrite,
    FileCannotFlush,
    FileCannotClose,
    FileCannotReplace,
    FileExists,
    FileCannotOpen,
    FileCannotRead,
    FileInUse,
    FileNotOpen,
    FileReadOnly,
    FileNoDescriptor,
    FileMissing,
    FileTooLarge,
    FileDiskFull,

    // --- A run's values (history/, export/): {0} the text as stored.
    StartUnparsedLeftOut,
    StartUnparsedNotCounted,
    ValueUnparsedWrittenAsZero,  // {0} the field (RunField key), {1} the text
    CaloriesOutOfRange,          // {0} the text
    StartSecondTaken,            // {0} the Id it moved to
    ValueNotCounted,             // {0} the field (RunField key)

    // --- Files read for import (files/).

    // --- Schedules, status and manners (jobs/schedule, jobs/status).
    ScheduleBadTime,            // {0} the time as given (HH:MM wanted, 00:00 to 23:59)
    ScheduleUnusablePath,       // {0} the path: not absolute, or holding a character the
                                // scheduler cannot carry (a control character; % on Windows)
    ScheduleForeignEntry,       // {0} the unit file, or the task \Strivo\Sync, of
                                // Strivo's name that Strivo did not write; left as it is
    ScheduleCommandNotStarted,  // {0} the command ("systemctl --user daemon-reload");
                                // `detail` the system's words
    ScheduleCommandFailed,      // {0} the command, {1} its exit status; `detail` its stderr
    ScheduleCommandKilled,      // {0} the command, {1} the signal's number; `detail` its stderr
    ScheduleCannotRemove,       // {0} the path; `detail` the system's words
    ScheduleTaskScheduler,      // {0} the call ("ITaskFolder::RegisterTaskDefinition"), {1} its
                                // HRESULT ("0x80070005"); `detail` the system's words
    ScheduleNeedsPasswords,     // {0} the settings lines missing ("[nike+] pwd, [kelvora] pwd"),
                                // {1} the variables that could stand in for them
};

// What a path turned out to be, where a regular file was wanted: the keys
// of StoreNotRegular's, OlderRecordNotRegular's and FileNotRegular's {1}.
inline constexpr const char* kKindSymlink = "symlink";
inline constexpr const char* kKindFolder = "folder";
inline constexpr const char* kKindFifo = "fifo";
inline constexpr const char* kKindDevice = "device";
inline constexpr const char* kKindSocket = "socket";
inline constexpr const char* kKindOther = "other";

// The fields of a run, as keys of ValueUnparsedWrittenAsZero's and
// ValueNotCounted's {0}.
inline constexpr const char* kFieldDistance = "distance";
inline constexpr const char* kFieldDuration = "duration";
inline constexpr const char* kFieldCalories = "calories";

// A code, the values its words need (UTF-8: hosts, paths, numbers, RunIDs),
// the words of whoever reported it below us (a library, the system), and
// what caused it, when one problem stands on another.
struct Problem {
    ProblemCode code = ProblemCode::None;
    std::vector<std::string> values;
    std::string detail;
    std::shared_ptr<const Problem> cause;

    Problem() = default;
    Problem(ProblemCode code, std::vector<std::string> values = {}, std::string detail = {})
        : code(code), values(std::move(values)), detail(std::move(detail)) {}

    // This problem, standing on `why`.
    Problem Because(Problem why) && {
        cause = std::make_shared<const Problem>(std::move(why));
        return std::move(*this);
    }
    // The problem at the bottom of the chain of causes.
    const Problem& Root() const { return cause ? cause->Root() : *this; }
    // The value at `index`, or an empty text.
    const std::string& Value(std::size_t index) const {
        static const std::string empty;
        return index < values.size() ? values[index] : empty;
    }
};

}  // namespace strivo
