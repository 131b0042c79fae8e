#pragma once
// Builds zip archives for the tests, hostile ones included.

#include <QByteArray>
#include <QList>
#include <QString>

namespace lm::test {

struct ZipEntry {
    enum Kind { File, Symlink };
    ZipEntry(QString n, QByteArray d, Kind k = File, QString target = {})
        : name(std::move(n)), data(std::move(d)), kind(k), linkTarget(std::move(target)) {}
    QString name;
    QByteArray data;
    Kind kind;
    QString linkTarget;
};

QByteArray buildZip(const QList<ZipEntry>& entries);

} // namespace lm::test
