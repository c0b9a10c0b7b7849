// The power page through its controls and labels: the written figures, the handlers' rules and
// the status bar warning.

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/PowerPage.h"
#include "ui/TKSR_SetUp.h"

using namespace ksr;
using test::Find;
using test::Spin;
using test::Text;

class PowerPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir;
    test::FakeServices services;
    std::unique_ptr<SetupRecord> record;
    std::unique_ptr<ui::TKSR_SetUp> window;
    QWidget* w() { return window.get(); }

    void step(const char* spin, int steps) { Find<ui::SpinEdit>(w(), spin)->stepBy(steps); }
    void click(const char* box) { Find<QAbstractButton>(w(), box)->click(); }
    void typeInto(const char* edit, const QString& text) {
        Find<QLineEdit>(w(), edit)->setText(text);
    }
    QString life() { return Text(w(), "BattLifeLabel"); }
    QString capacity() { return Text(w(), "BattCapacityLabel"); }
    QString days() { return Text(w(), "RecordCapacityLabel"); }
    QString loadText() {
        return QString::fromStdString(power::LoadText(window->powerPage()->load().totalLoad));
    }

  private slots:
    void init() {
        dir = std::make_unique<test::TempDir>();
        record = std::make_unique<SetupRecord>();
        SetDefaults(*record);
        window = std::make_unique<ui::TKSR_SetUp>(*record, services, dir->path());
        window->show();
        QTRY_VERIFY(window->pagesMade());  // as the operator finds the window after its first frame
    }
    void cleanup() { window.reset(); }

    void startValuesShowTheWrittenFigures() {
        QCOMPARE(capacity(), QStringLiteral("438"));
        QCOMPARE(life(), QStringLiteral(" 8.4"));
        QCOMPARE(days(), QStringLiteral(" 758"));
        QCOMPARE(Text(w(), "BattWarnLabel"), QStringLiteral(" Batt. self-discharge neglected "));
        QCOMPARE(Text(w(), "PrimSrateLabel"), QStringLiteral("  100"));
        QCOMPARE(Text(w(), "MemoryCommentLabel"),
                 QStringLiteral("Estimated for Steim Compression"));
        QCOMPARE(window->statusText(), QString());
        QCOMPARE(loadText(), QStringLiteral("2.169"));
    }

    // A field that takes no typing does not look like one: no white ground, no text cursor.
    void fieldsWithoutTypingDoNotLookEditable() {
        Find<QTabWidget>(w(), "SetUpPageControl")->setCurrentIndex(2);
        auto* temperature = Find<ui::SpinEdit>(w(), "TemperatureSpinEdit");
        auto* edit = temperature->findChild<QLineEdit*>();
        QVERIFY(edit->isReadOnly());
        QCOMPARE(edit->palette().color(QPalette::Base),
                 temperature->palette().color(QPalette::Window));
        QCOMPARE(edit->cursor().shape(), Qt::ArrowCursor);
        QTest::keyClick(edit, Qt::Key_Up);  // the keys still step it
        QCOMPARE(temperature->value(), 25);
    }

    void coldAgmAndItsLowerLimit() {
        step("TemperatureSpinEdit", -8);  // 20 -> -20
        QCOMPARE(capacity(), QStringLiteral("273"));
        QCOMPARE(life(), QStringLiteral(" 4.5"));
        step("TemperatureSpinEdit", -10);
        QCOMPARE(Find<ui::SpinEdit>(w(), "TemperatureSpinEdit")->value(), -40);
        QCOMPARE(capacity(), QStringLiteral("140"));
        QCOMPARE(life(), QStringLiteral(" 2.0"));
    }

    void gelWarningComesAndGoesWithoutClearingOtherTexts() {
        click("Batt12VGelRadioButton");
        step("TemperatureSpinEdit", -20);  // stops at -25 for gel
        QCOMPARE(Find<ui::SpinEdit>(w(), "TemperatureSpinEdit")->value(), -25);
        QCOMPARE(window->statusText(), QStringLiteral("; Temperature too low for Gel Batteries"));
        QCOMPARE(window->statusColour(), ui::colour::Aqua);
        step("TemperatureSpinEdit", 1);
        QCOMPARE(window->statusText(), QString());
        window->setStatus(ui::colour::Yellow, QStringLiteral("  Check Com Port No. "));
        step("TemperatureSpinEdit", 1);
        QCOMPARE(window->statusText(),
                 QStringLiteral("  Check Com Port No. "));  // gel leaves other texts
        click("Batt12VAGMRadioButton");
        QCOMPARE(window->statusText(), QString());  // AGM empties the status bar
    }

    void memoryFormatsAndRepeatedRuns() {
        click("ASCIICheckBox");
        QCOMPARE(days(), QStringLiteral(" 252"));
        QCOMPARE(Text(w(), "MemoryCommentLabel"),
                 QStringLiteral("Estimated for ASCII uncompressed"));
        click("ASCIICheckBox");
        click("MTCheckBox");
        QCOMPARE(days(), QStringLiteral(" 606"));
        click("MTCheckBox");
        click("BurstCheckBox");
        QCOMPARE(days(), QStringLiteral("4548"));
        step("MemorySizeSpinEdit", 1);
        step("MemorySizeSpinEdit", -1);
        click("MTCheckBox");
        click("MTCheckBox");
        QCOMPARE(days(), QStringLiteral("4548"));
    }

    void burstDurationIsPulledBackOnlyWhenItChanges() {
        click("BurstCheckBox");
        QVERIFY(Find(w(), "BurstDurationSpinEdit")->isEnabled());
        step("BurstIntervalSpinEdit", -10);  // 60 -> 10 minutes, below the duration of 10? equal
        step("BurstIntervalSpinEdit", 1);    // 15
        step("BurstDurationSpinEdit", 2);    // 20 > 15: pulled back to 15
        QCOMPARE(Find<ui::SpinEdit>(w(), "BurstDurationSpinEdit")->value(), 15);
        step("BurstIntervalSpinEdit", -1);  // 10 < 15: both stay
        QCOMPARE(Find<ui::SpinEdit>(w(), "BurstDurationSpinEdit")->value(), 15);
        QCOMPARE(Find<ui::SpinEdit>(w(), "BurstIntervalSpinEdit")->value(), 10);
        click("BurstCheckBox");
        QVERIFY(!Find(w(), "BurstDurationSpinEdit")->isEnabled());
    }

    void twentyDayThresholdThroughTheBatteryField() {
        typeInto("BattSizeEdit", QStringLiteral("90"));
        QCOMPARE(life(), QStringLiteral("20.0"));
        QCOMPARE(Text(w(), "BattWarnLabel"), QStringLiteral(" Batt. self-discharge neglected "));
        typeInto("BattSizeEdit", QStringLiteral("91"));
        QCOMPARE(life(), QStringLiteral("20.0"));
        QCOMPARE(Text(w(), "BattWarnLabel"), QStringLiteral(" Batt. self-discharge considered "));
        typeInto("BattSizeEdit", QStringLiteral("200"));
        QCOMPARE(capacity(), QStringLiteral("2308"));
        QCOMPARE(life(), QStringLiteral("40"));
        click("Batt12VGelRadioButton");
        QCOMPARE(life(), QStringLiteral("43"));
    }

    void batteryFieldRulesAndAdditionalLoad() {
        typeInto("BattSizeEdit", QString());
        QCOMPARE(Text(w(), "BattSizeEdit"), QStringLiteral("5"));
        typeInto("BattSizeEdit", QStringLiteral("3"));
        QCOMPARE(capacity(), QStringLiteral("34.6"));
        typeInto("BattSizeEdit", QStringLiteral("junk"));
        QCOMPARE(capacity(), QStringLiteral(" 0.0"));
        QCOMPARE(life(), QStringLiteral(" 0.0"));
        typeInto("BattSizeEdit", QStringLiteral("38"));
        typeInto("AddLoadEdit", QStringLiteral("1000,5"));
        QCOMPARE(loadText(), QStringLiteral("3.170"));
        typeInto("AddLoadEdit", QStringLiteral("-9000"));
        QCOMPARE(life(), QStringLiteral("----"));
        QCOMPARE(Text(w(), "BattWarnLabel"),
                 QStringLiteral(" No load above 0 W: no battery life "));
    }

    void ratesStepThroughTheTablesAndTheSecondaryLabelStays() {
        auto* page = window->powerPage();
        Spin(page, "SecSrateSpinButton", true, 20);  // 100 sps row: up to 50
        QCOMPARE(Text(w(), "SecSrateLabel"), QStringLiteral("  50"));
        Spin(page, "PrimSrateSpinButton", true, 20);
        QCOMPARE(Text(w(), "PrimSrateLabel"), QStringLiteral("3000"));
        QCOMPARE(Text(w(), "SecSrateLabel"), QStringLiteral("  50"));
        QCOMPARE(page->settings().secRate, 50);
        Spin(page, "PrimSrateSpinButton", false, 25);
        QCOMPARE(Text(w(), "PrimSrateLabel"), QStringLiteral("   0"));
    }

    void enteringThePageShortensTheWindowAndTheChartFollows() {
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        pages->setCurrentIndex(2);
        QCOMPARE(window->windowHeight(), 611);
        auto* chart = Find<ui::BatteryLifeChart>(w(), "BatteryLifeChart");
        QCOMPARE(chart->points().front().first, -40);
        QCOMPARE(chart->markedTemperature(), 20);
        click("Batt12VGelRadioButton");
        QCOMPARE(chart->points().front().first, -25);
        double at20 = -1;
        for (auto [t, d] : chart->points())
            if (t == 20) at20 = d;
        QVERIFY(std::abs(at20 - 8.42) < 0.01);
    }
};

QTEST_MAIN(PowerPageTest)
#include "power_page_test.moc"
