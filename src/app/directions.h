#pragma once
// The two help screens: "Paths for Files." and, after its Exit, "Brief Directions".

#include "platform/ui.h"

namespace lm {

class FormDirections3 : public ModalWindow {
    Q_OBJECT
  public:
    explicit FormDirections3(QWidget* parent = nullptr);

  protected:
    // Escape is the Exit button: the brief directions follow.
    void onEscape() override { closeFromCode(); }
};

class FormDirections : public ModalWindow {
    Q_OBJECT
  public:
    explicit FormDirections(QWidget* parent = nullptr);

  protected:
    void onEscape() override { closeFromCode(); }
};

} // namespace lm
