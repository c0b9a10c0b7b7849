#include "ui/TerminalView.h"

#include <vterm.h>

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

namespace ksr::ui {
namespace {

// The screen is silver, light yellow in reverse video (as the console is shown during an
// upload); the text is dark grey on both, for a contrast of at least 4.5:1 (5.7:1 on silver,
// 9.8:1 on light yellow), and reversed cells and the cursor swap the two.
const QColor kText(0x40, 0x40, 0x40);
const QColor kScreen(0xC0, 0xC0, 0xC0);
const QColor kReversedScreen(0xFF, 0xFF, 0x80);

}  // namespace

CPortTerminal::CPortTerminal(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CPortTerminal"));
    setFocusPolicy(Qt::StrongFocus);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    setFont(font);
    const QFontMetrics fm(font);
    // As wide as the widest glyph's ink and a pixel between neighbours: a glyph's ink may be
    // wider than its advance, and would run into the next cell or be cut at the first.
    int width = MinCellWidth;
    for (const QChar c : QStringLiteral("WM@#%&mw"))
        width = std::max({width, fm.horizontalAdvance(c), fm.boundingRect(c).width() + 1});
    cell_ = QSize(width, fm.height());
    vt_ = vterm_new(rows_, columns_);
    vterm_set_utf8(vt_, 0);
    vterm_output_set_callback(vt_, &CPortTerminal::output, this);
    screen_ = vterm_obtain_screen(vt_);
    static VTermScreenCallbacks callbacks{};
    callbacks.settermprop = [](VTermProp prop, VTermValue* value, void* user) {
        return settermprop(static_cast<int>(prop), value, user);
    };
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_set_damage_merge(screen_, VTERM_DAMAGE_SCROLL);
    vterm_screen_reset(screen_, 1);
}

void CPortTerminal::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int columns = std::max(1, (width() - 2 * Margin) / cell_.width());
    const int rows = std::max(1, (height() - 2 * Margin) / cell_.height());
    if (columns == columns_ && rows == rows_) return;
    columns_ = columns;
    rows_ = rows;
    vterm_set_size(vt_, rows_, columns_);
    vterm_screen_flush_damage(screen_);
}

CPortTerminal::~CPortTerminal() {
    vterm_free(vt_);
}

int CPortTerminal::settermprop(int prop, void* value, void* user) {
    auto* self = static_cast<CPortTerminal*>(user);
    if (prop == VTERM_PROP_REVERSE) self->reversed_ = static_cast<VTermValue*>(value)->boolean;
    return 1;
}

void CPortTerminal::output(const char* bytes, size_t length, void* user) {
    static_cast<CPortTerminal*>(user)->outgoing_.append(bytes, static_cast<qsizetype>(length));
}

void CPortTerminal::flushOutput() {
    if (outgoing_.isEmpty()) return;
    const QByteArray bytes = outgoing_;
    outgoing_.clear();
    if (active_) emit sendToDevice(bytes);
}

void CPortTerminal::feed(const QByteArray& bytes) {
    if (!active_) return;
    vterm_input_write(vt_, bytes.constData(), static_cast<size_t>(bytes.size()));
    vterm_screen_flush_damage(screen_);
    flushOutput();  // answers to the device's queries
    update();
}

void CPortTerminal::ClearAll() {
    const char clear[] = "\x1b[2J\x1b[H";
    vterm_input_write(vt_, clear, sizeof clear - 1);
    vterm_screen_flush_damage(screen_);
    update();
}

void CPortTerminal::ReverseScreen(bool on) {
    const char* mode = on ? "\x1b[?5h" : "\x1b[?5l";
    vterm_input_write(vt_, mode, 5);
    vterm_screen_flush_damage(screen_);
    update();
}

QColor CPortTerminal::foreground() const {
    return kText;
}
QColor CPortTerminal::background() const {
    return reversed_ ? kReversedScreen : kScreen;
}

QString CPortTerminal::rowText(int row) const {
    QString text;
    for (int col = 0; col < columns_; ++col) {
        VTermScreenCell cell;
        vterm_screen_get_cell(screen_, VTermPos{row, col}, &cell);
        text += cell.chars[0] ? QChar(static_cast<char32_t>(cell.chars[0])) : QChar(' ');
    }
    while (text.endsWith(QLatin1Char(' '))) text.chop(1);
    return text;
}

void CPortTerminal::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int cw = cell_.width();
    const int ch = cell_.height();
    p.fillRect(rect(), background());
    p.translate(Margin, Margin);
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < columns_; ++col) {
            VTermScreenCell cell;
            vterm_screen_get_cell(screen_, VTermPos{row, col}, &cell);
            // The screen reports reverse video by flipping each cell's flag; a cell whose flag
            // differs from the whole screen's was drawn reversed on purpose (SGR 7).
            const bool swapped = static_cast<bool>(cell.attrs.reverse) != reversed_;
            if (swapped) p.fillRect(QRect(col * cw, row * ch, cw, ch), foreground());
            if (cell.chars[0] && cell.chars[0] != ' ') {
                const QString glyph(QChar(static_cast<char32_t>(cell.chars[0])));
                p.setPen(swapped ? background() : foreground());
                // On the baseline, centred in its cell: the cell holds the whole glyph.
                const int x = col * cw + (cw - fm.boundingRect(glyph).width()) / 2 -
                              fm.boundingRect(glyph).left();
                p.drawText(QPoint(x, row * ch + fm.ascent()), glyph);
            }
        }
    }
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &cursor);
    p.fillRect(QRect(cursor.col * cw, cursor.row * ch + ch - 2, cw, 2),
               foreground());  // underline cursor
}

void CPortTerminal::keyPressEvent(QKeyEvent* event) {
    if (!active_) return;
    VTermKey key = VTERM_KEY_NONE;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = VTERM_KEY_ENTER;
            break;
        case Qt::Key_Backspace:
            key = VTERM_KEY_BACKSPACE;
            break;
        case Qt::Key_Tab:
            key = VTERM_KEY_TAB;
            break;
        case Qt::Key_Escape:
            key = VTERM_KEY_ESCAPE;
            break;
        case Qt::Key_Up:
            key = VTERM_KEY_UP;
            break;
        case Qt::Key_Down:
            key = VTERM_KEY_DOWN;
            break;
        case Qt::Key_Left:
            key = VTERM_KEY_LEFT;
            break;
        case Qt::Key_Right:
            key = VTERM_KEY_RIGHT;
            break;
        case Qt::Key_Delete:
            key = VTERM_KEY_DEL;
            break;
        default:
            break;
    }
    VTermModifier mod = VTERM_MOD_NONE;
    if (event->modifiers() & Qt::ControlModifier)
        mod = static_cast<VTermModifier>(mod | VTERM_MOD_CTRL);
    const int letter = event->key();
    if ((event->modifiers() & Qt::ControlModifier) && letter >= Qt::Key_A && letter <= Qt::Key_Z) {
        const char control = static_cast<char>(letter - Qt::Key_A + 1);  // Ctrl-C is ETX
        outgoing_.append(&control, 1);
    } else if (key != VTERM_KEY_NONE) {
        vterm_keyboard_key(vt_, key, mod);
    } else if (!event->text().isEmpty()) {
        for (QChar c : event->text()) {
            const uint32_t code = c.unicode();
            if (code < 32) {
                const char raw = static_cast<char>(code);  // Ctrl-C and the like as they are
                outgoing_.append(&raw, 1);
            } else {
                vterm_keyboard_unichar(vt_, code, VTERM_MOD_NONE);
            }
        }
    }
    flushOutput();
}

}  // namespace ksr::ui
