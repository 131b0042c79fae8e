#include "keep_awake.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lm {

// The desktop's screen saver service, which also holds off sleeping for idleness.  It ends
// the inhibition by itself when the program leaves the session bus (a crash included).
struct KeepAwake::Impl {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject context; // ends the wait for an answer along with this
    bool wanted = false;
    QDBusPendingCallWatcher* asking = nullptr; // the request not yet answered
    uint cookie = 0;

    static QDBusMessage call(const char* method) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                              QStringLiteral("/org/freedesktop/ScreenSaver"),
                                              QStringLiteral("org.freedesktop.ScreenSaver"),
                                              QLatin1String(method));
    }
    void inhibit() {
        if (asking || cookie != 0 || !bus.isConnected())
            return;
        // Not waited for: the start of a race must not hang on the desktop.
        QDBusMessage m = call("Inhibit");
        m << QStringLiteral("Lapmark") << QStringLiteral("A race clock is running");
        asking = new QDBusPendingCallWatcher(bus.asyncCall(m, 5000), &context);
        QObject::connect(asking, &QDBusPendingCallWatcher::finished, &context, [this] {
            answered();
            if (!wanted)
                release();
        });
    }
    void answered() {
        const QDBusPendingReply<uint> reply = *asking;
        asking->deleteLater();
        asking = nullptr;
        if (reply.isValid())
            cookie = reply.value();
    }
    void release() {
        if (cookie == 0)
            return;
        QDBusMessage m = call("UnInhibit");
        m << cookie;
        bus.send(m);
        cookie = 0;
    }
};

KeepAwake::KeepAwake() : impl_(std::make_unique<Impl>()) {}

KeepAwake::~KeepAwake() {
    // A request still on its way is waited for (at most its time-out), so that what it
    // obtained is released as well.
    if (impl_->asking) {
        impl_->asking->waitForFinished(); // which hands its answer to the handler as well
        if (impl_->asking)
            impl_->answered();
    }
    impl_->release();
}

void KeepAwake::set(bool awake) {
    impl_->wanted = awake;
    awake ? impl_->inhibit() : impl_->release();
}

} // namespace lm
