// The window on a hostile desktop: a dark theme and an 11 pt font must change nothing of its
// look; disabled text stays readable; a small screen scrolls the pages instead of cutting them.

#include "ui/Look.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/TKSR_SetUp.h"
#include "ui/TerminalView.h"

using namespace ksr;
using test::Click;
using test::Find;

class LookTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir;
    test::FakeServices services;
    std::unique_ptr<SetupRecord> record;
    std::unique_ptr<ui::TKSR_SetUp> window;
    QWidget* w() { return window.get(); }

    void newWindow() {
        window.reset();
        record = std::make_unique<SetupRecord>();
        SetDefaults(*record);
        window = std::make_unique<ui::TKSR_SetUp>(*record, services, dir->path());
        window->show();
        QTRY_VERIFY(window->pagesMade());  // as the operator finds the window after its first frame
    }

    // Every caption that does not fit its place, as "name: text".
    QStringList clippedCaptions() {
        QStringList clipped;
        for (QLabel* l : w()->findChildren<QLabel*>()) {
            if (!l->isVisibleTo(w()) || l->wordWrap() || l->text().contains('\n') ||
                l->text().isEmpty() || l->objectName() == QStringLiteral("SetUpStatus"))
                continue;
            const int needed = l->fontMetrics().horizontalAdvance(l->text());
            if (needed > l->contentsRect().width())
                clipped << l->objectName() + QStringLiteral(": ") + l->text();
        }
        for (QAbstractButton* b : w()->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(w()) || b->text().isEmpty()) continue;
            if (!qobject_cast<QCheckBox*>(b) && !qobject_cast<QRadioButton*>(b)) continue;
            if (b->sizeHint().width() > b->width())
                clipped << b->objectName() + QStringLiteral(": ") + b->text() +
                               QStringLiteral(" (%1 of %2 px)")
                                   .arg(b->width())
                                   .arg(b->sizeHint().width());
        }
        return clipped;
    }

  private slots:
    void initTestCase() {
        // A dark desktop theme with an 11 pt font.
        QPalette dark;
        for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
            dark.setColor(role, QColor(0x20, 0x20, 0x20));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, QColor(0xEE, 0xEE, 0xEE));
        QApplication::setPalette(dark);
        QFont big = QApplication::font();
        big.setPointSize(11);
        QApplication::setFont(big);
    }
    void init() {
        dir = std::make_unique<test::TempDir>();
        test::WriteBytes(*dir / "timed.set",
                         test::ReadBytes(test::ShippedData("examples/timed.set")));
        newWindow();
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    void aDarkThemeAndALargeFontChangeNothing() {
        Click(w(), "NewSetUpPanel");
        QCOMPARE(w()->palette().color(QPalette::Window), ui::colour::Silver);
        for (const char* name : {"SelectBelowLabel", "SecRateLabel", "FileLenText"}) {
            auto* label = Find<QLabel>(w(), name);
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
            QCOMPARE(label->font().pixelSize(), 12);
        }
        QCOMPARE(Find<QListWidget>(w(), "SetUpFileBox")->palette().color(QPalette::Base),
                 QColor(Qt::white));
        QVERIFY2(clippedCaptions().isEmpty(), qPrintable(clippedCaptions().join(", ")));
        // The long window (timed recording) and the other pages too.
        window->LONG_SIZE();
        QVERIFY2(clippedCaptions().isEmpty(), qPrintable(clippedCaptions().join(", ")));
        for (int page : {1, 2}) {
            Find<QTabWidget>(w(), "SetUpPageControl")->setCurrentIndex(page);
            QVERIFY2(clippedCaptions().isEmpty(), qPrintable(clippedCaptions().join(", ")));
        }
    }

    void disabledTextIsReadableButLooksDisabled() {
        const QPalette p = ui::WindowPalette();
        const QColor disabled = p.color(QPalette::Disabled, QPalette::WindowText);
        QVERIFY(ui::ContrastRatio(disabled, ui::colour::Silver) >= 4.5);
        QVERIFY(ui::ContrastRatio(p.color(QPalette::Disabled, QPalette::Text),
                                  p.color(QPalette::Disabled, QPalette::Base)) >= 4.5);
        QVERIFY(disabled != p.color(QPalette::Active, QPalette::WindowText));
        // A locked set-up: its captions are disabled and drawn in that colour.
        auto* list = Find<QListWidget>(w(), "SetUpFileBox");
        list->setCurrentRow(0);
        window->SetUpFileBoxDblClick();
        auto* caption = Find<QLabel>(w(), "SecRateLabel");
        QVERIFY(!caption->isEnabled());
        QCOMPARE(caption->palette().color(QPalette::Disabled, QPalette::WindowText), disabled);
        // The "Connecting ..." caption of the disabled upload panel as well.
        auto* panel = Find(w(), "UpLoadPanel");
        QVERIFY(ui::ContrastRatio(panel->palette().color(QPalette::Disabled, QPalette::WindowText),
                                  ui::colour::Silver) >= 4.5);
    }

    // The recorder's console as drawn: the text, a reversed part and the cursor, measured on a
    // grab of the terminal view, on the plain and on the light-yellow (reversed) screen.
    void theConsoleIsReadableOnItsScreen() {
        ui::CPortTerminal terminal;
        terminal.resize(409, 673);
        terminal.setActive(true);
        for (bool reversed : {false, true}) {
            terminal.ClearAll();
            terminal.ReverseScreen(reversed);
            terminal.feed(QByteArrayLiteral("New Data File /data/x.dat \x1b[7mWWWW\x1b[0m\r\n"));
            const QImage image = terminal.grab().toImage();
            const int cw = terminal.cellSize().width();
            const int ch = terminal.cellSize().height();
            // The extremes of a row of cells: the screen, and the darkest and lightest pixels.
            const auto extremes = [&](int row, int fromCol, int toCol) {
                QColor darkest = Qt::white, lightest = Qt::black;
                const int m = ui::CPortTerminal::Margin;
                for (int y = m + row * ch; y < m + (row + 1) * ch; ++y)
                    for (int x = m + fromCol * cw; x < m + toCol * cw; ++x) {
                        const QColor c = image.pixelColor(x, y);
                        if (c.lightness() < darkest.lightness()) darkest = c;
                        if (c.lightness() > lightest.lightness()) lightest = c;
                    }
                return std::pair{darkest, lightest};
            };
            const QColor screen = image.pixelColor(image.width() - 2, image.height() - 2);
            QCOMPARE(screen, reversed ? ui::colour::LightYellow : ui::colour::Silver);
            const auto [text, plain] = extremes(0, 0, 13);  // "New Data File"
            QVERIFY2(ui::ContrastRatio(text, screen) >= 4.5, qPrintable(text.name()));
            const auto [fill, letters] = extremes(0, 26, 30);  // the reversed "WWWW"
            QVERIFY2(ui::ContrastRatio(fill, letters) >= 4.5,
                     qPrintable(fill.name() + letters.name()));
            const int m = ui::CPortTerminal::Margin;
            const QColor cursor = image.pixelColor(m + cw / 2, m + 2 * ch - 1);  // row 1, column 0
            QVERIFY2(ui::ContrastRatio(cursor, screen) >= 4.5, qPrintable(cursor.name()));
        }
    }

    // Each glyph whole in a cell of its own, at least 7 px wide, measured on the painted pixels:
    // a "W" in the first column is not cut at the left edge, and neighbours do not touch.
    void theConsoleDrawsEveryGlyphWhole() {
        ui::CPortTerminal terminal;
        terminal.resize(409, 673);
        terminal.setActive(true);
        terminal.feed(QByteArrayLiteral("WWWW\r\nWelcome to the KSR recorder\r\n"));
        const QImage image = terminal.grab().toImage();
        const QColor screen = terminal.background();
        const int rowHeight = terminal.cellSize().height();
        // The x ranges of ink in a row of cells, one range per run of inked pixel columns.
        const auto inkRuns = [&](int row) {
            std::vector<std::pair<int, int>> runs;
            for (int x = 0; x < image.width(); ++x) {
                bool ink = false;
                const int top = ui::CPortTerminal::Margin + row * rowHeight;
                for (int y = top; y < top + rowHeight - 2 && !ink; ++y)
                    ink = image.pixelColor(x, y) != screen;
                if (!ink) continue;
                if (!runs.empty() && runs.back().second == x - 1)
                    runs.back().second = x;
                else
                    runs.emplace_back(x, x);
            }
            return runs;
        };
        const auto ws = inkRuns(0);
        QCOMPARE(ws.size(), std::size_t(4));  // four W's, none running into the next
        QVERIFY2(ws.front().first > 0, "the first column's glyph is cut");
        QVERIFY2(ws[1].first - ws[0].first >= ui::CPortTerminal::MinCellWidth,
                 qPrintable(QString::number(ws[1].first - ws[0].first)));
        for (std::size_t i = 1; i < ws.size(); ++i)  // every W as wide as the others
            QCOMPARE(ws[i].second - ws[i].first, ws[0].second - ws[0].first);
        // The recorder's lines wrap at the view's width.
        QVERIFY(terminal.columns() * terminal.cellSize().width() <= 409 - 4);
        QCOMPARE(terminal.rowText(1), QStringLiteral("Welcome to the KSR recorder"));
    }

    void aSmallScreenScrollsThePagesAndKeepsTheStatusBar() {
        window->LONG_SIZE();
        QCOMPARE(window->windowHeight(), 795);
        window->fitToScreen(QSize(1366, 768 - 30 - 40));  // a laptop screen with a panel
        QVERIFY(w()->height() <= 698);
        auto* scroll = Find<QScrollArea>(w(), "SetUpScroll");
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
        QVERIFY(scroll->viewport()->height() < Find(w(), "SetUpCanvas")->height());
        auto* status = Find(w(), "SetUpStatus");
        QCOMPARE(status->geometry().bottom(), w()->height() - 1);  // still at the bottom
        // Scrolled to the end, the last record window row is reachable.
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        auto* box = Find(w(), "RecordWinBox");
        const QPoint bottom = box->mapTo(w(), QPoint(0, box->height()));
        QVERIFY(bottom.y() <= status->geometry().top());
        // Back on a large screen: no scroll bars, the design size.
        window->fitToScreen(QSize(1920, 1050));
        QCOMPARE(w()->height(), 795 - 30);
        QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
    }
};

QTEST_MAIN(LookTest)
#include "look_test.moc"
