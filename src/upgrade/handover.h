#pragma once
// What the program and the updater (upgradetimer.exe) tell each other across an upgrade:
// small files in the program folder, since the upgrade folder is emptied at every start.
// Only a program that has shown its main window ever takes the name the operator starts.
//
//   the program, handing over:  kHandOverFile holds the version it unpacked and signed
//   the updater:                holds kUpdaterLock while it runs; once the program has
//                               ended, writes upgrade/LAPMARK.exe beside the program as a
//                               program of its own, candidateProgramFile(version), whole
//                               and runnable before it has that name; then kProvingFile
//                               (the version, the candidate's name), and starts it
//   the candidate:              adds kProvenMark to kProvingFile once its main window is
//                               shown
//   the updater, then:          puts the candidate's very bytes in place of the program
//                               (crash-safe, runnable before it has the name), and removes
//                               the candidate and kProvingFile; when the candidate ends
//                               first or shows no
//                               window in time, it stops it, leaves the program as it is,
//                               and names the version in kFailedFile, which that program
//                               tells the operator once and never offers again
//   with no updater running (it was stopped, or the power cut), the program started next
//   finishes: a candidate left unproven (its kProvingFile written) is the failed version, as
//   above; one cut off before that, or proven but never put in place, is removed and the
//   upgrade offered again; a program that is the proven version finishes the hand-over.
//   A program started meanwhile that takes the hand-over back removes kProvingFile: the
//   updater then changes nothing.
//
// A cut at any moment leaves the program the operator starts as it was or as the proven
// new version.  Every file is plain text with CR LF line ends.

#include <QDateTime>
#include <QRegularExpression>
#include <QString>

namespace lm {

inline const QString kHandOverFile = QStringLiteral("upgradetimer.to");
inline const QString kProvingFile = QStringLiteral("upgradetimer.proving");
// The line a candidate adds to kProvingFile once its main window is shown.
inline const QByteArray kProvenMark = "proven\r\n";
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

// The new program while it proves itself: "LAPMARK-1.13.exe", "lapmark-1.13".
inline QString candidateProgramFile(const QString& version) {
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

// A candidate, or the previous program that earlier versions kept beside the program
// ("lapmark-1.12", "LAPMARK-previous.exe", "lapmark.previous").
inline bool isSideProgramFile(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^(lapmark|LAPMARK)-([0-9]+(\\.[0-9]+)?|previous)(\\.exe)?$"));
    return pattern.match(name).hasMatch() || name == kProgramFile + QStringLiteral(".previous");
}

} // namespace lm
