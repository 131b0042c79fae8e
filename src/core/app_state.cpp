#include "app_state.h"

#include "platform/platform.h"

#include <QDir>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace lm {

namespace {

double radixValue(const QString& digits, int radix) {
    qsizetype n = 0;
    quint64 value = 0;
    for (; n < digits.size(); ++n) {
        const char16_t u = digits[n].toUpper().unicode();
        const int d = (u >= u'0' && u <= u'9')   ? u - u'0'
                      : (u >= u'A' && u <= u'F') ? u - u'A' + 10
                                                 : -1;
        if (d < 0 || d >= radix)
            break;
        if (value > (std::numeric_limits<quint64>::max() >> 4))
            break;
        value = value * static_cast<quint64>(radix) + static_cast<quint64>(d);
    }
    // Short hexadecimal and octal constants are 16- or 32-bit signed numbers, so &HFFFF
    // reads as -1.
    if (value <= 0xFFFF && (radix == 16 ? n <= 4 : n <= 6))
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    if (value <= 0xFFFFFFFFu)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return static_cast<double>(value);
}

} // namespace

double numericValue(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s.append(c);
    }
    if (s.size() >= 2 && s[0] == QLatin1Char('&')) {
        const QChar kind = s[1].toUpper();
        if (kind == QLatin1Char('H'))
            return radixValue(s.mid(2), 16);
        if (kind == QLatin1Char('O'))
            return radixValue(s.mid(2), 8);
        return 0;
    }

    std::string number;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+')))
        number += static_cast<char>(s[i++].unicode());
    bool digits = false;
    while (i < s.size() && s[i] >= QLatin1Char('0') && s[i] <= QLatin1Char('9')) {
        number += static_cast<char>(s[i++].unicode());
        digits = true;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < s.size() && s[i] >= QLatin1Char('0') && s[i] <= QLatin1Char('9')) {
            number += static_cast<char>(s[i++].unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() &&
        (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == QLatin1Char('-') || s[j] == QLatin1Char('+')))
            exponent += static_cast<char>(s[j++].unicode());
        bool expDigits = false;
        while (j < s.size() && s[j] >= QLatin1Char('0') && s[j] <= QLatin1Char('9') &&
               exponent.size() < 12) {
            exponent += static_cast<char>(s[j++].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

QString trimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString numberText(double value) {
    if (value == 0)
        return QStringLiteral("0");
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

std::optional<std::int16_t> eventNumberFrom(const QString& text) {
    const double rounded = std::nearbyint(numericValue(text));
    if (!std::isfinite(rounded) || rounded < -32768 || rounded > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString meetDateFrom(const QString& shortDateText) {
    if (!shortDateText.contains(QLatin1Char('/')))
        return QStringLiteral(" ");
    QString date = shortDateText;
    return date.replace(QLatin1Char('/'), QLatin1Char('-'));
}

bool pathIsSet(const QString& path) {
    return !path.trimmed().isEmpty();
}

QString pathDisplay(const QString& path) {
    return pathIsSet(path) ? path : kNoneSet;
}

bool secondaryIsNoPath(const QString& secondaryPath) {
    return secondaryPath.toUpper() == QLatin1String("NO PATH SET");
}

std::optional<QString> readSettings(FileSystem& files, const QString& appPath) {
    const QString path = files.findFileNoCase(appPath, QLatin1String(kSettingsFileName));
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> data = files.readFile(path);
    if (!data || data->isEmpty())
        return std::nullopt;
    // The line ends at CR (CR LF) or, for a file edited by hand on this system, at LF.
    qsizetype end = 0;
    while (end < data->size() && data->at(end) != '\r' && data->at(end) != '\n')
        ++end;
    return QString::fromUtf8(data->left(end));
}

bool writeSettings(FileSystem& files, const QString& appPath, const QString& secondaryPath) {
    QString path = files.findFileNoCase(appPath, QLatin1String(kSettingsFileName));
    if (path.isEmpty())
        path = QDir(appPath).filePath(QString::fromLatin1(kSettingsFileName).toLower());
    return files.writeFileAtomic(path, secondaryPath.trimmed().toUtf8() + "\r\n");
}

} // namespace lm
