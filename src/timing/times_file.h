#pragma once
// The list of times and the times file: one time text per line, in finish order, CR LF.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace lm {

class FileSystem;

inline const QString kTimesPrefix = QStringLiteral("TIMES EV");
inline const QString kTimesExtension = QStringLiteral(".LMT");

// A line of the list of times: the number left-aligned in 5 columns, then the time text
// right-aligned in 10 (a text of ten hours or more keeps all its characters).
QString timeLine(int number, const QString& timeText);
// The time text of a list line.
QString timeOfLine(const QString& line);
// The same lines numbered 1, 2, 3, ... from the top.
QStringList renumberedTimes(const QStringList& lines);

// Content of the times file for the list lines, up to the first empty line.
QByteArray timesFileContent(const QStringList& lines);
// List lines of the content of a times file: one per non-blank field, numbered from 1.
QStringList timesFromContent(const QByteArray& content);
// List lines of a times file; nothing when it cannot be read.
std::optional<QStringList> loadTimes(FileSystem& files, const QString& path);

} // namespace lm
