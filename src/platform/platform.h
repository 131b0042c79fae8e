#pragma once
// The one seam between Lapmark and the outside world: operator dialogs, clocks, files,
// HTTP, zip archives and the process.  Every window and every piece of logic receives a
// Platform by reference; the real implementations live in qt_platform.h, and the tests
// replace any part with a scripted double.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "locks.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace lm {

// A line break inside an operator message.
inline const QString CR = QStringLiteral("\r");

// ---------------------------------------------------------------- operator dialogs
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };
enum class Icon { None, Error };

// Shows how far a long transfer has come, with a button to cancel it.
class Progress {
  public:
    virtual ~Progress() = default;
    // `total` is -1 while unknown.  False once the operator has cancelled.
    virtual bool update(qint64 done, qint64 total) = 0;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Shows a modal message box and returns the button pressed.  A line break inside
    // the prompt is a single carriage return, as the texts are written.
    virtual Answer message(const QString& prompt, const QString& title,
                           Buttons buttons = Buttons::Ok, Answer defaultButton = Answer::Ok,
                           Icon icon = Icon::None) = 0;
    // A save-file chooser proposing `proposedName`; asks before replacing an existing
    // file and never writes anything.  Returns the full chosen name, or nothing when the
    // operator cancelled.
    virtual std::optional<QString> chooseSaveFile(const QString& proposedName) = 0;
    // A modal progress window, shown until the returned object is gone.
    virtual std::unique_ptr<Progress> progress(const QString& label) = 0;
};

// ---------------------------------------------------------------- clocks
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic clock, truncated to 32 bits so it wraps like the
    // tick counter of the machines this program was first written for.
    virtual std::uint32_t tickCount() = 0;
    // Time of day in seconds since midnight, with its fraction.
    virtual double secondsSinceMidnight() = 0;
    // Today's date as the system's short date text (M/d/yyyy where the system has no
    // short date setting of its own).
    virtual QString shortDateText() = 0;
    // Holds the calling thread; no window events run meanwhile.
    virtual void sleepMs(int ms) = 0;
    // Identity of the machine's current boot (empty when unknown).  Tick counts taken
    // under another boot mean nothing now.
    virtual QString bootId() = 0;
    // The tick count at which an input event happened, from the event's own time stamp,
    // where the windowing system stamps events on the tick counter's clock; nothing where
    // it does not, or for a missing stamp.
    virtual std::optional<std::uint32_t> eventTick(quint64 timestamp) = 0;
    // The local date and time, for logs.
    virtual QDateTime localNow();
    // Which counter the tick count reads, so that ticks are compared only with ticks of the
    // same kind (a journal written by an earlier version may count on another).
    virtual QString tickKind() = 0;
    // The counter of journals that name none (earlier versions), where all of those counted
    // on the same one; empty where they did not.
    virtual QString unnamedTickKind() = 0;
    // The time of day in UTC, milliseconds since 1970: what bridges a restart, where the
    // tick count starts again.
    virtual std::int64_t utcMs() = 0;
    // The name of this computer.
    virtual QString computerName() = 0;
};

// ---------------------------------------------------------------- files
// An append-only file of records that survives a crash or a power cut, held by one
// program at a time.
class Journal {
  public:
    enum class Status { Held, HeldElsewhere, Failed };
    virtual ~Journal() = default;
    virtual Status status() const = 0;
    // What the file held when it was opened.
    virtual QByteArray content() const = 0;
    // Writes `records` before returning; they reach the disk within about 50 ms.  False
    // when they could not be written (now or by an earlier write).
    virtual bool append(const QByteArray& records) = 0;
    // Waits until every record appended so far is on the disk; false when that failed or
    // took longer than `timeoutMs`.
    virtual bool waitDurable(int timeoutMs) = 0;
    // Renames the file to the first free name "<name>.1", "<name>.2", ... (never
    // replacing anything) and goes on in a new empty file under the old name.
    virtual bool setAside() = 0;
    // Who holds it while the status is HeldElsewhere.
    virtual LockHolder holder() const = 0;
    // Takes over a journal that names another computer, as the file is now; false where it
    // could not be taken.
    virtual bool takeOver() = 0;
};

