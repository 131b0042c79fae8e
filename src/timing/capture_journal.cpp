#include "capture_journal.h"

#include "core/app_state.h"
#include "race_clock.h"
#include "times_file.h"

#include <QFileInfo>

namespace lm {

QString journalPath(const QString& appPath, const QString& timesFile) {
    return appPath + QLatin1Char(kPathSeparator) + QStringLiteral("recovery") +
           QLatin1Char(kPathSeparator) + QFileInfo(timesFile).fileName() +
           QStringLiteral(".journal");
}

namespace {

QByteArray check(const QByteArray& body) {
    return QByteArray::number(qChecksum(body), 16).rightJustified(4, '0');
}

QByteArray record(const QByteArray& body) {
    return body + " *" + check(body) + '\n';
}

} // namespace

namespace journal {
QByteArray open(const QStringList& lines) {
    QByteArray out = record("open " + QByteArray::number(lines.size()));
    for (const QString& line : lines)
        out += record("time " + timeOfLine(line).toLatin1().toPercentEncoding(":."));
    return out;
}
QByteArray start(const ClockStart& start, bool resumed) {
    const auto field = [](const QString& text) {
        return text.isEmpty() ? QByteArray("-") : text.toUtf8().toPercentEncoding();
    };
    // The start as earlier versions write and read it, then what they pass over.
    return record((resumed ? "resume " : "start ") + QByteArray::number(start.tick) + ' ' +
                  field(start.bootId)) +
           record("origin " + field(start.tickKind) + ' ' + QByteArray::number(start.utcMs) + ' ' +
                  field(start.computer));
}
QByteArray capture(int number, std::int64_t ms) {
    return record("capture " + QByteArray::number(number) + ' ' + QByteArray::number(ms));
}
QByteArray remove(int row) {
    return record("delete " + QByteArray::number(row));
}
QByteArray clear() {
    return record("clear");
}
QByteArray stop() {
    return record("stop");
}
QByteArray save(qsizetype count) {
    return record("save " + QByteArray::number(count));
}
} // namespace journal

JournalState replayJournal(const QByteArray& content) {
    JournalState s;
    const auto field = [](const QByteArray& f) {
        return f == "-" ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(f));
    };
    // Only lines that were ended count: the last one may have been cut by a power cut.
    const qsizetype end = content.lastIndexOf('\n');
    for (const QByteArray& line : content.left(end + 1).split('\n')) {
        const qsizetype mark = line.lastIndexOf(" *");
        if (mark < 0 || line.mid(mark + 2) != check(line.left(mark)))
            continue;
        const QList<QByteArray> f = line.left(mark).split(' ');
        const QByteArray& word = f[0];
        bool ok = true;
        if (word == "open" && f.size() == 2) {
            s = JournalState{};
        } else if (word == "time" && f.size() == 2) {
            s.lines.append(timeLine(static_cast<int>(s.lines.size()) + 1,
                                    QString::fromLatin1(QByteArray::fromPercentEncoding(f[1]))));
        } else if ((word == "start" || word == "resume") && f.size() == 3) {
            s.start = {f[1].toUInt(&ok), field(f[2]), {}, 0, {}};
            s.clockRunning = ok;
            if (word == "start")
                s.captureCount = 0;
        } else if (word == "origin" && f.size() == 4) {
            s.start.tickKind = field(f[1]);
            s.start.utcMs = f[2].toLongLong();
            s.start.computer = field(f[3]);
        } else if (word == "capture" && f.size() == 3) {
            const int number = f[1].toInt(&ok);
            bool msOk = false;
            const qint64 ms = f[2].toLongLong(&msOk);
            if (ok && msOk && ms >= 0) {
                s.lines.append(timeLine(number, FormatTime(ms)));
                s.captureCount = number;
                s.changedSinceSave = true;
            }
        } else if (word == "delete" && f.size() == 2) {
            const int row = f[1].toInt(&ok);
            if (ok && row >= 1 && row <= s.lines.size()) {
                s.lines.removeAt(row - 1);
                s.lines = renumberedTimes(s.lines);
                s.changedSinceSave = true;
            }
        } else if (word == "clear") {
            s.lines.clear();
            s.changedSinceSave = true;
        } else if (word == "stop") {
            s.clockRunning = false;
            s.captureCount = 0;
        } else if (word == "save") {
            s.changedSinceSave = false;
        }
    }
    return s;
}

} // namespace lm
