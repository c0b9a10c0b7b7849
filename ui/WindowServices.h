#pragma once
// What the window needs from the world outside the widgets: sounds, blocking pauses, the end of
// the program, the clock and the standard error box. Tests hand in their own to observe them.

#include <QDateTime>
#include <QString>

class QWidget;

namespace ksr::ui {

class WindowServices {
  public:
    virtual ~WindowServices() = default;
    virtual void beep();
    virtual void sleepMs(int milliseconds);
    // Ends the program: leaves the event loop.
    virtual void endProgram();
    virtual QDateTime now() const;
    // The standard message box for an error that stopped a handler.
    virtual void showError(QWidget* parent, const QString& message);
};

}  // namespace ksr::ui
