// The figures of Lapmark's speed targets, one line each: name, median, p99, unit.

#include "app/form1.h"
#include "core/data_file.h"
#include "finishorder/frm_bib_numbers.h"
#include "platform/qt_platform.h"
#include "support/window_fixture.h"
#include "timing/frm_timer.h"
#include "timing/race_clock.h"
#include "upgrade/check_version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace lm;

namespace {

void report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %9.3f  p99 %9.3f  ms\n", name, ms[ms.size() / 2],
                ms[size_t(0.99 * double(ms.size() - 1))]);
    std::fflush(stdout);
}

// Milliseconds of `step`, `runs` times; `prepare` runs untimed before each.
std::vector<double> timed(
    int runs, const std::function<void()>& step, const std::function<void()>& prepare = [] {}) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return ms;
}

// The real tick counter without the ten seconds of the start display; event stamps on it
// as the X server's are, or none.
struct StampedClock : SystemClock {
    explicit StampedClock(bool stamps)
        : SystemClock(stamps ? EventTicks([](quint64 s) { return std::optional(std::uint32_t(s)); })
                             : EventTicks()) {}
    std::uint32_t skipped = 0;
    std::uint32_t tickCount() override { return SystemClock::tickCount() + skipped; }
    void sleepMs(int ms) override { skipped += std::uint32_t(ms); }
};

// A field of the last journal record that starts with `word`.
qint64 journalled(const QString& journal, const QByteArray& word, int field) {
    qint64 value = -1;
    for (const QByteArray& line : test::fileBytes(journal).split('\n'))
        value = line.startsWith(word) ? line.split(' ').value(field).toLongLong() : value;
    return value;
}

void timing() {
    test::WindowFixture<FrmTimer> f;
    FrmTimer& window = f.open();
    f.click("CmdStart");
    for (int i = 0; i < 2000; ++i)
        QTest::keyClick(window.focusWidget(), Qt::Key_Space);
    // The press is handled (line appended, selected, journalled) before the key event
    // returns; the repaint follows in the event loop.
    const auto release = [&] {
        QTest::keyRelease(window.focusWidget(), Qt::Key_Space);
        QCoreApplication::processEvents();
    };
    report("capture (2000+ times, journal on)",
           timed(
               2000, [&] { QTest::keyPress(window.focusWidget(), Qt::Key_Space); }, release));
    report("capture and repaint of the window", timed(
                                                    500,
                                                    [&] {
                                                        QTest::keyPress(window.focusWidget(),
                                                                        Qt::Key_Space);
                                                        window.repaint();
                                                    },
                                                    release));
    const QByteArray content = QByteArray("1:02:03.46\r\n").repeated(2000);
    report("save 2000 times (crash-safe, synced)", timed(50, [&] {
               writePrimary(f.t.platform, f.dataFile("TIMES EV  7.LMT"), content,
                            RetryPause::FromRoundedSecond);
           }));
    f.window.reset(); // lets go of its journal before the folder is cleared

    // From a capture's record to the same record on the disk, as the journal's own thread
    // makes it durable.
    {
        FileSystem files;
        const std::unique_ptr<Journal> journal =
            files.openJournal(f.dir.filePath("recovery/durable.journal"));
        report("capture record durable on disk", timed(300, [&] {
                   journal->append("capture 17 123456 *A1B2\n");
                   journal->waitDurable(10'000);
               }));
    }

    // A space bar press queued while the window thread is held for 300 ms (a save to a
    // slow flash drive): how far the journalled time lies from the moment of the press.
    for (const bool stamps : {true, false}) {
        StampedClock clock(stamps);
        Platform platform{f.t.dialogs, clock, f.t.files, f.t.http, f.t.archives, f.t.session};
        QDir(f.dir.filePath("recovery")).removeRecursively();
        FrmTimer held(f.state, platform);
        held.load(); // today's date: a new event file
        held.show();
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        const QString journal =
            QDir(f.dir.filePath("recovery")).entryInfoList(QDir::Files)[0].filePath();
        const auto start = std::uint32_t(journalled(journal, "start", 1));
        std::vector<double> errors;
        for (int i = 0; i < 30; ++i) {
            const std::uint32_t pressed = clock.tickCount();
            // A tap: pressed, and released 80 ms later (a press without a release is the
            // bar held down, which repeats).
            for (const auto& [type, at] : {std::pair{QEvent::KeyPress, pressed},
                                           std::pair{QEvent::KeyRelease, pressed + 80}}) {
                auto* key = new QKeyEvent(type, Qt::Key_Space, Qt::NoModifier, " ");
                key->setTimestamp(at);
                QCoreApplication::postEvent(held.focusWidget(), key);
            }
            QThread::msleep(300);
            QCoreApplication::processEvents();
            errors.push_back(double(journalled(journal, "capture", 2) - elapsedMs(start, pressed)));
        }
        report(stamps ? "capture error, press held 300 ms" : "  the same, read from the clock",
               errors);
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStop"), Qt::LeftButton);
        held.closeFromCode();
    }
}

void finishOrder() {
    test::WindowFixture<FrmBibNumbers> f;
    QByteArray content;
    for (int i = 1; i <= 2000; ++i)
        content += QByteArray::number(1000 + i) + "\r\n";
    test::putFile(f.dataFile("BIBS EV  7.LMB"), content);
    report("open bib window on 2000-line file", timed(20, [&] {
               f.open();
               QCoreApplication::processEvents();
           }));
    int next = 9000;
    report("entry at place 2000 (check, write, save)", timed(200, [&] {
               f.child<QLineEdit>("TxtPlace")->setText("2000");
               f.child<QLineEdit>("TxtBib")->setText(QString::number(next++));
               QTest::keyClick(f.child<QLineEdit>("TxtBib"), Qt::Key_Return);
           }));
    for (const bool insert : {true, false}) {
        report(insert ? "insert at place 1" : "delete at place 1", timed(100, [&] {
                   f.window->selectLine(1);
                   f.t.dialogs.answers = {Answer::Yes};
                   insert ? f.window->CmdInsert_Click() : f.window->CmdDelete_Click();
                   QCoreApplication::processEvents();
               }));
    }
}

// A server on this machine that answers every request with `body`.
struct Server : QTcpServer {
    explicit Server(QByteArray body) : body_(std::move(body)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (socket->readAll().contains("\r\n\r\n"))
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: " +
                                  QByteArray::number(body_.size()) + "\r\n\r\n" + body_);
            });
        });
    }
    QUrl url() const { return QUrl(QString("http://127.0.0.1:%1").arg(serverPort())); }
    QByteArray body_;
};

