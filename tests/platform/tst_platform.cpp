#include "platform/qt_platform.h"
#include "platform/ui.h"
#include "support/fakes.h"
#include "support/zip_builder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lm;
using namespace lm::test;

namespace {

QStringList everythingUnder(const QString& root) {
    QStringList out;
    const QFileInfoList entries = QDir(root).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& e : entries) {
        out.append(e.fileName() + (e.isSymLink() ? "@" : e.isDir() ? "/" : ""));
        if (e.isDir() && !e.isSymLink()) {
            for (const QString& sub : everythingUnder(e.filePath()))
                out.append(e.fileName() + "/" + sub);
        }
    }
    return out;
}

} // namespace

class TestPlatformLayer : public QObject {
    Q_OBJECT
  private slots:
    void entryNames_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "LAPMARK.exe"
                               << "LAPMARK.exe";
        QTest::newRow("in a folder") << "bin/LAPMARK.exe"
                                     << "LAPMARK.exe";
        QTest::newRow("parent") << "../x"
                                << "x";
        QTest::newRow("deeper parent") << "a/../../x"
                                       << "x";
        QTest::newRow("absolute") << "/etc/x"
                                  << "x";
        QTest::newRow("backslash parent") << "..\\x"
                                          << "x";
        QTest::newRow("folder only") << "dir/"
                                     << "";
        QTest::newRow("dot dot") << "a/.."
                                 << "";
        QTest::newRow("dot") << "."
                             << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void entryNames() {
        QFETCH(QString, entry);
        QFETCH(QString, written);
        QCOMPARE(safeEntryName(entry), written);
    }

    void hostileArchivesStayInTheFolder() {
        QTemporaryDir root;
        const QString folder = root.filePath("app/upgrade");
        QDir().mkpath(folder);
        putFile(folder + "/keep.txt", "old");
        const QByteArray zip = buildZip({
            {"../x1", "1"},
            {"a/../../x2", "2"},
            {root.filePath("abs"), "3"},
            {"..\\x4", "4"},
            {"link", {}, ZipEntry::Symlink, "/etc"},
            {"link/passwd", "through the link"},
            {"dup", "first"},
            {"sub/dup", "second"},
            {"folder/", {}, ZipEntry::Folder},
            {"keep.txt", "new"},
        });
        putFile(root.filePath("p.zip"), zip);
        FileSystem files;
        ZipArchives archives(files);
        QCOMPARE(archives.extractFlat(root.filePath("p.zip"), folder), 8);
        QCOMPARE(everythingUnder(root.path()),
                 (QStringList{"app/", "app/upgrade/", "app/upgrade/abs", "app/upgrade/dup",
                              "app/upgrade/keep.txt", "app/upgrade/passwd", "app/upgrade/x1",
                              "app/upgrade/x2", "app/upgrade/x4", "p.zip"}));
        QCOMPARE(fileBytes(folder + "/dup"), QByteArray("second"));
        QCOMPARE(fileBytes(folder + "/keep.txt"), QByteArray("new"));
    }

    void extractionLimits() {
        QTemporaryDir root;
        FileSystem files;
        ZipArchives archives(files);
        putFile(root.filePath("big.zip"),
                buildZip({{"a", "x"}, {"LAPMARK.exe", QByteArray(3 << 20, '\0')}}));
        QCOMPARE(archives.extractFlat(root.filePath("big.zip"), root.path(), {1000, 1 << 20}), 1);
        QVERIFY(!QFile::exists(root.filePath("LAPMARK.exe")));

        QList<ZipEntry> many;
        for (int i = 0; i < 30; ++i)
            many.append({QString("f%1").arg(i), "x"});
        putFile(root.filePath("many.zip"), buildZip(many));
        QCOMPARE(archives.extractFlat(root.filePath("many.zip"), root.path(), {10, 1 << 20}), 10);

        putFile(root.filePath("broken.zip"), "not a zip");
        QVERIFY(archives.extractFlat(root.filePath("broken.zip"), root.path()) <= 0);
        QCOMPARE(archives.extractFlat(root.filePath("missing.zip"), root.path()), -1);
    }

    void messageBoxAnswersAndShowsLineBreaks() {
        QtDialogs dialogs;
        QString shownText;
        QString shownTitle;
        bool errorIcon = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            shownTitle = box->windowTitle();
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            box->button(QMessageBox::Yes)->click();
        });
        QCOMPARE(dialogs.message("one\r\rtwo", "Move?", Buttons::YesNo, Answer::No, Icon::None),
                 Answer::Yes);
        QCOMPARE(shownText, QStringLiteral("one\n\ntwo"));
        QCOMPARE(shownTitle, QStringLiteral("Move?"));

        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            errorIcon = box->icon() == QMessageBox::Critical;
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(dialogs.message("x", "Failed!", Buttons::Ok, Answer::Ok, Icon::Error), Answer::Ok);
        QVERIFY(errorIcon);
    }
};

QTEST_MAIN(TestPlatformLayer)
#include "tst_platform.moc"
