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
    None,   // failed, for no reason anyone gave (a window message from outside)
    Words,  // `detail` holds the words of an older version, kept as they are

    // --- The network (net/): {0} "host:port" as the URL names it, or empty;
    // `detail` the transport's own words, if it has any.
    NetCancelled,
    NetTimedOut,
    NetStalled,   // {1} seconds nothing moved
    NetDeadline,  // {1} seconds allowed in all
    NetTooSlow,   // {1} bytes, {2} seconds
    NetTooLarge,
    NetStatus,  // {1} the status, {2} its Retry-After as sent (429/503), if it had one
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
    CertificateFileNotUsed,     // {0} the file, or empty for the built-in ones (Windows)
    BuiltInCertificatesDamaged,
    TransportCannotStart,

    // --- The two services (runservice/, site/), and the jobs' steps.
    ServiceSignInFailed,  // cause: why
    RunListFailed,        // cause: why
    SiteSignInFailed,     // cause: why
    SyncFailed,           // cause: why
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
    RunsNotKept,  // cause: why the store did not keep them

    // --- The run store (store/): {0} the path of strivo.db (or its lock, or
    // the older record), empty for the store in memory; `detail` SQLite's words.
    StoreNotRegular,  // {1} what it is (FileKind key)
    StoreForeign,
    StoreOtherProgram,
    StoreNewer,  // {1} its schema, {2} the one this program knows
    StoreInUse,
    StoreCannotLock,
    StoreCannotOpen,
    StoreCannotRead,
    StoreCannotWrite,
    StoreDiskFull,
    StoreDamaged,
    StoreCannotCopy,        // the copy made before a migration
    OlderRecordNotRegular,  // {1} what it is (FileKind key)
    OlderRecordBadLines,    // {1} how many lines

    // --- Files (io/): {0} the path; `detail` the system's words (strerror).
    FileNotRegular,  // {1} what it is (FileKind key)
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

    // --- A run's values (history/, export/): {0} the text as stored (UTF-8).
    // Each names one run (RunProblem::runId) and, where a field is named, one
    // value of it.
    StartUnparsedLeftOut,
    StartUnparsedNotCounted,
    ValueUnparsedWrittenAsZero,  // {0} the field (RunField key), {1} the text
    CaloriesOutOfRange,          // {0} the text
    StartSecondTaken,            // {0} the Id it moved to
    ValueNotCounted,             // {0} the field (RunField key), {1} the text
    ValueImplausible,            // {0} the field (RunField key), {1} the text: not counted
    RunOutsideYearsLeftOut,      // {0} the start text: an instant of it before 0001 or after 9999
    // What a FIT file cannot hold, so the run is left out of a FIT export (or,
    // for calories, the value left unset): {0} the text as stored.
    FitStartTooEarlyLeftOut,    // {0} the start: before 1998-07-03T21:24:16Z
    FitEndTooLateLeftOut,       // {0} the start: the run ends after 2126-02-06T06:28:14Z
    FitDurationTooLongLeftOut,  // {0} the duration (ms): past 4,294,967.294 s
    FitDistanceTooFarLeftOut,   // {0} the distance (km): past 42,949,672.94 m
    FitCaloriesLeftUnset,       // {0} the calories: not a whole number from 0 to 65,534
    ValueUnparsedLeftOut,       // {0} the field (RunField key), {1} the text

    // --- Files read for import (files/).
    // FIT: `detail` empty. A file of several FIT files chained one after
    // another is read whole; each problem stops the whole file.
    FitNotFit,              // no FIT header at the start
    FitTrailingBytes,       // {0} the byte offset after a FIT file where no other begins: a
                            // warning (RunFile::warnings), the runs before it are read
    FitProtocolNewer,       // {0} the protocol version, "major.minor"
    FitHeaderCrc,           // the header's CRC does not match it
    FitFileCrc,             // the CRC at the end does not match the file
    FitTruncated,           // {0} the bytes there are, where the header needs more
    FitPastDataSize,        // {0} the byte offset of a message, {1} the data size the header gives
    FitUndefinedLocalType,  // {0} the local message type, {1} the byte offset of the message
    FitBadDefinition,       // {0} the byte offset of the definition (an unknown byte order)
    FitSessionIncomplete,   // {0} the session's number in the file, from 1, {1} the field
                            // missing (RunField key: kFieldStart, kFieldDuration, kFieldDistance)

    // {0} the session's number: a run whose start counts from the device's
    // power-on (below 0x10000000), not a time of day.
    FitDeviceRelativeStart,
    // A reader's problem says what in the
    // file was wrong and stands as the cause of ImportFileFailed, which names
    // the file. Walking folders reports FileMissing, FileCannotFollow,
    // FileCannotRead and FileNotRegular (above) for what it cannot walk.
    ImportFileFailed,           // {0} the file; cause: what was wrong in it
    ImportNotARunFile,          // {0} the file
    ImportZip,                  // {0} the file: an archive where a run file was looked for
                                // (inside an archive, or named otherwise in a folder)
    ImportNameMismatch,         // {0} the file, {1} what it holds, {2} what its name
                                // says, both as file endings (".tcx.gz", ".gpx")
    ImportFormatNotReadable,    // {0} the format ("FIT")
    ImportDuplicateRun,         // {0} the file, {1} the run's start, {2} the stored run it
                                // matches (its RunID or key): not added
    ImportFileWarning,          // {0} the file, read; cause: what in it was passed over
    ImportStopped,              // a stop was asked for while the file was read
    GzipTruncated,              // `detail` zlib's words, if any
    GzipDamaged,                // `detail` zlib's words
    XmlMalformed,               // {0} line, {1} column; `detail` expat's words
    XmlEntitiesRefused,         // {0} line (a document that declares entities)
    XmlTooDeep,                 // {0} line
    XmlBadValue,                // {0} line, {1} the element, {2} its text (at most 64 bytes)
    XmlTokenTooLong,            // {0} line where it begins, {1} its first bytes: a tag,
                                // comment, declaration... past 1 MiB
    GpxTrackWithoutTimes,       // {0} the track's number in the file, from 1
    GpxNamedTrackWithoutTimes,  // {0} the track's number, {1} its name
    TcxActivityWithoutStart,    // {0} the activity's number in the file, from 1
    TcxActivityWithoutLaps,     // {0} the activity's number
    CsvBadStart,                // {0} line, {1} the text
    CsvBadValue,                // {0} line, {1} the field (RunField key), {2} the text
    CsvCellCount,               // {0} line, {1} how many cells it has
    CsvLineTooLong,             // {0} line
    // A file read whole that holds no activity, so nothing came of it: {0} the file.
    ImportCourse,      // it holds a course (a route to follow)
    ImportWorkout,     // it holds a workout (a plan)
    ImportNoActivity,  // it holds nothing else a run could come from
    // A zip archive read like a folder: each cause of ImportFileFailed, which
    // names the archive, or an entry of it as ARCHIVE/ENTRY.
    ZipUnreadable,         // `detail` libzip's words (not a zip archive, damaged, unopened)
    ZipDirectoryTooLarge,  // {0} the most files an archive may list, {1} in how many MiB
    ZipTooLarge,           // {0} the bytes its run files declare, {1} the archive's bytes:
                           // more than deflate makes of them (a zip bomb)
    ZipEntryUnreadable,    // `detail` libzip's words (method, encryption, CRC, damaged data)

    // --- Schedules, status and manners (jobs/schedule, jobs/status, notify/).
    // `detail` the system's words (io/RandomBytes).
    RandomUnavailable,
    // A desktop notice not shown (notify/); `detail` the bus library's words,
    // or the D-Bus error's name and message.
    NoticeNoSessionBus,         // no session bus to reach
    NoticeNoService,            // the session bus has no notification service
    NoticeNoAnswer,             // {0} seconds waited for the notification service
    NoticeRefused,              // the bus or the notification service answered with an error
    NoticeUnsupported,          // this system's build shows no desktop notices
    NoticeNoBusAddress,         // neither DBUS_SESSION_BUS_ADDRESS nor $XDG_RUNTIME_DIR/bus
                                // names a session bus
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
                                // {1} their variables (a scheduled run sees none of them)
    // A host asked to be left alone (429, or 503 with Retry-After): {0} "host:port",
    // {1} until when, in local time ("2026-05-01 14:05"). Nothing is sent to it before then.
    HostPaused,
    // A password refused before and not changed since, not sent again by a run
    // without a terminal: {0} "host:port", {1} the user name (UTF-8).
    PasswordRefusedBefore,

    // --- An export (jobs/Export): {0} the file it was to write.
    ExportOntoOwnFile,      // the store, its -wal, -shm or lock file, or the settings file in use
    ExportEntryNotRegular,  // {1} what stands there (FileKind key): a name Strivo chose in a
                            // folder, held by a link or else; left as it is, nothing written

    // --- The store's files (store/): {0} strivo.db, its -wal, -shm or lock file.
    StoreNotOwned,          // {1} the user it belongs to (a name, or the number)
    StoreWritableByOthers,  // group or others may write it

    // --- The run list (runservice/, jobs/Download).
    RunIdHoldsZeroByte,  // {0} the RunID up to its zero byte: the run is left out

    // --- Values of the settings file that cannot be used (settings/): {0} the
    // key ("[nike+] https_port"), {1} the value as the file holds it (UTF-8).
    SettingsNotAPort,
    SettingsNoSuchFile,
    SettingsCaFileNotUsed,  // Windows trusts only the authorities in its own store

    // --- What the store could not keep of a service's answer or a sync (jobs/).
    HostPauseNotKept,     // {0} "host:port", {1} until when (local time); cause: why not kept
    RefusalNotKept,       // cause: the refusal (SignInRefused), kept nowhere
    RefusalNotForgotten,  // cause: why the store could not forget it
    SyncNotRecorded,      // cause: why the store could not keep the sync's record
    // A stop asked for from outside: {0} what asked (kStopBy... key).
    SyncInterrupted,
    // A schedule whose passwords are in this shell's environment alone, which
    // a scheduled run never sees: {0} the settings lines missing, {1} the
    // variables this shell has.
    SchedulePasswordsInShellOnly,

    LastCode,  // none: the end of the list, for the test that every code has words
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
// ValueNotCounted's {0}, and FitSessionIncomplete's {1}.
inline constexpr const char* kFieldDistance = "distance";
inline constexpr const char* kFieldDuration = "duration";
inline constexpr const char* kFieldCalories = "calories";
inline constexpr const char* kFieldStart = "start";  // FitSessionIncomplete's only

// What stopped a sync: the keys of SyncInterrupted's {0}.
inline constexpr const char* kStopBySigint = "sigint";
inline constexpr const char* kStopBySigterm = "sigterm";
inline constexpr const char* kStopBySighup = "sighup";
inline constexpr const char* kStopByCtrlC = "ctrl-c";
inline constexpr const char* kStopByCtrlBreak = "ctrl-break";
inline constexpr const char* kStopByConsoleClosed = "console-closed";
inline constexpr const char* kStopByLogoff = "logoff";
inline constexpr const char* kStopByWindowClosed = "window-closed";

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
