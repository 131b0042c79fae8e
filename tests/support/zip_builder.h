#pragma once
// Builds zip archives for the tests, hostile ones included.

#include <QByteArray>
#include <QList>
#include <QString>

namespace lm::test {

struct ZipEntry {
    QString name;
    QByteArray data;
    QString linkTarget = {}; // a symbolic link when given
};

QByteArray buildZip(const QList<ZipEntry>& entries);

} // namespace lm::test
