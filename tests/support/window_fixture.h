#pragma once
// A working window opened for event 7 "Girls 5K" on 3/14/2018 in a temporary program
// folder, with the scripted platform; tests reach its controls by their names.

#include "support/fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lm::test {

template <class Window> struct WindowFixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state{7,    "Girls 5K", {}, shown(dir.path()), shown(dir.path()) + sep, "no path set",
                   2000, {}};
    std::unique_ptr<Window> window;

    // Loads (with its reminder) and shows a new window, as the main window does.
    Window& open() {
        window = std::make_unique<Window>(state, t.platform);
        window->load();
        window->show();
        return *window;
    }
    template <class T = QPushButton> T* child(const char* name) {
        return window->template findChild<T*>(QLatin1String(name));
    }
    void click(const char* button) { QTest::mouseClick(child(button), Qt::LeftButton); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    // A data file of the event in the program folder.
    QString dataFile(const QString& end) const {
        return shown(dir.path()) + sep + " 3-14-2018 Girls 5K " + end;
    }
};

} // namespace lm::test
