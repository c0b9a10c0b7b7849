// The widgets the pages are made of: the spin edit, the panels used as buttons, the console
// terminal and the "Select Port" dialog.

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "serial/PortList.h"
#include "ui/ComSelectForm.h"
#include "ui/TerminalView.h"

using namespace ksr;

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    void spinEditValueFromCodeIsClamped() {
        ui::SpinEdit spin(QStringLiteral("S"), -30, -10, 5, nullptr);
        spin.setValue(-45);
        QCOMPARE(spin.value(), -30);
        QCOMPARE(spin.text(), QStringLiteral("-30"));
        spin.setValue(7);
        QCOMPARE(spin.value(), -10);
    }

    void spinEditTextThatIsNotANumberReadsAsTheLowerLimit() {
        ui::SpinEdit spin(QStringLiteral("S"), -30, -10, 5, nullptr);
        spin.findChild<QLineEdit*>()->setText(QStringLiteral("-"));
        QCOMPARE(spin.value(), -30);
        spin.findChild<QLineEdit*>()->setText(QString());
        QCOMPARE(spin.value(), -30);
    }

    void spinEditKeepsATypedValueUntilItLosesTheFocus() {
        QWidget form;
        auto* spin = new ui::SpinEdit(QStringLiteral("S"), 0, 99, 1, &form);
        auto* other = new QLineEdit(&form);
        other->move(0, 40);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        spin->setFocus();
        spin->findChild<QLineEdit*>()->selectAll();
        QTest::keyClicks(spin, QStringLiteral("250"));
        QCOMPARE(spin->text(), QStringLiteral("250"));
        QCOMPARE(spin->value(), 250);
        other->setFocus();
        QCOMPARE(spin->text(), QStringLiteral("99"));
    }

    void spinEditRejectsLetters() {
        ui::SpinEdit spin(QStringLiteral("S"), 0, 99, 1, nullptr);
        spin.setValue(12);
        spin.findChild<QLineEdit*>()->setFocus();
        spin.findChild<QLineEdit*>()->end(false);
        QTest::keyClicks(&spin, QStringLiteral("a"));
        QCOMPARE(spin.text(), QStringLiteral("12"));
    }

    void spinEditChangeRunsOnEveryTextChange() {
        ui::SpinEdit spin(QStringLiteral("S"), -30, -10, 5, nullptr);
        spin.setValue(-10);
        QSignalSpy changed(&spin, &ui::SpinEdit::changed);
        spin.stepBy(-1);
        QCOMPARE(spin.value(), -15);
        spin.setValue(-15);  // same text: no change
        spin.findChild<QLineEdit*>()->setText(QStringLiteral("-2"));
        QCOMPARE(changed.count(), 2);
        spin.stepBy(-10);
        QCOMPARE(spin.value(), -30);
    }

    void clickPanelWorksFromTheKeyboard() {
        ui::ClickPanel panel(QStringLiteral("P"), QStringLiteral("Go"), Qt::green, nullptr);
        QSignalSpy clicked(&panel, &ui::ClickPanel::clicked);
        QTest::keyClick(&panel, Qt::Key_Space);
        QTest::keyClick(&panel, Qt::Key_Return);
        QTest::keyClick(&panel, Qt::Key_A);
        QTest::mouseClick(&panel, Qt::LeftButton);
        QCOMPARE(clicked.count(), 3);
        QCOMPARE(panel.focusPolicy(), Qt::TabFocus);
    }

    void selectPortListsPresentPortsAndTakesATypedPath() {
        ui::TComSelectForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Select Port"));
        auto* box = form.portsComboBox();
        QCOMPARE(box->objectName(), QStringLiteral("PortsComboBox"));
        QCOMPARE(box->count(), serial::PresentPorts().size());
        for (int i = 0; i < box->count(); ++i)
            QVERIFY(box->itemText(i).startsWith(QStringLiteral("COM%1").arg(i + 1)));
        box->setEditText(QStringLiteral("/dev/pts/7"));
        QCOMPARE(form.chosenDevice(), QStringLiteral("/dev/pts/7"));
    }

    void selectPortTakesATypedPathConfirmedWithEnter() {
        std::optional<QString> chosen;
        QTimer::singleShot(200, this, [] {
            auto* form = qobject_cast<ui::TComSelectForm*>(QApplication::activeModalWidget());
            QVERIFY(form);
            QLineEdit* edit = form->portsComboBox()->lineEdit();
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, QStringLiteral("/dev/pts/42"));
            QTest::keyClick(edit, Qt::Key_Return);  // as the operator confirms it
        });
        chosen = ui::TComSelectForm::Ask(nullptr);
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, QStringLiteral("/dev/pts/42"));
    }

    void terminalShowsWhatArrivesWhenActive() {
        ui::CPortTerminal term;
        term.feed("ignored\r\n");
        QCOMPARE(term.rowText(0), QString());
        term.setActive(true);
        term.feed("root@ksr:~# ls\r\nrecorder.ini\r\n");
        QCOMPARE(term.rowText(0), QStringLiteral("root@ksr:~# ls"));
        QCOMPARE(term.rowText(1), QStringLiteral("recorder.ini"));
        term.ClearAll();
        QCOMPARE(term.rowText(0), QString());
    }

    void terminalSendsTypedKeysAndAnswersQueries() {
        ui::CPortTerminal term;
        term.setActive(true);
        QSignalSpy sent(&term, &ui::CPortTerminal::sendToDevice);
        QTest::keyClicks(&term, QStringLiteral("ls"));
        QTest::keyClick(&term, Qt::Key_Return);
        QTest::keyClick(&term, Qt::Key_C, Qt::ControlModifier);
        QByteArray all;
        for (const auto& args : sent) all += args.at(0).toByteArray();
        QCOMPARE(all, QByteArray("ls\r\x03"));
        sent.clear();
        term.feed("\x1b[c");
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent.at(0).at(0).toByteArray().startsWith("\x1b[?"));
    }

    void reverseScreenSwapsTheColoursOnce() {
        ui::CPortTerminal term;
        // Dark text on silver; in reverse video on light yellow (the text stays readable).
        QCOMPARE(term.foreground(), QColor(0x40, 0x40, 0x40));
        QCOMPARE(term.background(), QColor(0xC0, 0xC0, 0xC0));
        term.ReverseScreen(true);
        QVERIFY(term.reversed());
        QCOMPARE(term.foreground(), QColor(0x40, 0x40, 0x40));
        QCOMPARE(term.background(), QColor(0xFF, 0xFF, 0x80));
        QImage image(term.size(), QImage::Format_RGB32);
        term.render(&image);
        QCOMPARE(QColor(image.pixel(term.width() - 2, term.height() / 2)),
                 QColor(0xFF, 0xFF, 0x80));
    }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
