#pragma once
// The terminal view of the recorder's console over libvterm, dark text on silver (on light
// yellow in reverse video), underline cursor, no scroll-back. Each cell is as wide as the font's
// glyphs (at least 7 px), so every glyph is drawn whole; the columns and rows are what the
// view's size holds, and the recorder's lines wrap at its width. While active it shows what
// arrives and hands typed keys, and the emulator's answers to the device's queries, to
// `sendToDevice`.

#include <QWidget>

struct VTerm;
struct VTermScreen;

namespace ksr::ui {

class CPortTerminal : public QWidget {
    Q_OBJECT
  public:
    static constexpr int MinCellWidth = 7;
    // Blank around the cells, so that no glyph touches the view's edge.
    static constexpr int Margin = 2;

    explicit CPortTerminal(QWidget* parent = nullptr);
    ~CPortTerminal() override;

    void setActive(bool active) { active_ = active; }
    bool isActive() const { return active_; }
    // Received bytes, shown when active.
    void feed(const QByteArray& bytes);
    // Empty screen, cursor home.
    void ClearAll();
    // Reverse video of the whole screen (DEC private mode 5).
    void ReverseScreen(bool on);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // One cell's size in pixels.
    QSize cellSize() const { return cell_; }

    // The text of row `row` (0-based), for the tests and for copying.
    QString rowText(int row) const;
    bool reversed() const { return reversed_; }
    // The colours a cell is drawn with, reverse video applied.
    QColor foreground() const;
    QColor background() const;

  signals:
    void sendToDevice(const QByteArray& bytes);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    static void output(const char* bytes, size_t length, void* user);
    static int settermprop(int prop, void* value, void* user);
    void flushOutput();

    VTerm* vt_;
    VTermScreen* screen_;
    bool active_ = false;
    bool reversed_ = false;
    QByteArray outgoing_;
    QSize cell_;
    int columns_ = 80;
    int rows_ = 24;
};

}  // namespace ksr::ui
