#pragma once
// What the program and the updater (upgradetimer.exe) tell each other across an upgrade:
// small files in the program folder, since the upgrade folder is emptied at every start.
//
//   the program, handing over:  kHandOverFile holds the version it unpacked, signed
//   the updater:                puts upgrade/LAPMARK.exe in place of the program, keeps
//                               the previous one as <program>.previous, creates
//                               kProvingFile and starts the new program
//   the new program:            removes kProvingFile once its main window is shown
//   the updater, when it is not removed in time, or the new program ends first: puts the
//                               previous program back and names the version that failed
//                               in kFailedFile; that program tells the operator once and
//                               is not offered that version again
//
// Every file is plain text with CR LF line ends.

#include <QString>

namespace lm {

inline const QString kHandOverFile = QStringLiteral("upgradetimer.to");
inline const QString kProvingFile = QStringLiteral("upgradetimer.proving");
inline const QString kFailedFile = QStringLiteral("upgradetimer.failed");
inline const QString kUpdaterLog = QStringLiteral("upgradetimer.log");
// The lock file that a running program holds in its folder; the updater waits for it.
inline const QString kRunningLock = QStringLiteral("lapmark.lock");
// The program file in the program folder.
#ifdef Q_OS_WIN
inline const QString kProgramFile = QStringLiteral("LAPMARK.exe");
#else
inline const QString kProgramFile = QStringLiteral("lapmark");
#endif

} // namespace lm
