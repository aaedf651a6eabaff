#include "model/ProblemWords.h"

#include <array>
#include <optional>

#include "text/TextHelpers.h"

namespace strivo {
namespace {

// How a code's words are put together.
enum Shape : unsigned {
    kPlain = 0,
    kHost = 1u << 0,            // "{host}: " before the words, when the URL named one
    kDetailBrackets = 1u << 1,  // the lower library's words after, in brackets
    kDetailColon = 1u << 2,     // the lower library's words after a colon
    kCauseFirst = 1u << 3,      // {0} is the cause's words; the values follow from {1}
    kStorePath = 1u << 4,       // {0} is the store's path; empty: the store in memory
    kKindAt1 = 1u << 5,         // {1} is what a path turned out to be (kKind... key)
    kFieldAt0 = 1u << 6,        // {0} is a run's field (kField... key)
    kFieldAt1 = 1u << 7,        // {1} is a run's field (kField... key)
    kKeyAt0 = 1u << 8,          // {0} is a key of KeyWords' (kStopBy...)
    kOfStore = 1u << 9,         // the run store's files: the window says the record failed
};

struct Entry {
    ProblemCode code;
    const char* name;
    const char* english;
    unsigned shape;
};

constexpr unsigned kNet = kHost | kDetailBrackets;
constexpr unsigned kStore = kStorePath | kDetailColon | kOfStore;
constexpr unsigned kFile = kDetailColon;

// The words of every code. Kept in the code's order; a test checks that
// every code has its entry.
constexpr Entry kEntries[] = {
    {ProblemCode::None, "none", "", kPlain},
    {ProblemCode::Words, "words", "", kPlain},

    {ProblemCode::NetCancelled, "net-cancelled", N_("cancelled"), kNet},
    {ProblemCode::NetTimedOut, "net-timed-out", N_("time-out"), kNet},
    {ProblemCode::NetStalled, "net-stalled", N_("time-out (nothing moved for {1} s)"), kNet},
    {ProblemCode::NetDeadline, "net-deadline", N_("time-out (not done within {1} s)"), kNet},
    {ProblemCode::NetTooSlow, "net-too-slow", N_("time-out (fewer than {1} bytes in {2} s)"), kNet},
    {ProblemCode::NetTooLarge, "net-too-large", N_("answer too large"), kNet},
    {ProblemCode::NetStatus, "net-status", N_("status {1}"), kNet},
    {ProblemCode::NetRefused, "net-refused", N_("connection refused"), kNet},
    {ProblemCode::NetCannotConnect, "net-cannot-connect", N_("cannot connect"), kNet},
    {ProblemCode::NetUnknownHost, "net-unknown-host", N_("unknown host"), kNet},
    {ProblemCode::NetTooManyRedirects, "net-redirects", N_("too many redirects"), kNet},
    {ProblemCode::NetRedirectRefused, "net-redirect-refused", N_("redirect refused"), kNet},
    {ProblemCode::NetUntrusted, "net-untrusted", N_("certificate not trusted"), kNet},
    {ProblemCode::NetWrongHost, "net-wrong-host", N_("certificate for another host"), kNet},
    {ProblemCode::NetTls, "net-tls", N_("TLS handshake failed"), kNet},
    {ProblemCode::NetConnectionLost, "net-connection-lost", N_("connection lost"), kNet},
    {ProblemCode::NetBadUrl, "net-bad-url", N_("bad URL"), kNet},
    {ProblemCode::NetNoSession, "net-no-session", N_("no session"), kNet},
    {ProblemCode::NetOutOfMemory, "net-out-of-memory", N_("out of memory"), kNet},
    {ProblemCode::NetOther, "net-other", N_("network error"), kNet},
    {ProblemCode::CertificateFileUnreadable, "certificate-file-unreadable",
     N_("cannot read the certificate file {0}"), kDetailColon},
    {ProblemCode::CertificateFileNotPem, "certificate-file-not-pem",
     N_("the certificate file {0} holds something else than PEM certificates"), kPlain},
    {ProblemCode::CertificateFileNotUsed, "certificate-file-not-used",
     N_("{0}: not used on Windows, which trusts only the authorities in its certificate store; "
        "import the authority there and remove cafile"),
     kPlain},
    {ProblemCode::BuiltInCertificatesDamaged, "built-in-certificates-damaged",
     N_("the built-in certificates are damaged"), kPlain},
    {ProblemCode::TransportCannotStart, "transport-cannot-start",
     N_("the network library cannot start"), kDetailColon},

    {ProblemCode::ServiceSignInFailed, "service-sign-in-failed", N_("Nike+ sign-in failed: {0}"),
     kCauseFirst},
    {ProblemCode::RunListFailed, "run-list-failed", N_("downloading the run list failed: {0}"),
     kCauseFirst},
    {ProblemCode::SiteSignInFailed, "site-sign-in-failed", N_("Kelvora sign-in failed: {0}"),
     kCauseFirst},
    {ProblemCode::SyncFailed, "sync-failed", N_("the sync failed: {0}"), kCauseFirst},
    {ProblemCode::SignInRefused, "sign-in-refused", N_("user name or password refused"), kPlain},
    {ProblemCode::NoRunList, "no-run-list", N_("the run service did not send a run list"), kPlain},
    {ProblemCode::SessionEndedSignInPage, "session-ended-sign-in-page",
     N_("the site signed the session out: it answered the post of run {0} with its sign-in "
        "form; it and the runs after it are posted next time"),
     kPlain},
    {ProblemCode::SessionEndedRedirect, "session-ended-redirect",
     N_("the site signed the session out: it answered the post of run {0} with a redirect to "
        "its sign-in page; it and the runs after it are posted next time"),
     kPlain},
    {ProblemCode::SessionEndedForbidden, "session-ended-forbidden",
     N_("the site signed the session out: it answered the post of run {0} with 403 "
        "(forbidden); it and the runs after it are posted next time"),
     kPlain},
    {ProblemCode::PostRedirected, "post-redirected",
     N_("the site redirected the post of run {0} ({1} to {2}); the run is held until you check "
        "the run log"),
     kPlain},
    {ProblemCode::ServerErrorsInARow, "server-errors-in-a-row",
     N_("{0}; the site answered {1} posts in a row with a server error, so the sync stopped"),
     kCauseFirst},
    {ProblemCode::SyncStopped, "sync-stopped", N_("stopped"), kPlain},
    {ProblemCode::SyncEndedBeforeAnswer, "sync-ended-before-answer",
     N_("the sync ended before the answer"), kPlain},
    {ProblemCode::SettledByRunner, "settled-by-runner", N_("settled by the runner"), kPlain},
    {ProblemCode::RunsNotKept, "runs-not-kept", N_("the runs were not kept in the run store: {0}"),
     kCauseFirst},

    {ProblemCode::StoreNotRegular, "store-not-regular",
     N_("{0} is {1}, not a regular file; left as it is"), kStore | kKindAt1},
    {ProblemCode::StoreForeign, "store-foreign",
     N_("{0} is not a database of Strivo's; left as it is"), kStore},
    {ProblemCode::StoreOtherProgram, "store-other-program",
     N_("{0} is a database of another program; left as it is"), kStore},
    {ProblemCode::StoreNewer, "store-newer",
     N_("{0} was written by a newer Strivo (schema {1}, this one knows {2}); left as it is"),
     kStore},
    {ProblemCode::StoreInUse, "store-in-use", N_("{0} is held by another Strivo's sync"), kStore},
    {ProblemCode::StoreCannotLock, "store-cannot-lock", N_("cannot lock {0}"), kStore},
    {ProblemCode::StoreCannotOpen, "store-cannot-open", N_("cannot open {0}"), kStore},
    {ProblemCode::StoreCannotRead, "store-cannot-read", N_("cannot read {0}"), kStore},
    {ProblemCode::StoreCannotWrite, "store-cannot-write", N_("cannot write {0}"), kStore},
    {ProblemCode::StoreDiskFull, "store-disk-full", N_("cannot write {0}: the disk is full"),
     kStore},
    {ProblemCode::StoreDamaged, "store-damaged", N_("{0} is damaged"), kStore},
    {ProblemCode::StoreCannotCopy, "store-cannot-copy", N_("cannot copy before migrating {0}"),
     kStore},
    {ProblemCode::OlderRecordNotRegular, "older-record-not-regular",
     N_("{0} is {1}, not a record of posted runs; skipped"), kKindAt1 | kOfStore},
    {ProblemCode::OlderRecordBadLines, "older-record-bad-lines",
     N_("{1} lines of {0} are not records of posted runs; skipped"), kOfStore},

    {ProblemCode::FileNotRegular, "file-not-regular", N_("{0} is {1}, not a regular file"),
     kFile | kKindAt1},
    {ProblemCode::FileCannotFollow, "file-cannot-follow", N_("cannot follow the links of {0}"),
     kFile},
    {ProblemCode::FileCannotCreate, "file-cannot-create", N_("cannot create {0}"), kFile},
    {ProblemCode::FileCannotCreateTemporary, "file-cannot-create-temporary",
     N_("cannot write {0}: cannot create a file in the folder"), kFile},
    {ProblemCode::FileCannotSetPermissions, "file-cannot-set-permissions",
     N_("cannot write {0}: cannot set permissions"), kFile},
    {ProblemCode::FileCannotWrite, "file-cannot-write", N_("cannot write {0}"), kFile},
    {ProblemCode::FileCannotFlush, "file-cannot-flush",
     N_("cannot write {0}: cannot flush to disk"), kFile},
    {ProblemCode::FileCannotClose, "file-cannot-close", N_("cannot write {0}: cannot close"),
     kFile},
    {ProblemCode::FileCannotReplace, "file-cannot-replace",
     N_("cannot write {0}: cannot replace the file"), kFile},
    {ProblemCode::FileExists, "file-exists", N_("{0} already exists"), kFile},
    {ProblemCode::FileCannotOpen, "file-cannot-open", N_("cannot open {0}"), kFile},
    {ProblemCode::FileCannotRead, "file-cannot-read", N_("cannot read {0}"), kFile},
    {ProblemCode::FileInUse, "file-in-use", N_("{0} is in use by another Strivo"), kFile},
    {ProblemCode::FileNotOpen, "file-not-open", N_("{0} is not open"), kFile},
    {ProblemCode::FileReadOnly, "file-read-only", N_("{0} is a read-only file"), kFile},
    {ProblemCode::FileNoDescriptor, "file-no-descriptor", N_("no descriptor left for {0}"), kFile},
    {ProblemCode::FileMissing, "file-missing", N_("{0} does not exist"), kFile},
    {ProblemCode::FileTooLarge, "file-too-large",
     N_("cannot write {0}: it would pass the file size limit"), kFile},
    {ProblemCode::FileDiskFull, "file-disk-full", N_("cannot write {0}: the disk is full"), kFile},

    {ProblemCode::StartUnparsedLeftOut, "start-unparsed-left-out",
     N_("start \"{0}\" does not parse, left out"), kPlain},
    {ProblemCode::StartUnparsedNotCounted, "start-unparsed-not-counted",
     N_("start \"{0}\" does not parse, not counted"), kPlain},
    {ProblemCode::ValueUnparsedWrittenAsZero, "value-unparsed-written-as-zero",
     N_("{0} \"{1}\" does not parse, written as 0"), kFieldAt0},
    {ProblemCode::CaloriesOutOfRange, "calories-out-of-range",
     N_("calories \"{0}\" is outside 0..65535, written as 0"), kPlain},
    {ProblemCode::StartSecondTaken, "start-second-taken",
     N_("starts in the same second as another run, Id moved to {0}"), kPlain},
    {ProblemCode::ValueNotCounted, "value-not-counted",
     N_("{0} \"{1}\" not counted: does not parse"), kFieldAt0},
    {ProblemCode::ValueImplausible, "value-implausible",
     N_("{0} \"{1}\" is beyond a plausible run, not counted"), kFieldAt0},
    {ProblemCode::RunOutsideYearsLeftOut, "run-outside-years-left-out",
     N_("start \"{0}\" puts the run outside the years 0001 to 9999 (UTC), left out"), kPlain},
    {ProblemCode::FitStartTooEarlyLeftOut, "fit-start-too-early-left-out",
     N_("start \"{0}\" is before 1998-07-03 21:24:16 UTC, the first time a FIT file can hold; "
        "left out"),
     kPlain},
    {ProblemCode::FitEndTooLateLeftOut, "fit-end-too-late-left-out",
     N_("start \"{0}\" puts the run's end after 2126-02-06 06:28:14 UTC, the last time a FIT file "
        "can hold; left out"),
     kPlain},
    {ProblemCode::FitDurationTooLongLeftOut, "fit-duration-too-long-left-out",
     N_("duration \"{0}\" is longer than the 49 days, 17 hours a FIT file can hold; left out"),
     kPlain},
    {ProblemCode::FitDistanceTooFarLeftOut, "fit-distance-too-far-left-out",
     N_("distance \"{0}\" is farther than the 42,949 km a FIT file can hold; left out"), kPlain},
    {ProblemCode::FitCaloriesLeftUnset, "fit-calories-left-unset",
     N_("calories \"{0}\" are not a whole number from 0 to 65,534, which a FIT file can hold; "
        "left unset"),
     kPlain},
    {ProblemCode::ValueUnparsedLeftOut, "value-unparsed-left-out",
     N_("{0} \"{1}\" does not parse, left out"), kFieldAt0},

    {ProblemCode::FitNotFit, "fit-not-fit", N_("this is not a FIT file"), kPlain},
    {ProblemCode::FitTrailingBytes, "fit-trailing-bytes",
     N_("the bytes from byte {0} on, after the complete FIT data, are no FIT file and were "
        "passed over"),
     kPlain},
    {ProblemCode::FitProtocolNewer, "fit-protocol-newer",
     N_("the file uses FIT protocol {0}, newer than this program reads"), kPlain},
    {ProblemCode::FitHeaderCrc, "fit-header-crc",
     N_("the FIT file's header is damaged (its check sum does not match)"), kPlain},
    {ProblemCode::FitFileCrc, "fit-file-crc",
     N_("the FIT file is damaged (its check sum does not match)"), kPlain},
    {ProblemCode::FitTruncated, "fit-truncated", N_("the FIT file is cut off after {0} bytes"),
     kPlain},
    {ProblemCode::FitPastDataSize, "fit-past-data-size",
     N_("the message at byte {0} runs past the {1} bytes of data the FIT header announces"),
     kPlain},
    {ProblemCode::FitUndefinedLocalType, "fit-undefined-local-type",
     N_("the message at byte {1} uses local type {0}, which no definition gave"), kPlain},
    {ProblemCode::FitBadDefinition, "fit-bad-definition",
     N_("the definition at byte {0} names an unknown byte order"), kPlain},
    {ProblemCode::FitSessionIncomplete, "fit-session-incomplete",
     N_("session {0} of the FIT file, a run, has no {1}"), kFieldAt1},
    {ProblemCode::FitDeviceRelativeStart, "fit-device-relative-start",
     N_("session {0} of the FIT file, a run, starts at a time counted from when the device was "
        "switched on, not at a date"),
     kPlain},
    {ProblemCode::ImportFileFailed, "import-file-failed", N_("{0} could not be imported"), kPlain},
    {ProblemCode::ImportNotARunFile, "import-not-a-run-file",
     N_("{0} is not a GPX, TCX, FIT or Strivo CSV file"), kPlain},
    {ProblemCode::ImportZip, "import-zip",
     N_("{0} is a zip archive: unpack it and import the files inside"), kPlain},
    {ProblemCode::ImportNameMismatch, "import-name-mismatch",
     N_("{0} holds {1} data, but its name ends in {2}"), kPlain},
    {ProblemCode::ImportFormatNotReadable, "import-format-not-readable",
     N_("this version cannot read {0} files"), kPlain},
    {ProblemCode::ImportDuplicateRun, "import-duplicate-run",
     N_("{0}: the run of {1} is already stored as {2}; not added again"), kPlain},
    {ProblemCode::ImportFileWarning, "import-file-warning", N_("{0} was imported"), kPlain},
    {ProblemCode::ImportStopped, "import-stopped", N_("stopped"), kPlain},
    {ProblemCode::GzipTruncated, "gzip-truncated",
     N_("the gzip data ends too early (the file is incomplete)"), kDetailColon},
    {ProblemCode::GzipDamaged, "gzip-damaged", N_("the gzip data is damaged"), kDetailColon},
    {ProblemCode::XmlMalformed, "xml-malformed",
     N_("the XML is not well-formed at line {0}, column {1}"), kDetailColon},
    {ProblemCode::XmlEntitiesRefused, "xml-entities-refused",
     N_("the XML declares entities at line {0}; run files never need them, so it is refused"),
     kPlain},
    {ProblemCode::XmlTooDeep, "xml-too-deep", N_("the XML nests elements too deeply (line {0})"),
     kPlain},
    {ProblemCode::XmlBadValue, "xml-bad-value",
     N_("line {0}: the value of <{1}> cannot be read: \"{2}\""), kPlain},
    {ProblemCode::XmlTokenTooLong, "xml-token-too-long",
     N_("line {0}: the markup beginning \"{1}\" runs past 1 MiB, longer than any run file "
        "needs, so the file is refused"),
     kPlain},
    {ProblemCode::GpxTrackWithoutTimes, "gpx-track-without-times",
     N_("track {0} has no times, so its start and duration are unknown"), kPlain},
    {ProblemCode::GpxNamedTrackWithoutTimes, "gpx-named-track-without-times",
     N_("track {0} (\"{1}\") has no times, so its start and duration are unknown"), kPlain},
    {ProblemCode::TcxActivityWithoutStart, "tcx-activity-without-start",
     N_("activity {0} has no start time (no Id and no lap start)"), kPlain},
    {ProblemCode::TcxActivityWithoutLaps, "tcx-activity-without-laps",
     N_("activity {0} has no laps"), kPlain},
    {ProblemCode::CsvBadStart, "csv-bad-start",
     N_("line {0}: the start \"{1}\" is not a date and time (YYYY-MM-DD hh:mm:ss)"), kPlain},
    {ProblemCode::CsvBadValue, "csv-bad-value", N_("line {0}: the {1} \"{2}\" cannot be read"),
     kFieldAt1},
    {ProblemCode::CsvCellCount, "csv-cell-count",
     N_("line {0} has {1} cells, not the 6 of a Strivo export"), kPlain},
    {ProblemCode::CsvLineTooLong, "csv-line-too-long", N_("line {0} is too long to be a run"),
     kPlain},
    {ProblemCode::ImportCourse, "import-course",
     N_("{0} holds a course (a route to follow), not an activity: nothing to import"), kPlain},
    {ProblemCode::ImportWorkout, "import-workout",
     N_("{0} holds a workout (a plan of steps), not an activity: nothing to import"), kPlain},
    {ProblemCode::ImportNoActivity, "import-no-activity",
     N_("{0} holds no activity: nothing to import"), kPlain},
    {ProblemCode::ZipUnreadable, "zip-unreadable", N_("the zip archive cannot be read"),
     kDetailColon},
    {ProblemCode::ZipDirectoryTooLarge, "zip-directory-too-large",
     N_("the zip archive lists more than this program reads (at most {0} files in {1} MiB)"),
     kPlain},
    {ProblemCode::ZipTooLarge, "zip-too-large",
     N_("its files say they hold {0} bytes, more than a zip archive of {1} bytes can: a zip "
        "bomb, refused"),
     kPlain},
    {ProblemCode::ZipEntryUnreadable, "zip-entry-unreadable",
     N_("the file cannot be read from the zip archive"), kDetailColon},
    {ProblemCode::RandomUnavailable, "random-unavailable", N_("the system gave no random bytes"),
     kDetailColon},
    {ProblemCode::NoticeNoSessionBus, "notice-no-session-bus",
     N_("there is no desktop session bus to show a notice on"), kDetailColon},
    {ProblemCode::NoticeNoService, "notice-no-service",
     N_("the desktop has no notification service"), kDetailColon},
    {ProblemCode::NoticeNoAnswer, "notice-no-answer",
     N_("the desktop's notification service did not answer within {0} s"), kPlain},
    {ProblemCode::NoticeRefused, "notice-refused", N_("the desktop did not accept the notice"),
     kDetailColon},
    {ProblemCode::NoticeUnsupported, "notice-unsupported",
     N_("desktop notices are not available on this system"), kPlain},
    {ProblemCode::NoticeNoBusAddress, "notice-no-bus-address",
     N_("there is no desktop session bus to show a notice on: DBUS_SESSION_BUS_ADDRESS unset, "
        "no $XDG_RUNTIME_DIR/bus"),
     kPlain},
    {ProblemCode::ScheduleBadTime, "schedule-bad-time",
     N_("not a time of day: {0} (write HH:MM, 00:00 to 23:59)"), kPlain},
    {ProblemCode::ScheduleUnusablePath, "schedule-unusable-path",
     N_("the scheduler cannot run with this path: {0}"), kPlain},
    {ProblemCode::ScheduleForeignEntry, "schedule-foreign-entry",
     N_("{0} was not written by Strivo; it is left as it is"), kPlain},
    {ProblemCode::ScheduleCommandNotStarted, "schedule-command-not-started",
     N_("could not start {0}"), kDetailColon},
    {ProblemCode::ScheduleCommandFailed, "schedule-command-failed",
     N_("{0} failed (exit status {1})"), kDetailColon},
    {ProblemCode::ScheduleCommandKilled, "schedule-command-killed",
     N_("{0} was ended by signal {1}"), kDetailColon},
    {ProblemCode::ScheduleCannotRemove, "schedule-cannot-remove", N_("cannot remove {0}"),
     kDetailColon},
    {ProblemCode::ScheduleTaskScheduler, "schedule-task-scheduler",
     N_("the Task Scheduler refused {0} ({1})"), kDetailColon},
    {ProblemCode::ScheduleNeedsPasswords, "schedule-needs-passwords",
     N_("a scheduled sync cannot ask for passwords: put {0} in the settings file"), kPlain},
    {ProblemCode::HostPaused, "host-paused",
     N_("{0} asked to be left alone until {1}; nothing is sent to it before then"), kPlain},
    {ProblemCode::PasswordRefusedBefore, "password-refused-before",
     N_("{0} refused the password of {1} before, and it has not changed since; it is not sent "
        "again without a terminal: correct it in the settings, or run strivo-cli in a terminal"),
     kPlain},
    {ProblemCode::ExportOntoOwnFile, "export-onto-own-file",
     N_("{0} is Strivo's own store or settings file; an export there would replace it, so "
        "nothing was written: name another file"),
     kPlain},
    {ProblemCode::ExportEntryNotRegular, "export-entry-not-regular",
     N_("{0} is {1}, not a regular file; it is left as it is and nothing was written there"),
     kFile | kKindAt1},
    {ProblemCode::StoreNotOwned, "store-not-owned",
     N_("{0} belongs to the user {1}, not to the user running Strivo, who could not trust "
        "it; left as it is: move it away, or use the store as {1}"),
     kOfStore},
    {ProblemCode::StoreWritableByOthers, "store-writable-by-others",
     N_("{0} may be written by other users, who could change what was posted; left as it is: "
        "make it writable by its owner alone (chmod go-w)"),
     kOfStore},
    {ProblemCode::RunIdHoldsZeroByte, "run-id-holds-zero-byte",
     N_("the RunID of run {0} holds a zero byte, which cuts the rest of its line from the run "
        "list: the run is left out"),
     kPlain},

    {ProblemCode::SettingsNotAPort, "settings-not-a-port", N_("{0}={1}: not a port (1 to 65535)"),
     kPlain},
    {ProblemCode::SettingsNoSuchFile, "settings-no-such-file", N_("{0}={1}: no such file"), kPlain},
    {ProblemCode::SettingsCaFileNotUsed, "settings-cafile-not-used",
     N_("{0}={1}: not used on Windows, which trusts only the authorities in its certificate "
        "store; import the authority there and remove the line"),
     kPlain},
    {ProblemCode::HostPauseNotKept, "host-pause-not-kept",
     N_("{1} asked to be left alone until {2}, but the store could not keep this ({0}): a later "
        "run may contact it sooner, so wait until then"),
     kCauseFirst},
    {ProblemCode::RefusalNotKept, "refusal-not-kept",
     N_("{0}; the store could not keep this refusal, so a run without a terminal may send the "
        "same password again"),
     kCauseFirst},
    {ProblemCode::RefusalNotForgotten, "refusal-not-forgotten",
     N_("the store could not forget that this password was refused before ({0}): a run without "
        "a terminal still does not send it"),
     kCauseFirst},
    {ProblemCode::SyncNotRecorded, "sync-not-recorded",
     N_("this sync could not be recorded ({0}): the status and the sync record do not show it"),
     kCauseFirst},
    {ProblemCode::SyncInterrupted, "sync-interrupted", N_("interrupted by {0}"), kKeyAt0},
    {ProblemCode::SchedulePasswordsInShellOnly, "schedule-passwords-in-shell-only",
     N_("this shell's environment is not the schedule's, so {1} would not reach a scheduled "
        "sync: put {0} in the settings file"),
     kPlain},
};

const Entry* EntryOf(ProblemCode code) {
    for (const Entry& entry : kEntries) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// The words of a key among a problem's values.
const char* KeyWords(std::string_view key) {
    static constexpr std::array<std::pair<const char*, const char*>, 19> kKeys = {{
        {kFieldStart, N_("start time")},
        {"descriptor", N_("an open descriptor")},
        {kKindSymlink, N_("a symbolic link")},
        {kKindFolder, N_("a folder")},
        {kKindFifo, N_("a FIFO")},
        {kKindDevice, N_("a device")},
        {kKindSocket, N_("a socket")},
        {kKindOther, N_("something else")},
        {kFieldDistance, N_("distance")},
        {kFieldDuration, N_("duration")},
        {kFieldCalories, N_("calories")},
        {kStopBySigint, N_("SIGINT (Ctrl+C)")},
        {kStopBySigterm, N_("SIGTERM")},
        {kStopBySighup, N_("SIGHUP (its terminal closed)")},
        {kStopByCtrlC, N_("Ctrl+C")},
        {kStopByCtrlBreak, N_("Ctrl+Break")},
        {kStopByConsoleClosed, N_("its console closing")},
        {kStopByLogoff, N_("Windows logging off or shutting down")},
        {kStopByWindowClosed, N_("the window closing")},
    }};
    for (const auto& [name, words] : kKeys) {
        if (key == name) {
            return words;
        }
    }
    return nullptr;
}

// Whose words a problem's detail holds, as a bracket names it.
std::string LibraryOf(const MessageCatalog* catalog, const Problem& problem) {
    const std::string_view name = CodeName(problem.code);
    static constexpr std::pair<std::string_view, const char*> kLibraries[] = {
        {"net-", STRIVO_TRANSPORT_LIBRARY},
        {"transport-", STRIVO_TRANSPORT_LIBRARY},
        {"store-", "SQLite"},
        {"older-record-", "SQLite"},
        {"gzip-", "zlib"},
        {"xml-", "expat"},
        {"notice-", "sd-bus"},
    };
    for (const auto& [prefix, library] : kLibraries) {
        if (name.starts_with(prefix)) {
            return library;
        }
    }
    // A command's own error output: the command names it.
    if (problem.code == ProblemCode::ScheduleCommandFailed ||
        problem.code == ProblemCode::ScheduleCommandKilled) {
        return problem.Value(0).substr(0, problem.Value(0).find(' '));
    }
    return TrIn(catalog, N_("the system"));
}

std::string Translated(const MessageCatalog* catalog, const std::string& value) {
    const char* words = KeyWords(value);
    return words != nullptr ? TrIn(catalog, words) : value;
}

std::string Words(const MessageCatalog* catalog, const Problem& problem) {
    const Entry* entry = EntryOf(problem.code);
    if (entry == nullptr || problem.code == ProblemCode::None) {
        return problem.detail;
    }
    if (problem.code == ProblemCode::Words) {
        return problem.detail;
    }
    std::vector<std::string> values = problem.values;
    if ((entry->shape & kStorePath) != 0 && !values.empty() && values[0].empty()) {
        values[0] = TrIn(catalog, N_("the in-memory store"));
    }
    if ((entry->shape & kKindAt1) != 0 && values.size() > 1) {
        values[1] = Translated(catalog, values[1]);
    }
    if ((entry->shape & (kFieldAt0 | kKeyAt0)) != 0 && !values.empty()) {
        values[0] = Translated(catalog, values[0]);
    }
    if ((entry->shape & kFieldAt1) != 0 && values.size() > 1) {
        values[1] = Translated(catalog, values[1]);
    }
    if ((entry->shape & kCauseFirst) != 0) {
        values.insert(values.begin(),
                      problem.cause ? Words(catalog, *problem.cause) : std::string());
    }
    std::string words = FillIn(TrIn(catalog, entry->english), values);
    if ((entry->shape & kHost) != 0 && !problem.Value(0).empty()) {
        words = problem.Value(0) + ": " + words;
    }
    const bool detailed = (entry->shape & (kDetailBrackets | kDetailColon)) != 0;
    if (!problem.detail.empty() && detailed && catalog != nullptr) {
        // In another language a library's English stays only in a bracket
        // that names it, after the sentence that says what it means.
        words +=
            FillIn(TrIn(catalog, N_(" ({0}: {1})")), {LibraryOf(catalog, problem), problem.detail});
    } else if (!problem.detail.empty() && detailed) {
        words += (entry->shape & kDetailBrackets) != 0 ? " (" + problem.detail + ")"
                                                       : ": " + problem.detail;
    }
    if (problem.cause && (entry->shape & kCauseFirst) == 0) {
        words += TrIn(catalog, N_(": ")) + Words(catalog, *problem.cause);
    }
    return words;
}

}  // namespace

std::string DescribeIn(const MessageCatalog* catalog, const Problem& problem) {
    return MaskControls(Words(catalog, problem));
}

std::string Describe(const Problem& problem) {
    return DescribeIn(CatalogInUse(), problem);
}

std::string DescribeReason(std::string_view key) {
    return CutText(Describe(ProblemFromKey(key)), kReasonCharacters);
}

bool OfTheStore(ProblemCode code) {
    const Entry* entry = EntryOf(code);
    return entry != nullptr && (entry->shape & kOfStore) != 0;
}

std::string_view CodeName(ProblemCode code) {
    const Entry* entry = EntryOf(code);
    return entry != nullptr ? entry->name : "unknown";
}

std::string ProblemKey(const Problem& problem) {
    std::string key(CodeName(problem.code));
    for (const std::string& value : problem.values) {
        key += " " + PercentEncode(value);
    }
    if (!problem.detail.empty()) {
        key += " !" + PercentEncode(problem.detail);  // "!" is encoded in every value
    }
    if (problem.cause) {
        key += " | " + ProblemKey(*problem.cause);
    }
    return key;
}

Problem ProblemFromKey(std::string_view key) {
    const auto words = [key] { return Problem(ProblemCode::Words, {}, std::string(key)); };
    const std::size_t bar = key.find(" | ");
    const std::string_view own = key.substr(0, bar);
    const std::size_t space = own.find(' ');
    const std::string_view name = own.substr(0, space);
    std::optional<ProblemCode> code;
    for (const Entry& entry : kEntries) {
        if (name == entry.name && entry.code != ProblemCode::Words) {
            code = entry.code;
        }
    }
    if (!code) {
        return words();
    }
    Problem problem(*code);
    std::string_view rest = space == std::string_view::npos ? "" : own.substr(space + 1);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const bool isDetail = rest.front() == '!';
        const std::optional<std::string> value =
            PercentDecode(rest.substr(isDetail ? 1 : 0, end - (isDetail ? 1 : 0)));
        if (!value) {
            return words();
        }
        (isDetail ? problem.detail : problem.values.emplace_back()) = *value;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    if (bar != std::string_view::npos) {
        problem = std::move(problem).Because(ProblemFromKey(key.substr(bar + 3)));
    }
    return problem;
}

}  // namespace strivo
