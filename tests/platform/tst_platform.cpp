#include "platform/system.h"
#include "support/fakes.h"
#include "support/zip_builder.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using namespace lm;
using namespace lm::test;

class TestPlatformLayer : public QObject {
    Q_OBJECT
  private slots:
    void hostileArchivesStayInTheFolder() {
        QTemporaryDir root;
        const QString folder = root.filePath("app/upgrade");
        QDir().mkpath(folder);
        putFile(root.filePath("p.zip"), buildZip({{"../x1", "1"},
                                                  {"a/../../x2", "2"},
                                                  {root.filePath("abs"), "3"},
                                                  {"..\\x4", "4"},
                                                  {"a/..", "5"},
                                                  {"link", {}, ZipEntry::Symlink, "/etc"},
                                                  {"link/passwd", "through the link"},
                                                  {"dup", "first"},
                                                  {"sub/dup", "second"},
                                                  {"folder/", {}, ZipEntry::Folder}}));
        FileSystem files;
        ZipArchives archives(files);
        QCOMPARE(archives.extractFlat(root.filePath("p.zip"), folder), 7);
        QStringList found;
        for (QDirIterator it(root.path(),
                             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            found.append(QDir(root.path()).relativeFilePath(it.next()));
        found.sort();
        QCOMPARE(found, (QStringList{"app", "app/upgrade", "app/upgrade/abs", "app/upgrade/dup",
                                     "app/upgrade/passwd", "app/upgrade/x1", "app/upgrade/x2",
                                     "app/upgrade/x4", "p.zip"}));
        QCOMPARE(fileBytes(folder + "/dup"), QByteArray("second"));
        for (const char* nameless : {"a/..", "..", ".", "", "dir/"})
            QCOMPARE(safeEntryName(nameless), QString());

        // Bounds: bytes, entries; a broken or missing archive.
        putFile(root.filePath("big.zip"), buildZip({{"a", "x"}, {"b", QByteArray(3 << 20, 0)}}));
        QCOMPARE(archives.extractFlat(root.filePath("big.zip"), folder, {1000, 1 << 20}), 1);
        QList<ZipEntry> many;
        for (int i = 0; i < 30; ++i)
            many.append({QString("f%1").arg(i), "x"});
        putFile(root.filePath("many.zip"), buildZip(many));
        QCOMPARE(archives.extractFlat(root.filePath("many.zip"), folder, {10, 1 << 20}), 10);
        putFile(root.filePath("broken.zip"), "not a zip");
        QVERIFY(archives.extractFlat(root.filePath("broken.zip"), folder) <= 0);
        QCOMPARE(archives.extractFlat(root.filePath("missing.zip"), folder), -1);
    }
};

QTEST_GUILESS_MAIN(TestPlatformLayer)
#include "tst_platform.moc"
