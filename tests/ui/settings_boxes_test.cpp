// Record, GPS, auxiliary and calibration-signal settings: menu items, the GPS cycle selector,
// the spin edits' change actions and the aux check boxes.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/SettingsBoxes.h"

using namespace ksr;
using test::Find;
using test::Shown;
using test::Spin;
using test::Text;

namespace {

void Choose(QWidget* box, const char* button, const char* item) {
    auto* b = Find<ui::MenuButton>(box, button);
    auto* action = b->menu()->findChild<QAction*>(QString::fromLatin1(item));
    if (!action) qFatal("no menu item %s", item);
    action->trigger();
}

void TypeInto(QWidget* spin, const QString& text) {
    auto* edit = spin->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

}  // namespace

class SettingsBoxesTest : public QObject {
    Q_OBJECT

    SetupRecord record;

  private slots:
    void init() { record = test::DefaultRecord(2026); }

    void dataTypeAndDiskModeItemsStoreCodesAndTableTexts() {
        ui::RecordSettingsBox box(record, nullptr);
        const struct {
            const char* item;
            int code;
            const char* text;
        } types[] = {{"ASCII1", 2, "ASCII      "},
                     {"Legacy1", 3, "Legacy     "},
                     {"MiniSEEDBE1", 4, "MiniSeed bg"},
                     {"MiniSEEDLT1", 1, "MiniSEED lt"}};
        for (const auto& t : types) {
            Choose(&box, "DataTypeButton", t.item);
            QCOMPARE(record.RecordParams[DataType], t.code);
            QCOMPARE(Text(&box, "DataTypeText"), QString::fromLatin1(t.text));
        }
        QCOMPARE(record.RecordParams[FileLength], 60);
        Choose(&box, "DiskModeButton", "RingBuffer1");
        QCOMPARE(record.RecordParams[DiskMode], 2);
        QCOMPARE(Text(&box, "DiskModeText"), QStringLiteral("RING BUFF."));
        Choose(&box, "DiskModeButton", "WriteOnce1");
        QCOMPARE(Text(&box, "DiskModeText"), QStringLiteral("WRITE ONCE "));
    }

    void menusOpenBelowTheButtonsLeftEdge() {
        QWidget form;
        auto* box = new ui::RecordSettingsBox(record, &form);
        box->setGeometry(0, 0, 230, 156);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* button = Find<ui::MenuButton>(box, "DataTypeButton");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->menu()->isVisible());
        QCOMPARE(button->menu()->pos(), button->mapToGlobal(QPoint(0, button->height())));
        button->menu()->hide();
    }

    void recordModeItemsAnnounceTheModeForTheWindowHeight() {
        ui::RecordSettingsBox box(record, nullptr);
        QList<int> chosen;
        connect(&box, &ui::RecordSettingsBox::recordModeChosen, this, [&](int m) { chosen << m; });
        Choose(&box, "RecModeButton", "TimedRec");
        QCOMPARE(record.RecordParams[RecordMode], 2);
        QCOMPARE(Text(&box, "RecModeText"), QStringLiteral("TIMED "));
        Choose(&box, "RecModeButton", "ContiRec");
        QCOMPARE(Text(&box, "RecModeText"), QStringLiteral("CONTI "));
        QCOMPARE(chosen, QList<int>({2, 1}));
    }

    void fileLengthStepGrowsWithTheLength() {
        ui::RecordSettingsBox box(record, nullptr);
        auto* spin = box.fileLength();
        spin->setValue(55);
        spin->stepBy(1);
        QCOMPARE(record.RecordParams[FileLength], 60);
        spin->stepBy(1);
        QCOMPARE(record.RecordParams[FileLength], 90);
        spin->setValue(210);
        spin->stepBy(1);
        QCOMPARE(spin->value(), 240);
        spin->stepBy(1);
        QCOMPARE(spin->value(), 360);
        spin->setValue(1400);
        spin->stepBy(1);
        QCOMPARE(spin->value(), 1440);
        QCOMPARE(record.RecordParams[FileLength], 1440);
    }

    void emptyFileLengthBecomesFiveAndTypingOutsideIsClampedOnLeaving() {
        QWidget form;
        auto* box = new ui::RecordSettingsBox(record, &form);
        auto* other = new QLineEdit(&form);
        other->move(0, 200);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* spin = box->fileLength();
        spin->setFocus();
        spin->findChild<QLineEdit*>()->clear();
        QCOMPARE(spin->text(), QStringLiteral("5"));
        QCOMPARE(record.RecordParams[FileLength], 5);
        TypeInto(spin, QStringLiteral("2000"));
        QCOMPARE(record.RecordParams[FileLength], 2000);
        other->setFocus();
        QCOMPARE(spin->text(), QStringLiteral("1440"));
        QCOMPARE(record.RecordParams[FileLength], 1440);
    }

