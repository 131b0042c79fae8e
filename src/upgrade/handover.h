#pragma once
// What the program and the updater (upgradetimer.exe) tell each other across an upgrade:
// small files in the program folder, since the upgrade folder is emptied at every start.
//
//   the program, handing over:  kHandOverFile holds the version it unpacked, signed, and
//                               its own version
//   the updater:                holds kUpdaterLock while it runs; creates kProvingFile
//                               (the new version and the name the previous program is
//                               kept under), keeps the previous program as a program of
//                               its own (previousProgramFile()), puts upgrade/LAPMARK.exe
//                               in place of the program and starts it
//   the new program:            removes kProvingFile once its main window is shown
//   the updater, when it is not removed in time, or the new program ends first: puts the
//                               previous program back and names the version that failed
//                               in kFailedFile; that program tells the operator once and
//                               is not offered that version again
//   with no updater running (it was stopped, or the power cut): the previous program,
//                               started by hand, puts itself back as the updater would;
//                               the new program, started, proves itself and finishes
//
// Every file is plain text with CR LF line ends.

#include <QDateTime>
#include <QRegularExpression>
#include <QString>

namespace lm {

inline const QString kHandOverFile = QStringLiteral("upgradetimer.to");
inline const QString kProvingFile = QStringLiteral("upgradetimer.proving");
inline const QString kFailedFile = QStringLiteral("upgradetimer.failed");
inline const QString kUpdaterLog = QStringLiteral("upgradetimer.log");
inline const QString kUpdaterLock = QStringLiteral("upgradetimer.lock");
// The lock file that a running program holds in its folder; the updater waits for it.
inline const QString kRunningLock = QStringLiteral("lapmark.lock");
// The program file in the program folder.
#ifdef Q_OS_WIN
inline const QString kProgramFile = QStringLiteral("LAPMARK.exe");
#else
inline const QString kProgramFile = QStringLiteral("lapmark");
#endif

// The previous program, kept as one a volunteer can start by itself while a new one is
// unproven: "LAPMARK-1.12.exe", "lapmark-1.12".
inline QString previousProgramFile(const QString& version) {
#ifdef Q_OS_WIN
    return QStringLiteral("LAPMARK-") + version + QStringLiteral(".exe");
#else
    return QStringLiteral("lapmark-") + version;
#endif
}
// A line of kUpdaterLog, which the program writes to as well when it does the updater's part.
inline QByteArray upgradeLogLine(const QDateTime& at, const QString& line) {
    return at.toString(Qt::ISODate).toLatin1() + "  " + line.toLatin1() + "\r\n";
}

inline bool isPreviousProgramFile(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^(lapmark|LAPMARK)-[0-9]+(\\.[0-9]+)?(\\.exe)?$"));
    return pattern.match(name).hasMatch() || name == kProgramFile + QStringLiteral(".previous");
}

} // namespace lm
