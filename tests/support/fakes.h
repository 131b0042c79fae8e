#pragma once
// Scripted stand-ins for the platform: operator answers, clocks, HTTP and the session are
// recorded and scripted; files are real (in a temporary folder) with faults on request.

#include "app/core/app_state.h"
#include "platform/platform.h"
#include "platform/system.h"

#include <QList>
#include <QMap>
#include <QSet>

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
                   Answer defaultButton, Icon icon) override;
    std::optional<QString> chooseSaveFile(const QString& proposedName) override;
    std::unique_ptr<Progress> progress(const QString& label) override;

    QList<Message> messages;
    // Answers for the next Yes/No questions; without one, the default button is taken.
    QList<Answer> answers;
    std::function<void(const Message&)> onMessage;
    std::optional<QString> chosenFile;
    QStringList proposedNames;
    // Progress windows shown, and the last figures each was given.
    struct Shown {
        QString label;
        qint64 done = -1;
        qint64 total = -1;
    };
    QList<Shown> progressShown;
    qint64 cancelAtBytes = -1; // the operator cancels once this much has arrived

    QStringList titles() const;
    QString lastPrompt() const { return messages.isEmpty() ? QString() : messages.last().prompt; }
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
    void advance(int ms) {
        tick += static_cast<std::uint32_t>(ms);
        timeOfDay += ms / 1000.0;
    }

    QString bootId() override { return boot; }
    std::optional<std::uint32_t> eventTick(quint64 stamp) override {
        return stampsOnTicks && stamp ? std::optional<std::uint32_t>(std::uint32_t(stamp))
                                      : std::nullopt;
    }

    std::uint32_t tick = 5'000'000;
    QString boot = QStringLiteral("boot-1");
    bool stampsOnTicks = false;
    double timeOfDay = 36'000.0;
    QString date = QStringLiteral("3/14/2018");
    qint64 sleptMs = 0;
};

class FakeHttp : public Http {
  public:
    using Http::fetch;
    std::optional<QByteArray> fetch(const QUrl& url, const FetchOptions& options) override;
    QMap<QString, QByteArray> bodies; // by URL path
    QStringList requested;
};

class FakeSession : public Session {
  public:
    void processEvents() override { ++eventRuns; }
    void setWaitCursor(bool wait) override { cursorChanges.append(wait); }
    void closeAllWindows() override { closedAll = true; }
    bool startDetached(const QString& program) override {
        started.append(program);
        return true;
    }
    void quit() override { quitRequested = true; }

    int eventRuns = 0;
    QList<bool> cursorChanges;
    bool closedAll = false;
    QStringList started;
    bool quitRequested = false;
};

// Real files; writes to names that contain one of `failWrites` fail.
class FaultyFiles : public FileSystem {
  public:
    bool writeFileAtomic(const QString& path, const QByteArray& data) override;
    bool writeFileNew(const QString& path, const QByteArray& data) override;
    // A journal whose every write fails, as on a full disk.
    std::unique_ptr<Journal> openJournal(const QString& path) override;
    QStringList failWrites;
    int atomicWrites = 0;

  private:
    bool fails(const QString& path) const;
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
AppState eventState(const QString& programFolder);

// Writes `data` to `path` for a test's starting situation.
void putFile(const QString& path, const QByteArray& data);
QByteArray fileBytes(const QString& path);

} // namespace lm::test
