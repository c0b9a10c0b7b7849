#pragma once
// The small controls the editors are made of, with the behaviour field operators know from the
// recorder's tools: panels used as buttons, up/down spin buttons and whole-number spin edits.

#include <QAbstractSpinBox>
#include <QColor>
#include <QGroupBox>
#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <string>
#include <string_view>

namespace ksr::ui {

// Sets a widget's background colour (filled).
void SetBackground(QWidget* widget, const QColor& colour);

// A label by its objectName, at its place.
QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry);

// Latin-1 bytes (the tables', the files') as text, byte for byte.
QString Latin1Text(std::string_view bytes);
inline QString Latin1Text(const std::string& bytes) {
    return Latin1Text(std::string_view(bytes));
}
inline QString Latin1Text(const char* bytes) {
    return Latin1Text(std::string_view(bytes));
}

// A coloured panel with a caption that acts as a button: mouse click, or Enter / Space while it
// has the focus.
class ClickPanel : public QLabel {
    Q_OBJECT
  public:
    ClickPanel(const QString& objectName, const QString& caption, const QColor& colour,
               QWidget* parent);
    void setColour(const QColor& colour) { SetBackground(this, colour); }

    // What Enter, Space, a click and a screen reader's "press" do.
    void click() { emit clicked(); }

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    bool pressed_ = false;
};

// Makes screen readers announce ClickPanels as buttons that can be pressed. Installed once.
void InstallAccessibility();

// Gives every control of `window` that takes the focus an accessible name where it has none:
// its caption, or its name spelt out ("ComSpinEdit" -> "Com spin edit").
void NameFocusableControls(QWidget* window);

// Enter and Return press a focused push button of `window`, as Space does.
void PressButtonsWithEnter(QWidget* window);

// A small pair of arrow buttons with separate up and down clicks (children named "Up", "Down").
class SpinButton : public QWidget {
    Q_OBJECT
  public:
    SpinButton(const QString& objectName, QWidget* parent);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  signals:
    void upClicked();
    void downClicked();

  private:
    QToolButton* up_;
    QToolButton* down_;
};

// A whole-number field with limits and a step. Text that is not a number reads as the lower
// limit; a typed value outside the limits stays until the field loses the focus, then it is
// clamped; a value set from code is clamped. `changed` is emitted on every change of the text,
// whether typed, stepped or set from code.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
  public:
    SpinEdit(const QString& objectName, int minimum, int maximum, int step, QWidget* parent);

    int value() const;
    void setValue(int value);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setLimits(int minimum, int maximum);
    int step() const { return step_; }
    void setStep(int step) { step_ = step; }
    void setMaxLength(int characters);
    // A spin edit without typing: only its arrows change it.
    void setTypingAllowed(bool allowed);
    // A typed number outside the limits stays when the focus leaves (the arrows still keep to
    // them); the field's user reads the text.
    void setKeepsTypedValue(bool keeps) { keepsTyped_ = keeps; }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

  signals:
    void changed();

  protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    int clamp(long long value) const;
    int minimum_, maximum_, step_;
    bool keepsTyped_ = false;
};

// Watches the focus: emits `exited` when the focus moves from inside `group` to a control
// outside it, and `entered` when it moves in from outside.
class FocusWatcher : public QObject {
    Q_OBJECT
  public:
    explicit FocusWatcher(QWidget* group);

  signals:
    void exited();
    void entered();

  private:
    void focusChanged(QWidget* old, QWidget* now);
    QWidget* group_;
};

// The change action every spin edit shares: an empty field becomes 0 (clamped by the spin),
// which runs the action again nested; then the value is read.
bool EmptySpinBecomesZero(SpinEdit* spin);

}  // namespace ksr::ui