void startUp() {
    QTemporaryDir dir;
    const auto startOnce = [&](const QUrl& url) {
        RealPlatform real;
        AppState state;
        Form1 form(state, real.platform(), url);
        form.load(dir.path());
        form.show();
        QCoreApplication::processEvents();
    };
    Server answers("1.12");
    report("start-up, server answers 1.12", timed(9, [&] { startOnce(answers.url()); }));
    report("start-up, server refuses connections",
           timed(3, [&] { startOnce(QUrl("http://127.0.0.1:1")); }));
}

// A 50 MB package over loopback, by the program's own fetch and by curl from the same
// server (python3's), as a ratio of speeds.  Needs python3 and curl on the machine.
void download() {
    QTemporaryDir dir;
    test::putFile(dir.filePath("pdtimerupgrade.zip"), QByteArray(50 << 20, 'z'));
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcess server;
    server.start("python3",
                 {"-m", "http.server", port, "--bind", "127.0.0.1", "--directory", dir.path()});
    if (!server.waitForStarted()) {
        std::printf("download 50 MB: python3 is not here, no figure\n");
        return;
    }
    const QString url = "http://127.0.0.1:" + port + "/pdtimerupgrade.zip";
    QThread::msleep(700);
    QtHttp http;
    // The program fetches its version text before a package, so its network layer is warm;
    // the runs of curl come after the program's, whose memory a fork of this process would
    // otherwise make copy-on-write.
    http.fetch(QUrl(url));
    std::vector<double> ours = timed(9, [&] { http.fetch(QUrl(url)); });
    std::vector<double> raw = timed(9, [&] {
        QProcess::execute("curl", {"-s", "-o", QProcess::nullDevice(), url});
    });
    // Memory: the peak resident size during one fetch, over what was resident before it.
    const auto statusKb = [](const char* field) {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return -1LL;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        return -1LL;
    };
    QFile clear("/proc/self/clear_refs"); // "5" starts the peak afresh
    const qint64 before = statusKb("VmRSS:");
    const bool peakReset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    clear.close();
    const qint64 size = http.fetch(QUrl(url)).value_or(QByteArray()).size();
    const qint64 peak = statusKb("VmHWM:");
    report("download 50 MB package (program)", ours);
    report("  the same with curl", raw);
    std::sort(ours.begin(), ours.end());
    std::sort(raw.begin(), raw.end());
    std::printf("%-44s %9.2f  (curl's time / the program's)\n", "download speed against curl",
                raw[4] / ours[4]);
    if (peakReset && before >= 0 && peak >= 0)
        std::printf("%-44s %9.2f  MB over the package's %.2f MB\n", "download memory at its peak",
                    double(peak - before) / 1024.0 - size / 1048576.0, size / 1048576.0);
    else
        std::printf("download memory at its peak: not measurable here\n");
    server.kill();
    server.waitForFinished();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // With names (timing, finishorder, startup, download), only those parts run.
    const QStringList only = app.arguments().mid(1);
    const auto part = [&](const char* name, void (*run)()) {
        if (only.isEmpty() || only.contains(name))
            run();
    };
    part("timing", timing);
    part("finishorder", finishOrder);
    part("startup", startUp);
    part("download", download);
    return 0;
}
