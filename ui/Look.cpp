#include "ui/Look.h"

#include <QFontDatabase>
#include <QWidget>
#include <cmath>

namespace ksr::ui {
namespace {

constexpr int kTextPixels = 12;

double Linear(double channel) {
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

}  // namespace

QFont WindowFont() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(kTextPixels);
    return f;
}

QFont FixedPitchFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(kTextPixels);
    return f;
}

QPalette WindowPalette() {
    const QColor silver(0xC0, 0xC0, 0xC0), black(Qt::black), white(Qt::white);
    const QColor disabledText(0x4A, 0x4A, 0x4A);
    QPalette p(black, silver, white, QColor(0x80, 0x80, 0x80), QColor(0xA0, 0xA0, 0xA0), black,
               white, white, silver);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, silver);
        p.setColor(group, QPalette::Button, silver);
        p.setColor(group, QPalette::AlternateBase, QColor(0xE8, 0xE8, 0xE8));
        p.setColor(group, QPalette::Highlight, QColor(0x00, 0x00, 0x80));
        p.setColor(group, QPalette::HighlightedText, white);
        p.setColor(group, QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
        p.setColor(group, QPalette::ToolTipText, black);
        p.setColor(group, QPalette::PlaceholderText, disabledText);
        p.setColor(group, QPalette::Link, QColor(0x00, 0x00, 0xC0));
        p.setColor(group, QPalette::Light, white);
        p.setColor(group, QPalette::Midlight, QColor(0xE0, 0xE0, 0xE0));
        p.setColor(group, QPalette::Mid, QColor(0xA0, 0xA0, 0xA0));
        p.setColor(group, QPalette::Dark, QColor(0x80, 0x80, 0x80));
        p.setColor(group, QPalette::Shadow, black);
        p.setColor(group, QPalette::Base, white);
        const QColor text = group == QPalette::Disabled ? disabledText : black;
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::ButtonText, text);
    }
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xE4, 0xE4, 0xE4));
    return p;
}

void ApplyWindowLook(QWidget* window) {
    window->setPalette(WindowPalette());
    window->setFont(WindowFont());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace ksr::ui
