#pragma once
// The window's own look, independent of the desktop: the design's fonts at their pixel sizes and
// a light palette (silver window, black text) whatever the system's style, font size or theme.
// The colours of panels and the status bar are set on top of it where they are used.

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace ksr::ui {

// Status bar colours: what the operator must do, success, waiting or failure, transfer start,
// the gel-battery warning, and neutral.
namespace colour {
inline const QColor Yellow{0xFF, 0xFF, 0x00};
inline const QColor Lime{0x00, 0xFF, 0x00};
inline const QColor Red{0xFF, 0x00, 0x00};
inline const QColor Magenta{0xFF, 0x00, 0xFF};
inline const QColor Aqua{0x00, 0xFF, 0xFF};
inline const QColor Silver{0xC0, 0xC0, 0xC0};
inline const QColor Orange{0xFF, 0x80, 0x00};
inline const QColor LightYellow{0xFF, 0xFF, 0x80};
inline const QColor Green{0x00, 0xFF, 0x40};
inline const QColor Maroon{0x80, 0x00, 0x00};
}  // namespace colour


// The text font of the design (12 px).
QFont WindowFont();
// The fixed-pitch font of the file list and the memo (12 px).
QFont FixedPitchFont();
// Silver window, black text, white fields; disabled text dark enough to read (at least 4.5:1
// on silver) while still looking disabled.
QPalette WindowPalette();

// Gives a top-level window the look above; call before its children are made, so that fonts
// derived from it keep the design's pixel sizes. (The program itself also sets the Fusion style,
// so that no desktop style draws with colours of its own.)
void ApplyWindowLook(QWidget* window);

// WCAG contrast ratio of two colours (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);

}  // namespace ksr::ui
