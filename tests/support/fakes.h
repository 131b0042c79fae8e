#pragma once
// Scripted stand-ins for the platform: operator answers, clocks, HTTP and the session are
// recorded and scripted; files are real (in a temporary folder) with faults on request.

#include "core/app_state.h"
#include "platform/system.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

namespace lm::test {

using namespace lm;

class FakeDialogs : public Dialogs {
  public:
    // Each message as "Title [error] [Yes/No, default No]: prompt", to compare whole.
    Answer message(const QString& prompt, const QString& title, Buttons buttons,
                   Answer defaultButton, Icon icon) override {
        said.append(title + (icon == Icon::Error ? " [error]" : "") +
                    (buttons == Buttons::Ok         ? ""
                     : defaultButton == Answer::Yes ? " [Yes/No]"
                                                    : " [Yes/No, default No]") +
                    ": " + prompt);
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return answers.isEmpty() ? defaultButton : answers.takeFirst();
    }
    std::optional<QString> chooseSaveFile(const QString& proposedName) override {
        said.append("chooser: " + proposedName);
        return chosenFile;
    }
    std::unique_ptr<Progress> progress(const QString&) override {
        struct Shown : Progress {
            qint64 cancelAt;
            explicit Shown(qint64 at) : cancelAt(at) {}
            bool update(qint64 done, qint64) override { return cancelAt < 0 || done < cancelAt; }
        };
        return std::make_unique<Shown>(cancelAtBytes);
    }
    QString last() const { return said.isEmpty() ? QString() : said.last(); }

    QStringList said;
    QList<Answer> answers; // for the next questions; without one, the default button
    std::optional<QString> chosenFile;
    qint64 cancelAtBytes = -1; // the operator cancels once this much has arrived
};

class FakeClock : public Clock {
  public:
    std::uint32_t tickCount() override { return tick; }
    double secondsSinceMidnight() override { return timeOfDay; }
    QString shortDateText() override { return QStringLiteral("3/14/2018"); }
    void sleepMs(int ms) override {
        sleptMs += ms;
        advance(ms);
    }
    QString bootId() override { return boot; }
    std::optional<std::uint32_t> eventTick(quint64 stamp) override {
        return stampsOnTicks && stamp ? std::optional<std::uint32_t>(std::uint32_t(stamp))
                                      : std::nullopt;
    }
    QString tickKind() override { return kind; }
    QString unnamedTickKind() override { return unnamedKind; }
    std::int64_t utcMs() override { return utc; }
    QString computerName() override { return computer; }
    void advance(int ms) {
        tick += static_cast<std::uint32_t>(ms);
        timeOfDay += ms / 1000.0;
        utc += ms;
    }
    std::uint32_t tick = 5'000'000;
    double timeOfDay = 36'000.0;
    qint64 sleptMs = 0;
    QString boot = QStringLiteral("boot-1");
    QString kind = QStringLiteral("CLOCK_BOOTTIME");
    QString unnamedKind;                  // as on Linux: earlier versions counted on two kinds
    std::int64_t utc = 1'520'000'000'000; // 3/14/2018
    QString computer = QStringLiteral("FINISH-1");
    bool stampsOnTicks = false;
};

class FakeHttp : public Http {
  public:
    using Http::fetch;
    std::optional<QByteArray> fetch(const QUrl& url, const FetchOptions& options) override {
        requested.append(url.path());
        const QByteArray body = bodies.value(url.path());
        if (!bodies.contains(url.path()) ||
            (options.progress && !options.progress->update(body.size(), body.size())))
            return std::nullopt;
        return body;
    }
    QMap<QString, QByteArray> bodies; // by URL path
    QStringList requested;
};

// What the program did with the session, in order ("wait", "start <program>", "quit"...).
class FakeSession : public Session {
  public:
    void processEvents() override {}
    void setWaitCursor(bool wait) override { did.append(wait ? "wait" : "arrow"); }
    void closeAllWindows() override { did.append("close all"); }
    bool startDetached(const QString& program) override {
        did.append("start " + program);
        return !startFails;
    }
    void quit() override { did.append("quit"); }
    void keepAwake(bool awake) override { did.append(awake ? "awake" : "may sleep"); }
    QString programFile() override { return program; }
    KeyRepeatRules keyRepeatRules() override { return repeatRules; }
    QStringList did;
    KeyRepeatRules repeatRules = KeyRepeatRules::Marked;
    QString program;
    bool startFails = false;
};

// Real files; writes to names that contain one of `failWrites` fail, and a name that ends
// in `takenMeanwhile` is taken by another program just before it is written.
class FaultyFiles : public FileSystem {
  public:
    bool writeFileAtomic(const QString& path, const QByteArray& data) override {
        ++atomicWrites;
        takeMeanwhile(path);
        return !fails(path) && FileSystem::writeFileAtomic(path, data);
    }
    bool writeFileNew(const QString& path, const QByteArray& data) override {
        takeMeanwhile(path);
        return !fails(path) && FileSystem::writeFileNew(path, data);
    }
    // A journal that holds what it is given, and whose appends fail after this many
    // (-1: the real journal).
    std::unique_ptr<Journal> openJournal(const QString& path) override {
        struct Failing : Journal {
            int left;
            explicit Failing(int appends) : left(appends) {}
            Status status() const override { return Status::Held; }
            QByteArray content() const override { return {}; }
            bool append(const QByteArray&) override { return left-- > 0; }
            bool waitDurable(int) override { return left >= 0; }
            bool setAside() override { return true; }
            LockHolder holder() const override { return {}; }
            bool takeOver() override { return false; }
        };
        if (journalAppends < 0)
            return FileSystem::openJournal(path);
        return std::make_unique<Failing>(journalAppends);
    }
    QStringList failWrites;
    QString takenMeanwhile;
    int atomicWrites = 0;
    int journalAppends = -1;

  private:
    void takeMeanwhile(const QString& path) const {
        QFile theirs(path);
        if (!takenMeanwhile.isEmpty() && path.endsWith(takenMeanwhile) && !theirs.exists() &&
            theirs.open(QIODevice::WriteOnly))
            theirs.write("theirs");
    }
    bool fails(const QString& path) const {
        return std::any_of(failWrites.begin(), failWrites.end(),
                           [&](const QString& part) { return path.contains(part); });
    }
};

struct TestPlatform {
    FakeDialogs dialogs;
    FakeClock clock;
    FaultyFiles files;
    FakeHttp http;
    ZipArchives archives{files};
    FakeSession session;
    Platform platform{dialogs, clock, files, http, archives, session};
};

// The separator of the paths that the program shows on this system, and a path as shown;
// the program's file, and that of a candidate 1.14 beside it.
#ifdef Q_OS_WIN
inline const QString sep = QStringLiteral("\\"), kProgram = "LAPMARK.exe",
                     kCandidate = "LAPMARK-1.14.exe";
#else
inline const QString sep = QStringLiteral("/"), kProgram = "lapmark", kCandidate = "lapmark-1.14";
#endif
inline QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A file as another program left it, modified at the given moment (if one is given).
inline void putFile(const QString& path, const QByteArray& data, const QDateTime& modified = {}) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) >= 0 && f.flush() &&
        modified.isValid())
        f.setFileTime(modified, QFileDevice::FileModificationTime);
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace lm::test
