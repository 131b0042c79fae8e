#include "times_file.h"

#include "core/app_state.h"
#include "core/data_file.h"
#include "platform/platform.h"

namespace lm {

QString timeLine(int number, const QString& timeText) {
    return QString::number(number).leftJustified(5, QLatin1Char(' '), true) +
           trimSpaces(timeText).rightJustified(10, QLatin1Char(' '));
}

QString timeOfLine(const QString& line) {
    return trimSpaces(line.mid(5));
}

QStringList renumberedTimes(const QStringList& lines) {
    QStringList out;
    out.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        out.append(QString::number(i + 1).leftJustified(5, QLatin1Char(' '), true) +
                   lines[i].mid(5));
    return out;
}

QByteArray timesFileContent(const QStringList& lines) {
    QByteArray out;
    out.reserve(lines.size() * 12);
    for (const QString& line : lines) {
        if (line.isEmpty())
            break;
        out += toFileText(timeOfLine(line));
        out += "\r\n";
    }
    return out;
}

QStringList timesFromContent(const QByteArray& content) {
    QStringList lines;
    for (const QString& field : readFields(content)) {
        // A field of nothing but spaces (a quoted blank) is a blank line too.
        if (!trimSpaces(field).isEmpty())
            lines.append(timeLine(static_cast<int>(lines.size()) + 1, field));
    }
    return lines;
}

std::optional<QStringList> loadTimes(FileSystem& files, const QString& path) {
    const std::optional<QByteArray> data = files.readFile(path);
    if (!data)
        return std::nullopt;
    return timesFromContent(*data);
}

} // namespace lm
