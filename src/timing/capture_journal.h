#pragma once
// The capture journal of a times file: every change to the list of times and to the race
// clock, one line a record, appended as it happens, so that a race survives a crash or a
// power cut.  A record reads "<word> <fields> *<CRC-16 in hex>"; a record whose check
// fails (a line torn by a power cut, or never ended) is skipped on reading and everything
// else is kept.
//
//   open <count>            the window opened; <count> "time" records follow
//   time <time text>        a time of the list as loaded (blanks percent-encoded)
//   start <tick> <boot id>  the clock started at <tick> of that boot ("-": unknown boot)
//   resume <tick> <boot id> the clock runs on, from that tick of this boot, after a restart
//   origin <tick kind> <UTC ms> <computer>
//                           of the start or resume before it: the counter of its tick, the
//                           time of day of the race's start, and the computer (journals of
//                           earlier versions have none, and those versions skip it)
//   capture <n> <ms>        time number <n>, <ms> after the start
//   delete <row>            line <row> (from 1) deleted, the rest renumbered
//   clear                   every time deleted
//   stop                    the clock stopped
//   save <count>            the times file was written with <count> times

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace lm {

// The journal of `timesFile`: "recovery/<file name>.journal" in the program folder, out of
// the folder that the Main Computer reads.
QString journalPath(const QString& appPath, const QString& timesFile);

// The moment the race clock started, on the tick counter and as the time of day.
struct ClockStart {
    std::uint32_t tick = 0;
    QString bootId;         // empty: unknown
    QString tickKind;       // empty: unknown
    std::int64_t utcMs = 0; // 0: unknown
    QString computer;       // empty: unknown
};

namespace journal {
QByteArray open(const QStringList& lines);
QByteArray start(const ClockStart& start, bool resumed = false);
QByteArray capture(int number, std::int64_t ms);
QByteArray remove(int row);
QByteArray clear();
QByteArray stop();
QByteArray save(qsizetype count);
} // namespace journal

// The list and the clock as the journal leaves them.
struct JournalState {
    QStringList lines;
    bool clockRunning = false;
    ClockStart start;
    int captureCount = 0;
    bool changedSinceSave = false; // captures, deletes or clears since the last save

    bool worthRestoring() const { return changedSinceSave || clockRunning; }
};

JournalState replayJournal(const QByteArray& content);

} // namespace lm
