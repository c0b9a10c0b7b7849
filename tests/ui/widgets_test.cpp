// The spin edit and the panels used as buttons.

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"

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
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
