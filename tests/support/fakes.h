#pragma once
// Scripted stand-ins for the platform: operator answers, clocks, HTTP and the session are
// recorded and scripted; files are real (in a temporary folder) with faults on request.

#include "app/core/app_state.h"
#include "platform/system.h"

#include <QFile>
#include <QMap>

#include <functional>

namespace lm::test {

struct Message {
    QString prompt;
    QString title;
    Buttons buttons;
    Answer defaultButton;
    Icon icon;
};

class FakeDialogs : public Dialogs {
  public:
    Answer message(const QString& prompt, const QString& title, Buttons buttons,
                   Answer defaultButton, Icon icon) override {
        messages.append({prompt, title, buttons, defaultButton, icon});
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return answers.isEmpty() ? defaultButton : answers.takeFirst();
    }
    std::optional<QString> chooseSaveFile(const QString& proposedName) override {
        proposedNames.append(proposedName);
        return chosenFile;
    }
    std::unique_ptr<Progress> progress(const QString&) override {
        struct Shown : Progress {
            FakeDialogs& d;
            explicit Shown(FakeDialogs& dialogs) : d(dialogs) {}
            bool update(qint64 done, qint64 total) override {
                d.progressShown.append({done, total});
                return d.cancelAtBytes < 0 || done < d.cancelAtBytes;
            }
        };
        return std::make_unique<Shown>(*this);
    }
    QStringList titles() const {
        QStringList out;
        for (const Message& m : messages)
            out.append(m.title);
        return out;
    }
    QString lastPrompt() const { return messages.isEmpty() ? QString() : messages.last().prompt; }
    // "Title [error] [Yes/No, default No]: prompt" of the last message, to compare whole.
    QString last() const {
        if (messages.isEmpty())
            return {};
        const Message& m = messages.last();
        QString said = m.title;
        if (m.icon == Icon::Error)
            said += " [error]";
        if (m.buttons == Buttons::YesNo)
            said += m.defaultButton == Answer::Yes ? " [Yes/No]" : " [Yes/No, default No]";
        return said + ": " + m.prompt;
    }

    QList<Message> messages;
    QList<Answer> answers; // for the next questions; without one, the default button
    std::optional<QString> chosenFile;
    QStringList proposedNames;
    QList<std::pair<qint64, qint64>> progressShown; // bytes done and total, as shown
    qint64 cancelAtBytes = -1; // the operator cancels once this much has arrived
};

class FakeClock : public Clock {
  public:
    std::uint32_t tickCount() override { return tick; }
    double secondsSinceMidnight() override { return timeOfDay; }
    QString shortDateText() override { return date; }
    void sleepMs(int ms) override {
        sleptMs += ms;
        advance(ms);
    }
    QString bootId() override { return boot; }
    std::optional<std::uint32_t> eventTick(quint64 stamp) override {
        return stampsOnTicks && stamp ? std::optional<std::uint32_t>(std::uint32_t(stamp))
                                      : std::nullopt;
    }
    void advance(int ms) {
        tick += static_cast<std::uint32_t>(ms);
        timeOfDay += ms / 1000.0;
    }

    std::uint32_t tick = 5'000'000;
    double timeOfDay = 36'000.0;
    QString date = QStringLiteral("3/14/2018");
    qint64 sleptMs = 0;
    QString boot = QStringLiteral("boot-1");
    bool stampsOnTicks = false;
};

class FakeHttp : public Http {
  public:
    using Http::fetch;
    std::optional<QByteArray> fetch(const QUrl& url, const FetchOptions& options) override {
        requested.append(url.path());
        const QByteArray body = bodies.value(url.path());
        if (!bodies.contains(url.path()) || body.size() > options.maxBytes ||
            (options.progress && !options.progress->update(body.size(), body.size())))
            return std::nullopt;
        return body;
    }
    QMap<QString, QByteArray> bodies; // by URL path
    QStringList requested;
};

class FakeSession : public Session {
  public:
    void processEvents() override {}
    void setWaitCursor(bool wait) override { cursorChanges.append(wait); }
    void closeAllWindows() override { closedAll = true; }
    bool startDetached(const QString& program) override {
        started.append(program);
        return true;
    }
    void quit() override { quitRequested = true; }

    QList<bool> cursorChanges;
    bool closedAll = false;
    QStringList started;
    bool quitRequested = false;
};

// Real files; writes to names that contain one of `failWrites` fail, journals among them.
class FaultyFiles : public FileSystem {
  public:
    bool writeFileAtomic(const QString& path, const QByteArray& data) override {
        ++atomicWrites;
        return !fails(path) && FileSystem::writeFileAtomic(path, data);
    }
    bool writeFileNew(const QString& path, const QByteArray& data) override {
        return !fails(path) && FileSystem::writeFileNew(path, data);
    }
    std::unique_ptr<Journal> openJournal(const QString& path) override {
        struct Full : Journal { // as on a full disk
            Status status() const override { return Status::Held; }
            QByteArray content() const override { return {}; }
            bool append(const QByteArray&) override { return false; }
            bool setAside() override { return false; }
        };
        return fails(path) ? std::make_unique<Full>() : FileSystem::openJournal(path);
    }
    QStringList failWrites;
    int atomicWrites = 0;

  private:
    bool fails(const QString& path) const {
        for (const QString& part : failWrites)
            if (path.contains(part))
                return true;
        return false;
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

// The shared record as the main window hands it to a working window: event 7 "Girls 5K"
// on 3/14/2018's files in `programFolder`, no secondary path.
inline AppState eventState(const QString& programFolder) {
    AppState state;
    state.AppPath = programFolder;
    state.PrimaryPath = programFolder + "/";
    state.SecondaryPath = "no path set";
    state.EventNumber = 7;
    state.EventName = "Girls 5K";
    state.MaxEntries = 2000;
    state.VersionText = "1.12";
    return state;
}

inline void putFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace lm::test
