#pragma once
// Tooltips of the controls whose caption does not say what they do, in one table.

class QWidget;

namespace ksr::ui {

struct ControlTip {
    const char* objectName;
    const char* text;
};

// The table; every name is that of one control of the main window.
extern const ControlTip ControlTips[];
extern const int ControlTipCount;

// Gives each control of `window` named in the table its tooltip (one the control has already
// keeps its own).
void ApplyControlTips(QWidget* window);

}  // namespace ksr::ui
