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

#include <windows.h>

namespace lm {
namespace {

class PressMessages : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const MSG* msg = static_cast<const MSG*>(message);
        switch (msg->message) {
        case WM_KEYDOWN:
            // Only the space bar captures; its auto-repeat (the key was down already) not.
            if (msg->wParam != VK_SPACE || (msg->lParam & (1 << 30)) != 0)
                break;
            [[fallthrough]];
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_POINTERDOWN: {
            QElapsedTimer now;
            now.start();
            log_.note(now.msecsSinceReference(), msg->time);
            break;
        }
        default:
            break;
        }
        return false; // Qt goes on handling every message as usual
    }

    std::optional<std::uint32_t> tickOf(quint64 stamp) {
        // Qt's stamp is the time since its event clock started; the filter runs just
        // before Qt stamps the event it makes of the message.
        return log_.take(
            QWindowSystemInterfacePrivate::eventTime.msecsSinceReference() + qint64(stamp), stamp);
    }

  private:
    PressLog log_;
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
