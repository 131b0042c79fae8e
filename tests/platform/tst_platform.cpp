#include "platform/input_times.h"
#include "platform/keep_awake.h"
#include "support/fakes.h"
#include "support/zip_builder.h"

#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif
#ifdef _WIN32
#include <windows.h>
#else
#include <QDBusConnection>
#endif

using namespace lm::test;

namespace {
#ifndef _WIN32
// The desktop's screen saver service, on the test's own session bus.
class StandInScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public slots:
    uint Inhibit(const QString& application, const QString&) {
        calls.append("Inhibit " + application);
        return 7;
    }
    void UnInhibit(uint cookie) { calls.append("UnInhibit " + QString::number(cookie)); }

  public:
    QStringList calls;
};
#endif
} // namespace

class TestPlatformLayer : public QObject {
    Q_OBJECT
  private slots:
    // A reader meanwhile (the Main Computer) finds the old content or the new one, never a
    // missing or half-written file, and fails no save; a full disk leaves the old content
    // and no temporary file beside it.
    void savesAreCrashSafe() {
        QTemporaryDir dir;
        FileSystem files;
        const QString path = dir.filePath("t.LMT");
        const QByteArray small = QByteArray("1:05.44\r\n").repeated(50),
                         large = small.repeated(400);
        QVERIFY(files.writeFileAtomic(path, small));
        std::atomic<bool> done = false;
        std::atomic<int> failed = 0;
        std::thread saver([&] {
            for (int i = 0; !done; ++i)
                failed += !files.writeFileAtomic(path, i % 2 ? small : large);
        });
        { // as many looks however fast the disk saves
            auto joined = qScopeGuard([&] { done = true, saver.join(); });
            QFile f(path);
            for (int look = 0; look < 200; ++look, f.close(), QThread::msleep(1)) // Windows: in use
                QVERIFY(f.open(QIODevice::ReadOnly) ? (QList{small, large}).contains(f.readAll())
                                                    : f.exists());
        }
        QCOMPARE(int(failed), 0);
#ifdef Q_OS_LINUX
        const QByteArray mountPoint = QFile::encodeName(dir.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        QVERIFY(files.writeFileAtomic(path, "12.36\r\n"));
        QVERIFY(!files.writeFileAtomic(path, QByteArray(200 * 1024, 'x')));
        QCOMPARE(fileBytes(path), QByteArray("12.36\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.LMT"});
#endif
    }

    // A real server: the whole body or nothing, and a silent server hangs nothing.
    void fetchesFromARealServer_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("body"); // "<none>": the fetch fails
        QTest::newRow("whole, size not announced")
            << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n1.13\r\n")
            << QByteArray("1.13\r\n");
        QTest::newRow("falls silent")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart")
            << QByteArray("<none>");
        QTest::newRow("oversized, size not announced")
            << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(2000, 'x')
            << QByteArray("<none>");
    }
    void fetchesFromARealServer() {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, body);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, answer] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write(answer);
                if (answer.contains("Connection: close"))
                    socket->disconnectFromHost();
            });
        });
        QtHttp http(300); // silence of 300 ms fails a fetch
        FetchOptions options;
        options.maxBytes = 1024;
        QCOMPARE(
            http.fetch(QUrl(QString("http://127.0.0.1:%1/v.txt").arg(server.serverPort())), options)
                .value_or("<none>"),
            body);
    }

    void stayingAwakeWhileTheClockRuns() {
#ifdef _WIN32
        // A call without ES_CONTINUOUS leaves the lasting state as it is, and returns it.
        const auto state = [] { return ::SetThreadExecutionState(0); };
        {
            KeepAwake awake;
            awake.set(true);
            QCOMPARE(state(), EXECUTION_STATE(0x80000003)); // continuous, system, display
            awake.set(true);
        } // the program ends with the clock running
        QCOMPARE(state(), EXECUTION_STATE(0x80000000));
#else
        QTemporaryDir busDir; // the bus's socket, gone after the bus; its address escaped
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                     "--address=unix:dir=" +
                                         QUrl::toPercentEncoding(busDir.path(), "/_.-*", "~")});
        QVERIFY(daemon.waitForReadyRead(10'000));
        const QString address = daemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QDBusConnection bus = QDBusConnection::connectToBus(address, "stand-in");
        StandInScreenSaver saver;
        QVERIFY(bus.registerService("org.freedesktop.ScreenSaver") &&
                bus.registerObject("/org/freedesktop/ScreenSaver", &saver,
                                   QDBusConnection::ExportAllSlots));
        KeepAwake awake; // a program that ends goes off the bus, and its request with it
        awake.set(true);
        awake.set(true);
        QTRY_COMPARE(saver.calls.join(','), "Inhibit Lapmark");
        awake.set(false);
        QTRY_COMPARE(saver.calls.join(','), "Inhibit Lapmark,UnInhibit 7");
        awake.set(true); // the next race, stopped before the screen saver answers
        awake.set(false);
        QTRY_COMPARE(saver.calls.join(','),
                     "Inhibit Lapmark,UnInhibit 7,Inhibit Lapmark,UnInhibit 7");
#endif
    }

    // The program folder carried over from a computer that stopped keeps its running lock;
    // one held by a program on this computer is not asked about.  A lock left empty (a flash
    // drive pulled as it was written) names nobody who could free it.
    void runningLockOfAnotherComputer() {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapmark.lock");
        const QList<std::pair<QByteArray, Answer>> rows = {
            {"FINISH-2", Answer::No}, {"FINISH-2", Answer::Yes}, {"", Answer::Yes}};
        for (const auto& [holder, answer] : rows) {
            putFile(path, holder.isEmpty() ? "" : "4242\nlapmark\n" + holder + "\n");
            FakeDialogs dialogs;
            dialogs.answers = {answer};
            QLockFile lock(path);
            QCOMPARE(holdRunningLock(lock, path, dialogs), answer == Answer::Yes);
            QVERIFY(dialogs.last().startsWith(
                "Take Over? [Yes/No, default No]: Lapmark in this folder is held by " +
                (holder.isEmpty() ? QString("a computer whose name cannot be read since ")
                                  : "the computer " + holder + " since ")));
            FakeDialogs none; // taken over: now this computer's
            QLockFile second(path);
            QVERIFY(answer == Answer::No ||
                    (!holdRunningLock(second, path, none) && none.said.isEmpty()));
        }
        // Held by a program of this computer, named by its Windows name: nothing is asked.
        const QByteArray name = qgetenv("COMPUTERNAME");
        auto restore = qScopeGuard([&] { qputenv("COMPUTERNAME", name); });
        qputenv("COMPUTERNAME", "FINISH-9");
        putFile(path,
                QByteArray::number(QCoreApplication::applicationPid()) + "\n" +
                    QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toUtf8() +
                    "\nFINISH-9\n");
        FakeDialogs none;
        QLockFile mine(path);
        QVERIFY(!holdRunningLock(mine, path, none) && none.said.isEmpty());
    }

    // Each windowing system marks the repeats of a held key in its own way.
    void keyRepeatsAsEachSystemMarksThem() {
        for (const char* system : {"xcb", "windows", "wayland", "offscreen"})
            QCOMPARE(keyRepeatRulesOf(system) == KeyRepeatRules::X11, system == QString("xcb"));
    }

    // Presses noted as Qt takes them up ("<taken up>:<tick>"), then the events made of them
    // ("<stamp as taken up>"), then the tick each event finds ("-": none).
    void pressesKeepTheirOwnMoments_data() {
        QTest::addColumn<QString>("row");
        QTest::newRow("queued while busy, taken up in one ms")
            << "1000:7000 1000:7120 1000:7250 1001:7380 > 1000 1000 1001 1001 = 7000 7120 7250 "
               "7380";
        QTest::newRow("a missed one is old")
            << "990:6900 1000:7000 1003:7120 > 1000 1003 = 7000 7120";
        QTest::newRow("used once; too far") << "1000:7000 > 1000 1000 1010 = 7000 - -";
        QTest::newRow("stamped with the press's own tick") << "1000:907000 > 907000 = 907000";
    }
    void pressesKeepTheirOwnMoments() {
        QFETCH(QString, row);
        PressLog log;
        for (const QString& p : row.section(" > ", 0, 0).split(' '))
            log.note(p.section(':', 0, 0).toLongLong(), p.section(':', 1).toUInt());
        QStringList got;
        for (const QString& e : row.section(" > ", 1).section(" = ", 0, 0).split(' ')) {
            const std::optional<std::uint32_t> tick = log.take(e.toLongLong(), e.toULongLong());
            got.append(tick ? QString::number(*tick) : "-");
        }
        QCOMPARE(got.join(' '), row.section(" = ", 1));
    }

    void hostileArchivesStayInTheFolder() {
        QTemporaryDir root;
        const QString folder = root.filePath("app/upgrade");
        QDir().mkpath(folder);
        FileSystem files;
        ZipArchives archives(files);
        // clang-format off
        QCOMPARE(archives.extractFlat(buildZip({
            {"../x1", "1"}, {"a/../../x2", "2"}, {root.filePath("abs"), "3"}, {"..\\x4", "4"},
            {"a/..", "5"}, {"link", {}, "/etc"}, {"link/passwd", "through the link"},
            {"dup", "first"}, {"sub/dup", "second"}}), folder), 7);
        // clang-format on
        QStringList found;
        for (QDirIterator it(root.path(),
                             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            found.append(QDir(root.path()).relativeFilePath(it.next()));
        found.sort();
        QCOMPARE(found, (QStringList{"app", "app/upgrade", "app/upgrade/abs", "app/upgrade/dup",
                                     "app/upgrade/passwd", "app/upgrade/x1", "app/upgrade/x2",
                                     "app/upgrade/x4"}));
        QCOMPARE(fileBytes(folder + "/dup"), QByteArray("second"));

        // A bound on the bytes written; a broken or missing archive.
        QCOMPARE(archives.extractFlat(buildZip({{"a", "x"}, {"b", QByteArray(3 << 20, 0)}}), folder,
                                      {1000, 1 << 20}),
                 1);
        QVERIFY(archives.extractFlat("not a zip", folder) <= 0);
        QCOMPARE(archives.extractFlat(QByteArray(), folder), -1);
    }
};

QTEST_GUILESS_MAIN(TestPlatformLayer)
#include "tst_platform.moc"
