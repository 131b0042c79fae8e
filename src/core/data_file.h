#pragma once
// What the times file and the bibs file have in common: their names, the older versions
// kept under a letter, the comma-and-quote field reading, and the save to the primary
// folder with its copy to the secondary folder.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lm {

struct AppState;
struct Platform;
class Clock;
class FileSystem;

// folder + " " + MeetDate + " " + trimmed EventName + " " + prefix + event number padded
// to three characters on its left + extension, e.g. "/race/ 3-14-2018 Girls 5K TIMES EV  7.LMT".
QString DataFileName(const AppState& state, const QString& folder, const QString& prefix,
                     const QString& extension);

// Name of older version `index` of `fileName`: index 0 is "A", 25 is "Z", 26 is "AA", and
// so on, placed before the four-character extension.
QString versionedName(const QString& fileName, int index);

struct OlderVersion {
    enum Result { NothingToKeep, Kept, Failed } result;
    QString name; // the lettered name, when kept
};

// Keeps the current content of `fileName` under the first free lettered name.  The file
// itself stays in place until the save that follows replaces it.
OlderVersion KeepOlderVersion(FileSystem& files, const QString& fileName);

// KeepOlderVersion for a final save: false, after telling the operator, when an existing
// file could not be kept; the save must then not replace it.
bool keepOlderVersionOrReport(Platform& platform, const QString& fileName);

// Fields of a comma-separated text file: a field ends at a comma or a line end, leading
// blanks are skipped, a field in double quotes runs to the closing quote.  Blank lines
// give empty fields.
QStringList readFields(const QByteArray& data);

enum class RetryPause {
    FromRoundedSecond, // until half a second past the time of day rounded to the second
    FromNow,           // half a second from the exact time of day
};
void pauseBeforeRetry(Clock& clock, RetryPause kind);

inline constexpr int kWriteAttempts = 10;

// Writes the primary data file crash-safely, repeating a failed write after the pause up
// to kWriteAttempts times.  False when the file could not be written.
bool writePrimary(Platform& platform, const QString& path, const QByteArray& content,
                  RetryPause pause);

// Copies the saved content to the secondary name.  On a failure, including a secondary
// name that leads back to the primary file itself, the message for the operator
// ("Error!  Secondary file not saved." ...); empty when the copy was made.
QString copyToSecondary(FileSystem& files, const QString& primary, const QString& secondary,
                        const QByteArray& content);

// 8-bit text as stored in the data files.
inline QString fromFileText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}
inline QByteArray toFileText(const QString& text) {
    return text.toLatin1();
}

} // namespace lm
