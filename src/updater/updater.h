#pragma once
// The updater, upgradetimer.exe: started by the program after it unpacked a signed upgrade
// package, it starts the new program from a file of its own once the old one has ended,
// and puts it in place of the old one only once it has shown its main window.
// upgrade/handover.h tells how the two programs speak to each other.

#include "platform/platform.h"

#include <QString>

#include <optional>

namespace lm {

// The updater's reach beyond the files: time, and the processes it waits for and starts.
class UpdaterSystem {
  public:
    virtual ~UpdaterSystem() = default;
    virtual qint64 nowMs() = 0; // a monotonic clock
    virtual void sleepMs(int ms) = 0;
    // True once no program holds the running lock of `folder`.
    virtual bool programEnded(const QString& folder) = 0;
    // Starts `program` in its folder without waiting; its process id, or nothing.
    virtual std::optional<qint64> start(const QString& program) = 0;
    virtual bool running(qint64 pid) = 0;
    virtual void stop(qint64 pid) = 0;
};

struct UpdaterBounds {
    int programEndMs = 30'000; // for the program that started the updater to end
    int provingMs = 20'000;    // for the new program to show its main window
    int fileBusyMs = 5'000;    // for a program file that is still in use to come free
};

class Updater {
  public:
    enum class Outcome { Upgraded, TakenBack, GaveUp, NothingToInstall };

    Updater(FileSystem& files, UpdaterSystem& system, QString folder, UpdaterBounds bounds = {});
    Outcome run();

  private:
    QString path(const QString& name) const;
    void log(const QString& line);
    // Writes a program file crash-safely, runnable before it has its name, trying again
    // while it is still in use.
    bool writeProgram(const QString& name, const QByteArray& program);
    // Removes a program file, trying again while it is still in use.
    void removeProgram(const QString& name);
    // The candidate did not prove itself: the program stays as it is.
    Outcome takeBack(const QString& version, const QString& why);

    FileSystem& files_;
    UpdaterSystem& system_;
    QString folder_;
    UpdaterBounds bounds_;
    QString candidate_; // the new program's file while it proves itself
};

} // namespace lm
