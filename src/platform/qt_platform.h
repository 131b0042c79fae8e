#pragma once
// The real Platform of the running program: Qt message boxes, the file chooser and the
// progress window, the running QApplication, and the display-free parts of system.h.

#include "keep_awake.h"
#include "system.h"

namespace lm {

class QtDialogs : public Dialogs {
  public:
    Answer message(const QString& prompt, const QString& title, Buttons buttons,
                   Answer defaultButton, Icon icon) override;
    std::optional<QString> chooseSaveFile(const QString& proposedName) override;
    std::unique_ptr<Progress> progress(const QString& label) override;
};

class QtSession : public Session {
  public:
    void processEvents() override;
    void setWaitCursor(bool wait) override;
    void closeAllWindows() override;
    bool startDetached(const QString& program) override;
    void quit() override;
    void keepAwake(bool awake) override { keepAwake_.set(awake); }
    QString programFile() override;
    KeyRepeatRules keyRepeatRules() override;

  private:
    bool waitCursor_ = false;
    KeepAwake keepAwake_;
};

// Owns one of each real part and hands them out as a Platform.
class RealPlatform {
  public:
    RealPlatform();
    Platform& platform() { return platform_; }

  private:
    QtDialogs dialogs_;
    SystemClock clock_;
    FileSystem files_;
    QtHttp http_;
    ZipArchives archives_{files_};
    QtSession session_;
    Platform platform_;
};

} // namespace lm
