#pragma once
// A working window opened for event 7 "Girls 5K" in a temporary program folder, with the
// scripted platform; tests reach its controls by their names.

#include "support/fakes.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace lm::test {

template <class Window> struct WindowFixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state = eventState(dir.path());
    std::unique_ptr<Window> window;

    // Loads (with its reminder) and shows a new window, as the main window does.
    Window& open() {
        window = std::make_unique<Window>(state, t.platform);
        window->load();
        window->show();
        return *window;
    }
    template <class T> T* child(const char* name) {
        return window->template findChild<T*>(QLatin1String(name));
    }
    void click(const char* button) {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    // A data file of the event in the program folder.
    QString dataFile(const char* prefixAndNumber, const char* extension) const {
        return dir.path() + "/ 3-14-2018 Girls 5K " + prefixAndNumber + extension;
    }
};

} // namespace lm::test
