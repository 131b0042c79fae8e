#include "fakes.h"

#include <QFile>

namespace lm::test {

Answer FakeDialogs::message(const QString& prompt, const QString& title, Buttons buttons,
                            Answer defaultButton, Icon icon) {
    messages.append({prompt, title, buttons, defaultButton, icon});
    if (onMessage)
        onMessage(messages.last());
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return answers.isEmpty() ? defaultButton : answers.takeFirst();
}

std::optional<QString> FakeDialogs::chooseSaveFile(const QString& proposedName) {
    proposedNames.append(proposedName);
    return chosenFile;
}

std::unique_ptr<Progress> FakeDialogs::progress(const QString& label) {
    struct Fake : Progress {
        FakeDialogs& d;
        qsizetype index;
        Fake(FakeDialogs& dialogs, qsizetype i) : d(dialogs), index(i) {}
        bool update(qint64 done, qint64 total) override {
            d.progressShown[index].done = done;
            d.progressShown[index].total = total;
            return d.cancelAtBytes < 0 || done < d.cancelAtBytes;
        }
    };
    progressShown.append({label});
    return std::make_unique<Fake>(*this, progressShown.size() - 1);
}

QStringList FakeDialogs::titles() const {
    QStringList out;
    for (const Message& m : messages)
        out.append(m.title);
    return out;
}

std::optional<QByteArray> FakeHttp::fetch(const QUrl& url, const FetchOptions& options) {
    requested.append(url.path());
    const QByteArray body = bodies.value(url.path());
    if (!bodies.contains(url.path()) || body.size() > options.maxBytes)
        return std::nullopt;
    if (options.progress && !options.progress->update(body.size(), body.size()))
        return std::nullopt;
    return body;
}

bool FaultyFiles::fails(const QString& path) const {
    for (const QString& part : failWrites) {
        if (path.contains(part))
            return true;
    }
    return false;
}

bool FaultyFiles::writeFileAtomic(const QString& path, const QByteArray& data) {
    ++atomicWrites;
    return !fails(path) && FileSystem::writeFileAtomic(path, data);
}

std::unique_ptr<Journal> FaultyFiles::openJournal(const QString& path) {
    struct Broken : Journal {
        Status status() const override { return Status::Held; }
        QByteArray content() const override { return {}; }
        bool append(const QByteArray&) override { return false; }
        bool setAside() override { return false; }
    };
    if (fails(path))
        return std::make_unique<Broken>();
    return FileSystem::openJournal(path);
}

bool FaultyFiles::writeFileNew(const QString& path, const QByteArray& data) {
    return !fails(path) && FileSystem::writeFileNew(path, data);
}

AppState eventState(const QString& programFolder) {
    AppState state;
    state.AppPath = programFolder;
    state.PrimaryPath = programFolder + QLatin1Char(kPathSeparator);
    state.SecondaryPath = kNoPathSet;
    state.EventNumber = 7;
    state.EventName = QStringLiteral("Girls 5K");
    state.MaxEntries = kMaxEntries;
    state.VersionText = QLatin1String(kVersionText);
    return state;
}

void putFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace lm::test