    void loneMinusInLatitudeStoresTheLowerLimitUntilMoreIsTyped() {
        ui::GpsSettingsBox box(record, nullptr);
        auto* lat = Find<ui::SpinEdit>(&box, "LatSpin");
        TypeInto(lat, QStringLiteral("-"));
        QCOMPARE(record.GpsParams[GpsLat], -90);
        QTest::keyClicks(lat->findChild<QLineEdit*>(), QStringLiteral("33"));
        QCOMPARE(record.GpsParams[GpsLat], -33);
        auto* lon = Find<ui::SpinEdit>(&box, "LonSpin");
        lon->setValue(200);
        QCOMPARE(record.GpsParams[GpsLon], 180);
        lon->findChild<QLineEdit*>()->clear();
        QCOMPARE(lon->text(), QStringLiteral("0"));
        QCOMPARE(record.GpsParams[GpsLon], 0);
    }

    void gpsCycleStepsBetweenOneAndTwentyFourHoursWithoutWrapping() {
        ui::GpsSettingsBox box(record, nullptr);
        box.show();
        QVERIFY(!Shown(&box, "GPSCycleSelect"));
        Choose(&box, "GPSModeButton", "Cycled1");
        QVERIFY(Shown(&box, "GPSCycleSelect"));
        QCOMPARE(record.GpsParams[GpsMode], 2);
        QCOMPARE(Text(&box, "GPSModeText"), QStringLiteral("CYCLE  1 h"));
        Spin(&box, "GPSCycleSelect", false);
        QCOMPARE(record.GpsParams[GpsMode], 2);
        Spin(&box, "GPSCycleSelect", true, 10);
        QCOMPARE(record.GpsParams[GpsMode], 8);
        QCOMPARE(Text(&box, "GPSModeText"), QStringLiteral("CYCLE  24 h"));
        Spin(&box, "GPSCycleSelect", false);
        QCOMPARE(Text(&box, "GPSModeText"), QStringLiteral("CYCLE  12 h"));
        Choose(&box, "GPSModeButton", "Continuous1");
        QCOMPARE(record.GpsParams[GpsMode], 1);
        QCOMPARE(Text(&box, "GPSModeText"), QStringLiteral("CONTI "));
        QVERIFY(!Shown(&box, "GPSCycleSelect"));
    }

    void lockAndLogItems() {
        ui::GpsSettingsBox box(record, nullptr);
        Choose(&box, "GPSLockButton", "SingleSatLock1");
        QCOMPARE(record.GpsParams[ClockMode], 2);
        QCOMPARE(Text(&box, "GPSLockText"), QStringLiteral("1-Sat Lock"));
        Choose(&box, "GPSLogButton", "PLLData1");
        QCOMPARE(record.GpsParams[LogMode], 2);
        QCOMPARE(Text(&box, "GPSLogText"), QStringLiteral("PLL data  "));
        Choose(&box, "GPSLogButton", "PLL10s1");
        QCOMPARE(record.GpsParams[LogMode], 4);
        QCOMPARE(Text(&box, "GPSLogText"), QString::fromUtf8("PLL > 10 \u00B5s"));
    }

    void auxBoxesStoreOnAndOffInTheRecordsOrder() {
        ui::AuxChannelsBox box(record, nullptr);
        Find<QCheckBox>(&box, "IbattCheckBox")->setChecked(true);
        Find<QCheckBox>(&box, "UbattCheckBox")->setChecked(true);
        Find<QCheckBox>(&box, "Aux3CheckBox")->click();
        QCOMPARE(record.AuxFlags, (Array1<int, 8>{{1, 1, 2, 1, 1, 1, 2, 2}}));
        Find<QCheckBox>(&box, "IbattCheckBox")->setChecked(false);
        QCOMPARE(record.AuxFlags[IBatt], 1);
        QCOMPARE(Text(&box, "IbattCheckBox"), QStringLiteral(" I  Batt."));
    }

    void signalTypeShowsItsFrequency() {
        ui::CalibrationSignalBox box(record, nullptr);
        box.show();
        QVERIFY(!Shown(&box, "CaliFreqText"));
        Choose(&box, "SignalTypeButton", "Sweep1");
        QCOMPARE(record.OutputWindows[CalOut].SignalType, 3);
        QCOMPARE(Text(&box, "SignalTypeText"), QStringLiteral("SWEEP"));
        QCOMPARE(Text(&box, "CaliFreqText"), QStringLiteral("0.1 .. 20 Hz"));
        QVERIFY(Shown(&box, "CaliFreqLabel"));
        Choose(&box, "SignalTypeButton", "Sinus1");
        QCOMPARE(Text(&box, "CaliFreqText"), QStringLiteral("1 Hz"));
        Choose(&box, "SignalTypeButton", "Step1");
        QVERIFY(!Shown(&box, "CaliFreqText"));
        QVERIFY(!Shown(&box, "CaliFreqLabel"));
        QCOMPARE(Text(&box, "SignalTypeText"), QStringLiteral("STEP "));
    }

    void voltageSpinStoresClampedValues() {
        ui::CalibrationSignalBox box(record, nullptr);
        auto* volt = Find<ui::SpinEdit>(&box, "VoltSpin");
        volt->setValue(-12000);
        QCOMPARE(record.OutputWindows[CalOut].MilliVolt, -10000);
        volt->setValue(0);
        volt->stepBy(3);
        QCOMPARE(record.OutputWindows[CalOut].MilliVolt, 300);
        QCOMPARE(record.OutputWindows[TTLOut].MilliVolt, 0);
    }
};

QTEST_MAIN(SettingsBoxesTest)
#include "settings_boxes_test.moc"
