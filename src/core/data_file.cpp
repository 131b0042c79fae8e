#include "data_file.h"

#include "app_state.h"
#include "platform/platform.h"

#include <cmath>

namespace lm {

QString DataFileName(const AppState& state, const QString& folder, const QString& prefix,
                     const QString& extension) {
    const QString number = (QStringLiteral("   ") + QString::number(state.EventNumber)).right(3);
    return folder + QLatin1Char(' ') + state.MeetDate + QLatin1Char(' ') +
           state.EventName.trimmed() + QLatin1Char(' ') + prefix + number + extension;
}

QString versionedName(const QString& fileName, int index) {
    QString letters;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return fileName.left(fileName.size() - 4) + letters + fileName.right(4);
}

OlderVersion KeepOlderVersion(FileSystem& files, const QString& fileName) {
    if (!files.isFile(fileName))
        return {OlderVersion::NothingToKeep, {}};
    const std::optional<QByteArray> content = files.readFile(fileName);
    if (!content)
        return {OlderVersion::Failed, {}};
    // A, B, ... Z, then AA ... ZZ, AAA ...: never a name that is taken, never one that is
    // not a valid file name.
    constexpr int kMaxVersions = 26 + 26 * 26 + 26 * 26 * 26;
    for (int i = 0; i < kMaxVersions; ++i) {
        const QString candidate = versionedName(fileName, i);
        if (files.isFile(candidate))
            continue;
        if (files.writeFileNew(candidate, *content))
            return {OlderVersion::Kept, candidate};
        if (!files.isFile(candidate))
            break; // the folder refuses new files; trying further names won't help
    }
    return {OlderVersion::Failed, {}};
}

bool keepOlderVersionOrReport(Platform& platform, const QString& fileName) {
    const OlderVersion kept = KeepOlderVersion(platform.files, fileName);
    if (kept.result == OlderVersion::Kept)
        platform.session.processEvents();
    if (kept.result != OlderVersion::Failed)
        return true;
    platform.dialogs.message(
        QStringLiteral("Error!  The earlier file could not be kept as an older version:") + CR +
            CR + QStringLiteral("   ") + fileName + CR + CR +
            QStringLiteral("Nothing was saved, so that it is not lost.  Check the disk or "
                           "folder, then save again."),
        QStringLiteral("Reminder"));
    return false;
}

QStringList readFields(const QByteArray& data) {
    QStringList fields;
    const qsizetype n = data.size();
    qsizetype i = 0;
    auto atLineEnd = [&](qsizetype k) { return data[k] == '\r' || data[k] == '\n'; };
    auto skipDelimiter = [&] {
        if (i >= n)
            return;
        if (data[i] == ',') {
            ++i;
        } else if (data[i] == '\r') {
            ++i;
            if (i < n && data[i] == '\n')
                ++i;
        } else if (data[i] == '\n') {
            ++i;
        }
    };
    while (i < n) {
        while (i < n && (data[i] == ' ' || data[i] == '\t'))
            ++i;
        QByteArray field;
        if (i < n && data[i] == '"') {
            const qsizetype close = data.indexOf('"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            field = data.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            while (i < n && data[i] != ',' && !atLineEnd(i))
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && data[i] != ',' && !atLineEnd(i))
                ++i;
            field = data.mid(start, i - start);
            while (!field.isEmpty() && (field.back() == ' ' || field.back() == '\t'))
                field.chop(1);
        }
        skipDelimiter();
        fields.append(fromFileText(field));
    }
    return fields;
}

void pauseBeforeRetry(Clock& clock, RetryPause kind) {
    const double now = clock.secondsSinceMidnight();
    const double start = kind == RetryPause::FromRoundedSecond ? std::round(now) : now;
    const double target = start + 0.5;
    // Bounded so that a clock that jumps (midnight, a changed system time) cannot hold
    // the window for long.
    for (int i = 0; i < 200; ++i) {
        const double t = clock.secondsSinceMidnight();
        if (t >= target || t < now - 1.0)
            return;
        clock.sleepMs(10);
    }
}

bool writePrimary(Platform& platform, const QString& path, const QByteArray& content,
                  RetryPause pause) {
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        if (platform.files.writeFileAtomic(path, content))
            return true;
        if (attempt < kWriteAttempts)
            pauseBeforeRetry(platform.clock, pause);
    }
    return false;
}

QString copyToSecondary(FileSystem& files, const QString& primary, const QString& secondary,
                        const QByteArray& content) {
    if (!files.sameFile(primary, secondary) && files.writeFileAtomic(secondary, content))
        return {};
    return QStringLiteral("Error!  Secondary file not saved.") + CR + CR +
           QStringLiteral("Manually copy: ") + primary +
           QStringLiteral(" if data needed elsewhere");
}

} // namespace lm
