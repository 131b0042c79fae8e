#pragma once
// Lapmark keeps the finish line of a running race: one computer times the finishers
// (timing/), another records their bib numbers in finish order (finishorder/), and both
// write plain text files that the results program on the Main Computer imports.
//
// How the pieces fit, from the bottom up (each layer uses only those below it; the CMake
// files say the same in their target_link_libraries):
//   platform/      the only code that touches the outside world, and (with the updater's
//                  process handling) the only code that differs between Linux and Windows.  lapmark_platform (Qt Core): files
//                  and the capture journals, clocks, HTTP, zip archives, signatures;
//                  lapmark_platform_widgets: message boxes, the file chooser, the running
//                  application and the widget helpers.  Everything above receives it as
//                  an injected lm::Platform, which tests replace.
//   core/          lapmark_core: this header (the one record every window shares, the
//                  numeric reading of texts, the meet date, the settings file) and
//                  data_file.h, the rules both data files share: names, older versions,
//                  field reading, the primary write and the secondary copy.
//   timing/        race clock and time text, the times file, the capture journal (Qt Core);
//                  the capture window FrmTimer above them.
//   finishorder/   the 2000-place list and the bibs file (Qt Core); FrmBibNumbers above.
//   upgrade/       CheckVersion, the signed self-upgrade (Qt Core, no window of its own).
//   app/           the top: the main window Form1 (the hub that opens every other window
//                  modally), the path settings window and the directions screens.
//   main.cpp       the executable: a QApplication, the real platform and Form1.
//   updater/       upgradetimer.exe, the second program: it puts an unpacked upgrade in
//                  place of the program and takes it back when it does not start
//                  (upgrade/handover.h says how the two programs speak to each other).
//
// All windows run on the one user-interface thread (the journal syncs on a thread of its
// own).  Windows read AppState when they load and the main window takes no input while
// one of them is open.

#include "platform/paths.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace lm {

class FileSystem;

struct AppState {
    std::int16_t EventNumber = 0;
    QString EventName;     // trimmed, at most 40 characters
    QString MeetDate;      // today's short date with "-" for "/", or " "
    QString AppPath;       // the program folder, no trailing separator
    QString PrimaryPath;   // AppPath followed by one separator
    QString SecondaryPath; // a folder ending with a separator, "no path set", or empty
    std::int16_t MaxEntries = 0;
    QString VersionText;
};

inline constexpr char kVersionText[] = LAPMARK_VERSION; // a build setting, 1.12 by default
inline constexpr std::int16_t kMaxEntries = 2000;
inline constexpr char kSettingsFileName[] = "Lapmark.lm";
inline const QString kNoneSet = QStringLiteral("None Set...");
inline const QString kNoPathSet = QStringLiteral("no path set");

// The number with which a text begins: blanks anywhere are ignored; a sign, a decimal
// point and an exponent (E or D) are read; &H and &O introduce hexadecimal and octal
// numbers.  0 when the text does not begin with a number.
double numericValue(const QString& text);

// The text without the spaces at both ends (only spaces: the data files keep any other
// character as it stands).
QString trimSpaces(const QString& text);

// Shortest decimal text of a value as the program writes numbers ("42", "12.5", "-3").
QString numberText(double value);

// The event number typed or picked in the main window, rounded half to even; nothing
// when it does not fit a 16-bit event number.
std::optional<std::int16_t> eventNumberFrom(const QString& text);

// MeetDate from the system's short date text.
QString meetDateFrom(const QString& shortDateText);

// A path counts as set when it is not empty after trimming; unset paths are shown as
// "None Set...".
bool pathIsSet(const QString& path);
QString pathDisplay(const QString& path);

// True when the saving windows must make no secondary copy.
bool secondaryIsNoPath(const QString& secondaryPath);

// First line of the settings file in `appPath` (found without regard to letter case);
// nothing when the file is absent, empty or unreadable.
std::optional<QString> readSettings(FileSystem& files, const QString& appPath);
// Stores `secondaryPath` as the one line of the settings file, replacing whichever
// spelling of the name already exists.
bool writeSettings(FileSystem& files, const QString& appPath, const QString& secondaryPath);

} // namespace lm
