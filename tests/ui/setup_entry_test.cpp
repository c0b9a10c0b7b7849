// A set-up shown on the edit page: every control from the record, the modes and visibility that
// follow from the controls' own actions, and round trips through the window to the files.

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include "UiTestSupport.h"
#include "ui/SettingsBoxes.h"
#include "ui/TKSR_SetUp.h"

using namespace ksr;
using test::Click;
using test::Find;
using test::Shown;
using test::Spin;
using test::Text;

class SetupEntryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir;
    test::FakeServices services;
    std::unique_ptr<SetupRecord> record;
    std::unique_ptr<ui::TKSR_SetUp> window;
    QWidget* w() { return window.get(); }

    void start() {
        record = std::make_unique<SetupRecord>();
        SetDefaults(*record);
        window = std::make_unique<ui::TKSR_SetUp>(*record, services, dir->path());
        window->show();
        QTRY_VERIFY(window->pagesMade());  // as the operator finds the window after its first frame
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void put(const char* name, const std::string& bytes) { test::WriteBytes(*dir / name, bytes); }
    // Opens a file of the working directory as a double-click on the list does.
    void open(const char* name) {
        start();
        auto* list = Find<QListWidget>(w(), "SetUpFileBox");
        const auto items = list->findItems(QString::fromLatin1(name), Qt::MatchExactly);
        QVERIFY(items.size() == 1);
        const QPoint at = list->visualItemRect(items.front()).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // A shipped sample with one number of its ";;params" half replaced.
    std::string sampleWith(const char* sample, const std::string& from, const std::string& to) {
        std::string bytes = test::ReadBytes(test::ShippedData(std::string("examples/") + sample));
        const auto at = bytes.find(from);
        if (at == std::string::npos) qFatal("no %s in %s", from.c_str(), sample);
        return bytes.replace(at, from.size(), to);
    }
    void choose(const char* button, const char* item) {
        auto* b = Find<ui::MenuButton>(w(), button);
        b->menu()->findChild<QAction*>(QString::fromLatin1(item))->trigger();
    }
    void type(const char* spin, const QString& text) {
        auto* edit = Find(w(), spin)->findChild<QLineEdit*>();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    bool checked(const char* name) { return Find<QAbstractButton>(w(), name)->isChecked(); }
    QString date(const char* name) { return Find<QDateEdit>(w(), name)->text(); }
    QString time(const char* name) { return Find<QTimeEdit>(w(), name)->text(); }
    QString spin(const char* name) { return Find<ui::SpinEdit>(w(), name)->text(); }

  private slots:
    void init() {
        dir = std::make_unique<test::TempDir>();
        put("recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));
        put("station1.set", test::ReadBytes(test::ShippedData("examples/station1.set")));
        put("timed.set", test::ReadBytes(test::ShippedData("examples/timed.set")));
        services = test::FakeServices();
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    void defaultsOfANewSetUp() {
        start();
        Click(w(), "NewSetUpPanel");
        QVERIFY(checked("SimRateButton"));
        QVERIFY(!checked("SixChannelCheck"));
        QCOMPARE(Text(w(), "RecModeText"), QStringLiteral("CONTI "));
        QCOMPARE(window->windowHeight(), 611);
        QCOMPARE(spin("FileLength"), QStringLiteral("60"));
        QCOMPARE(Find<ui::SpinEdit>(w(), "FileLength")->step(), 5);
        QCOMPARE(Text(w(), "DataTypeText"), QStringLiteral("MiniSEED lt"));
        QCOMPARE(Text(w(), "DiskModeText"), QStringLiteral("WRITE ONCE "));
        QCOMPARE(Text(w(), "GPSModeText"), QStringLiteral("CONTI "));
        QVERIFY(!Shown(w(), "GPSCycleSelect"));
        QCOMPARE(spin("LatSpin"), QStringLiteral("0"));
        QCOMPARE(Text(w(), "GPSLockText"), QStringLiteral("2D/3D Lock"));
        QCOMPARE(Text(w(), "GPSLogText"), QString::fromUtf8("PLL > 10 \u00B5s"));
        QCOMPARE(Text(w(), "SignalTypeText"), QStringLiteral("STEP "));
        QVERIFY(!Shown(w(), "CaliFreqText"));
        QCOMPARE(spin("VoltSpin"), QStringLiteral("10000"));
        for (const char* box : {"CaliCheck", "TTLOutCheck", "OpenCollCheck", "RecWinCheck1",
                                "RecWinCheck5", "Aux1CheckBox", "IbattCheckBox"})
            QVERIFY2(!checked(box), box);
        QCOMPARE(date("CaliStartDate"), QStringLiteral("06-12-2026"));  // today, from New
        QVERIFY(services.errors.isEmpty());
    }

    void sixChannelContinuousSetUpControlByControl() {
        open("station1.set");
        QVERIFY(services.errors.isEmpty());
        QVERIFY(checked("DiffRateButton"));
        QVERIFY(checked("SixChannelCheck"));
        QVERIFY(Shown(w(), "Ch5PriSelect"));
        QCOMPARE(Text(w(), "Ch1PriText"), QStringLiteral("200"));
        QCOMPARE(Text(w(), "Ch2SecText"), QStringLiteral("20"));
        QCOMPARE(Text(w(), "Ch3GainText"), QStringLiteral(" 10"));
        QCOMPARE(Text(w(), "Ch6GainText"), QStringLiteral("0.4"));
        QVERIFY(checked("TempRecCheckBox"));
        QVERIFY(checked("UbattCheckBox"));
        QVERIFY(!checked("IbattCheckBox"));
        QCOMPARE(Text(w(), "DataTypeText"), QStringLiteral("MiniSeed bg"));
        QCOMPARE(Text(w(), "DiskModeText"), QStringLiteral("RING BUFF."));
        QCOMPARE(Text(w(), "GPSModeText"), QStringLiteral("CYCLE  4 h"));
        QVERIFY(Shown(w(), "GPSCycleSelect"));
        QCOMPARE(spin("LatSpin"), QStringLiteral("47"));
        QCOMPARE(spin("LonSpin"), QStringLiteral("11"));
        QVERIFY(checked("CaliCheck"));
        QCOMPARE(date("CaliStartDate"), QStringLiteral("01-04-2026"));
        QCOMPARE(time("CaliStartTime"), QStringLiteral("06:00"));
        QCOMPARE(spin("CaliDurationDays"), QStringLiteral("0"));
        QCOMPARE(time("CaliDurationTime"), QStringLiteral("00:01:00"));
        QVERIFY(checked("CaliRepeatCheck"));
        QVERIFY(Shown(w(), "CaliIntervalDays"));
        QCOMPARE(spin("CaliIntervalDays"), QStringLiteral("1"));
        QVERIFY(!checked("TTLOutCheck"));
        QVERIFY(!Shown(w(), "TTLStartDate"));
        QCOMPARE(spin("VoltSpin"), QStringLiteral("-2500"));
        QCOMPARE(window->windowHeight(), 611);
    }

    void timedSetUpWithEveryWindowType() {
        open("timed.set");
        QVERIFY(services.errors.isEmpty());
        QCOMPARE(Text(w(), "RecModeText"), QStringLiteral("TIMED "));
        QCOMPARE(window->windowHeight(), 795);
        QVERIFY(Shown(w(), "RecordWinBox"));
        QVERIFY(checked("SimRateButton"));
        QVERIFY(!checked("SixChannelCheck"));
        QCOMPARE(Text(w(), "SignalTypeText"), QStringLiteral("SIN  "));
        QCOMPARE(Text(w(), "CaliFreqText"), QStringLiteral("1 Hz"));
        QCOMPARE(Text(w(), "RecTypeText1"), QStringLiteral("PowerON"));
        QCOMPARE(Text(w(), "RecTypeText2"), QStringLiteral("CONTI  "));
        QCOMPARE(Text(w(), "RecTypeText3"), QStringLiteral("BURST  "));
        QCOMPARE(Text(w(), "RecTypeText4"), QStringLiteral("TRIGGER"));
        QCOMPARE(record->RecWindows[4].WinType, 5);  // kept, not made CONTI by the tick
        QCOMPARE(date("RecStartDate2"), QStringLiteral("immediately"));
        QCOMPARE(record->RecWindows[2].StartDay, 0);
        QVERIFY(checked("RecRepeatCheck1"));
        QCOMPARE(time("RecIntervalTime3"), QStringLiteral("06:00"));
        QVERIFY(!checked("RecRepeatCheck4"));
        QVERIFY(!Shown(w(), "RecIntervalDays4"));
        QCOMPARE(spin("RecDurationDays4"), QStringLiteral("3"));
        QCOMPARE(time("RecDurationTime3"), QStringLiteral("01:30"));
        QCOMPARE(date("RecStartDate5"), QStringLiteral("01-01-2027"));
        QVERIFY(checked("OpenCollCheck"));
        QVERIFY(!checked("OpCollRepeatCheck"));
        QCOMPARE(time("TTLDurationTime"), QStringLiteral("00:00:01"));
        QVERIFY(checked("Aux1CheckBox"));
        QVERIFY(!checked("Aux3CheckBox"));
        QCOMPARE(Text(w(), "GPSLockText"), QStringLiteral("1-Sat Lock"));
    }

    void differentRatesByGainOnly() {
        put("gain.set", sampleWith("timed.set", ";;s_rates  10  6  1  10  6  1  10  6  1",
                                   ";;s_rates  10  6  1  10  6  2  10  6  1"));
        open("gain.set");
        QVERIFY(checked("DiffRateButton"));
        QVERIFY(!checked("SixChannelCheck"));
        QVERIFY(Shown(w(), "Ch2GainSelect"));
        QCOMPARE(Text(w(), "Ch2GainText"), QStringLiteral(" 10"));
    }

    void sweepShowsTheRangeWithThreeDots() {
        put("sweep.set", sampleWith("timed.set", "0  0  5  30  2  7  0  0  2  -5000",
                                    "0  0  5  30  2  7  0  0  3  -5000"));
        open("sweep.set");
        QCOMPARE(Text(w(), "CaliFreqText"), QStringLiteral("0.1 ... 20 Hz"));
    }

    void outOfRangeLatitudeIsClampedIntoTheRecord() {
        put("lat.set", sampleWith("timed.set", ";;gps_mode 2  -33", ";;gps_mode 2  95"));
        open("lat.set");
        QCOMPARE(spin("LatSpin"), QStringLiteral("90"));
        QCOMPARE(record->GpsParams[GpsLat], 90);
    }

    void windowOneImmediateStartIsShownAsDayOne() {
        put("first.set", sampleWith("timed.set", ";;window   3  10  12", ";;window   3  0  12"));
        open("first.set");
        QCOMPARE(record->RecWindows[1].StartDay, 1);
        QCOMPARE(date("RecStartDate1"), QStringLiteral("01-12-2026"));
    }

    void aDateThePickersCannotShowStopsWithAMessageNamingWindowAndValue() {
        put("april.set", sampleWith("timed.set", ";;window   4  15  12", ";;window   4  31  4"));
        open("april.set");
        QCOMPARE(services.errors.size(), 1);
        QVERIFY2(services.errors.front().contains(
                     QStringLiteral("record window 3 start date 31-04-2026")),
                 qPrintable(services.errors.front()));
        QVERIFY(checked("RecWinCheck3"));   // set before the error
        QVERIFY(!checked("RecWinCheck4"));  // not reached

        put("hour.set", sampleWith("timed.set", ";;TTLOut   2  5  12  2026  3  0",
                                   ";;TTLOut   2  5  12  2026  24  0"));
        services = test::FakeServices();
        open("hour.set");
        QCOMPARE(services.errors.size(), 1);
        // An hour no clock has is refused when the file is read, naming file, line and field.
        QVERIFY2(services.errors.front().contains(
                     QStringLiteral("hour.set:42: TTLOut StartHour 24 is out of range")),
                 qPrintable(services.errors.front()));
        QVERIFY(record->OutputWindows[TTLOut].StartHour != 24);  // the record was not touched
    }

    void timedThenContinuousMovesTheWindowHeightAndKeepsTheWindows() {
        start();
        Click(w(), "NewSetUpPanel");
        Find<QCheckBox>(w(), "RecWinCheck2")->click();
        choose("RecModeButton", "TimedRec");
        QCOMPARE(window->windowHeight(), 795);
        QVERIFY(Shown(w(), "RecordWinBox"));
        choose("RecModeButton", "ContiRec");
        QCOMPARE(window->windowHeight(), 611);
        QVERIFY(!Shown(w(), "RecordWinBox"));
        QCOMPARE(record->RecWindows[2].WinType, 2);
    }

    void finishPutsTheCappedFileLengthIntoItsSpin() {
        start();
        Click(w(), "NewSetUpPanel");
        Spin(w(), "Ch1PriSelect", true, 10);  // 3000 sps: at most 10 minutes
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(spin("FileLength"), QStringLiteral("10"));
        QCOMPARE(record->RecordParams[FileLength], 10);
        Find<QMenu>(w(), "CloseMenu")->hide();
    }

    void openUnlockSaveAsChangesOnlyNameDateAndTime() {
        for (const char* sample : {"station1.set", "timed.set"}) {
            open(sample);
            Click(w(), "UnLockPanel");
            Click(w(), "CloseSetUpPanel");
            Find<QMenu>(w(), "CloseMenu")
                ->findChild<QAction*>(QStringLiteral("SaveSetUpas"))
                ->trigger();
            QTest::keyClicks(Find(w(), "SetUpNameEdit"), QStringLiteral("copy"));
            QTest::keyClick(Find(w(), "SetUpNameEdit"), Qt::Key_Return);
            const std::string copy = test::ReadBytes(*dir / "copy.set");
            const std::string original = test::ReadBytes(*dir / sample);
            QCOMPARE(copy.substr(copy.find("\r\n\r\n")),
                     original.substr(original.find("\r\n\r\n")));
            std::filesystem::remove(*dir / "copy.set");
        }
    }

    void aSetUpEditedThroughEveryKindOfControlSavesAndBuildsExactly() {
        start();
        Click(w(), "NewSetUpPanel");
        // Rates: six channels, channel 1 at 200 sps with 20 sps, channel 5 on its own.
        Find<QCheckBox>(w(), "SixChannelCheck")->click();
        Spin(w(), "Ch1PriSelect", true, 3);
        Spin(w(), "Ch1SecSelect", true, 4);
        QTest::mouseClick(Find(w(), "DiffRateButton"), Qt::LeftButton);
        Spin(w(), "Ch5PriSelect", false, 2);
        Spin(w(), "Ch5GainSelect", true, 1);
        // Record settings.
        choose("RecModeButton", "TimedRec");
        choose("DataTypeButton", "ASCII1");
        choose("DiskModeButton", "RingBuffer1");
        type("FileLength", QStringLiteral("45"));
        // GPS.
        choose("GPSModeButton", "Cycled1");
        Spin(w(), "GPSCycleSelect", true, 2);
        choose("GPSLockButton", "SingleSatLock1");
        choose("GPSLogButton", "PLLData1");
        type("LatSpin", QStringLiteral("-12"));
        type("LonSpin", QStringLiteral("130"));
        // Aux channels and calibration signal.
        Find<QCheckBox>(w(), "Aux2CheckBox")->click();
        Find<QCheckBox>(w(), "TempDiskCheckBox")->click();
        choose("SignalTypeButton", "Sweep1");
        type("VoltSpin", QStringLiteral("-750"));
        // Output windows.
        Find<QCheckBox>(w(), "CaliCheck")->click();
        Find<QDateEdit>(w(), "CaliStartDate")->setDate(QDate(2026, 12, 20));
        Find<QTimeEdit>(w(), "CaliStartTime")->setTime(QTime(10, 30));
        Find<QTimeEdit>(w(), "CaliDurationTime")->setTime(QTime(0, 2, 30));
        Find<QCheckBox>(w(), "CaliRepeatCheck")->click();
        type("CaliIntervalDays", QStringLiteral("2"));
        Find<QTimeEdit>(w(), "CaliIntervalTime")->setTime(QTime(12, 0));
        Find<QCheckBox>(w(), "TTLOutCheck")->click();
        // Record windows: 1 PowerON for 3 days, 2 BURST hourly.
        Find<QCheckBox>(w(), "RecWinCheck1")->click();
        Spin(w(), "RecTypeSelect1", true, 2);
        Find<QDateEdit>(w(), "RecStartDate1")->setDate(QDate(2026, 12, 21));
        type("RecDurationDays1", QStringLiteral("3"));
        Find<QCheckBox>(w(), "RecWinCheck2")->click();
        Spin(w(), "RecTypeSelect2", false);
        Find<QTimeEdit>(w(), "RecStartTime2")->setTime(QTime(6, 0));
        type("RecDurationDays2", QStringLiteral("0"));
        Find<QTimeEdit>(w(), "RecDurationTime2")->setTime(QTime(0, 10));
        Find<QCheckBox>(w(), "RecRepeatCheck2")->click();
        type("RecIntervalDays2", QStringLiteral("0"));
        Find<QTimeEdit>(w(), "RecIntervalTime2")->setTime(QTime(1, 0));
        Find<ui::SpinEdit>(w(), "TemperatureSpin")->setValue(-20);

        Click(w(), "CloseSetUpPanel");
        Find<QMenu>(w(), "CloseMenu")
            ->findChild<QAction*>(QStringLiteral("SaveSetUpas"))
            ->trigger();
        QTest::keyClicks(Find(w(), "SetUpNameEdit"), QStringLiteral("Field7"));
        QTest::keyClick(Find(w(), "SetUpNameEdit"), Qt::Key_Return);
        Click(w(), "BuildIniYesButton");
        QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join(QLatin1Char('\n'))));
        QCOMPARE(test::ReadBytes(*dir / "field7.set"),
                 test::ReadBytes(test::TestData("golden/field7.set")));
        QCOMPARE(test::ReadBytes(*dir / "recorder.ini"),
                 test::ReadBytes(test::TestData("golden/field7.recorder.ini")));
    }
};

QTEST_MAIN(SetupEntryTest)
#include "setup_entry_test.moc"
