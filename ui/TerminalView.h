#pragma once
// The terminal view of the recorder's console: 80 x 55 cells over libvterm, dark text on silver
// (on light yellow in reverse video), underline cursor, no scroll-back. While active it shows what arrives and hands typed
// keys, and the emulator's answers to the device's queries, to `sendToDevice`.

#include <QWidget>

struct VTerm;
struct VTermScreen;

namespace ksr::ui {

class CPortTerminal : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Columns = 80;
    static constexpr int Rows = 55;

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

  private:
    static void output(const char* bytes, size_t length, void* user);
    static int settermprop(int prop, void* value, void* user);
    void flushOutput();

    VTerm* vt_;
    VTermScreen* screen_;
    bool active_ = false;
    bool reversed_ = false;
    QByteArray outgoing_;
};

}  // namespace ksr::ui
