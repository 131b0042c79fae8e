// The moment of a press on Windows.  Qt stamps an input event with a clock of its own at
// the moment it takes the message up, which may be long after the press when the window
// was busy; the message itself carries the time of the press on the tick counter's base.
// A native event filter notes, for each press message, when Qt takes it up on Qt's own
// clock, so that an event's stamp leads back to its message.

#include "input_times.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <qpa/qwindowsysteminterface_p.h>

#include <array>
#include <windows.h>

namespace lm {
namespace {

class PressMessages : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const MSG* msg = static_cast<const MSG*>(message);
        switch (msg->message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            QElapsedTimer now;
            now.start();
            seen_[next_++ % seen_.size()] = {now.msecsSinceReference(), msg->time};
            break;
        }
        default:
            break;
        }
        return false; // Qt goes on handling every message as usual
    }

    std::optional<std::uint32_t> tickOf(quint64 stamp) const {
        // Qt's stamp is the time since its event clock started; the filter runs just
        // before Qt stamps the event it makes of the message.
        const qint64 takenUp =
            QWindowSystemInterfacePrivate::eventTime.msecsSinceReference() + qint64(stamp);
        for (const Seen& s : seen_) {
            if (s.takenUp != 0 && takenUp - s.takenUp >= -1 && takenUp - s.takenUp <= 3)
                return s.messageTime;
        }
        return std::nullopt;
    }

  private:
    struct Seen {
        qint64 takenUp = 0;            // on Qt's event clock, in milliseconds
        std::uint32_t messageTime = 0; // GetMessageTime's base: the tick counter
    };
    std::array<Seen, 64> seen_{};
    std::size_t next_ = 0;
};

} // namespace

SystemClock::EventTicks pressTicks() {
    static PressMessages filter;
    static bool installed = false;
    if (!installed) {
        QCoreApplication::instance()->installNativeEventFilter(&filter);
        installed = true;
    }
    return [](quint64 stamp) { return filter.tickOf(stamp); };
}

} // namespace lm