// Real file operations, every one of them overridable so that tests can inject faults.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    virtual bool isFile(const QString& path);
    // Name of the ordinary file in `dir` whose name matches `name` without regard to
    // letter case (full path), or an empty text when there is none.
    virtual QString findFileNoCase(const QString& dir, const QString& name);
    // The whole file; nothing when it cannot be read or is larger than `maxBytes`.
    virtual std::optional<QByteArray> readFile(const QString& path, qint64 maxBytes = -1);
    // Replaces `path` with exactly `data`: written to a temporary file in the same
    // folder, every byte checked, flushed to disk, renamed over the old name, folder
    // synced.  A reader sees the old content or the new one, never a missing or half file.
    virtual bool writeFileAtomic(const QString& path, const QByteArray& data);
    // writeFileAtomic for a program: it can be run from the moment it has its name.
    virtual bool writeProgramAtomic(const QString& path, const QByteArray& data);
    // Writes `data` under `path` only when no file of that name exists yet; never
    // replaces anything.  Crash-safe like writeFileAtomic.
    virtual bool writeFileNew(const QString& path, const QByteArray& data);
    // Plain create-or-truncate and write, for downloads that may end up empty.
    virtual bool writeFilePlain(const QString& path, const QByteArray& data);
    // Adds `data` at the end of `path`, creating it; for logs.
    virtual bool appendFile(const QString& path, const QByteArray& data);
    virtual bool removeFile(const QString& path);
    virtual bool makeDir(const QString& path);
    // Names (not paths) of the ordinary files in `dir`.
    virtual QStringList listFiles(const QString& dir);
    virtual bool setExecutable(const QString& path);
    // True when both names lead to one and the same existing file.
    virtual bool sameFile(const QString& a, const QString& b);
    // Opens the journal `path` for appending (creating its folder and the file), holding
    // the lock file "<path>.lock" while the journal lives.  A lock left by a program that
    // no longer runs is taken over.
    virtual std::unique_ptr<Journal> openJournal(const QString& path);
    // True while a running program, or one on another computer, holds the lock file `path`.
    virtual bool lockHeld(const QString& path);
    // True while a running program of this computer holds it; a lock of another computer
    // (a program folder carried over on a flash drive), or one that cannot be read, is not.
    virtual bool lockHeldHere(const QString& path);
    // Removes the temporary files of saves in `dir` that an interruption left, older than
    // `olderThanMs`; the number removed.
    virtual int removeOwnTemporaries(const QString& dir, qint64 olderThanMs);
};

// ---------------------------------------------------------------- network and archives
struct FetchOptions {
    qint64 maxBytes = 256LL * 1024 * 1024;
    Progress* progress = nullptr; // shown while the body arrives; cancelling fails the fetch
};

class Http {
  public:
    virtual ~Http() = default;
    // Whole body of `url`; nothing on any failure (silence longer than the time-out, an
    // error status, a body over the size bound, a cancelled progress window).
    virtual std::optional<QByteArray> fetch(const QUrl& url, const FetchOptions& options) = 0;
    std::optional<QByteArray> fetch(const QUrl& url) { return fetch(url, FetchOptions{}); }
};

struct ExtractLimits {
    int maxEntries = 1000;
    qint64 maxBytes = 256LL * 1024 * 1024;
};

class Archives {
  public:
    virtual ~Archives() = default;
    // Writes every regular-file entry of the zip `archive` (its bytes, as they were checked)
    // directly into `folder` under its base name.  Returns the number of files written, or
    // -1 when the archive could not be read at all.
    virtual int extractFlat(const QByteArray& archive, const QString& folder,
                            const ExtractLimits& limits = {}) = 0;
};

// ---------------------------------------------------------------- the running program
// How a windowing system marks the repeats of a key that is held down.
enum class KeyRepeatRules {
    Marked, // every repeat is marked (Windows, Wayland): a press is new unless marked
    X11,    // X marks a repeat only where Qt finds its press already queued at the release
};

class Session {
  public:
    virtual ~Session() = default;
    virtual void processEvents() = 0;
    virtual void setWaitCursor(bool wait) = 0;
    // Closes every open window, the most recently opened first.
    virtual void closeAllWindows() = 0;
    virtual bool startDetached(const QString& program) = 0;
    // Ends the program as soon as control returns to the event loop.
    virtual void quit() = 0;
    // While true, the computer neither sleeps for idleness nor blanks its screen.
    virtual void keepAwake(bool awake) = 0;
    // The file of the running program.
    virtual QString programFile() = 0;
    // How this windowing system marks the repeats of a held key.
    virtual KeyRepeatRules keyRepeatRules() = 0;
};

struct Platform {
    Dialogs& dialogs;
    Clock& clock;
    FileSystem& files;
    Http& http;
    Archives& archives;
    Session& session;
};

} // namespace lm
