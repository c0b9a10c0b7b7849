// The time window rows: ticking, repeat, the type selector, and what each control writes.

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>
#include <QTimeEdit>

#include "UiTestSupport.h"
#include "ui/TimeWindowsEditor.h"

using namespace ksr;
using test::Find;
using test::Shown;
using test::Spin;
using test::Text;

class TimeWindowsTest : public QObject {
    Q_OBJECT

    SetupRecord record;
    std::unique_ptr<ui::OutputWindowsBox> outputs;
    std::unique_ptr<ui::RecordWindowsBox> windows;
    QWidget* o() { return outputs.get(); }
    QWidget* r() { return windows.get(); }

    static QStringList Visible(QWidget* box, const QString& prefix, const QString& suffix = {}) {
        QStringList shown;
        for (const char* part : {"StartDate", "StartTime", "DurationDays", "DurationTime",
                                 "RepeatCheck", "IntervalDays", "IntervalTime"}) {
            auto* w = box->findChild<QWidget*>(prefix + QString::fromLatin1(part) + suffix);
            if (w->isVisibleTo(box)) shown << QString::fromLatin1(part);
        }
        return shown;
    }

  private slots:
    void init() {
        record = test::DefaultRecord(2026);
        outputs = std::make_unique<ui::OutputWindowsBox>(record, nullptr);
        windows = std::make_unique<ui::RecordWindowsBox>(record, nullptr);
        outputs->show();
        windows->show();
    }

    void atStartOnlyTheTickBoxesShow() {
        QVERIFY(Visible(o(), "Cali").isEmpty());
        QVERIFY(Visible(r(), "Rec", "3").isEmpty());
        QVERIFY(!Shown(r(), "RecTypeText3"));
        QVERIFY(Shown(r(), "RecWinCheck3"));
        QCOMPARE(Text(r(), "RecWinCheck3"), QStringLiteral("# 3"));
        QCOMPARE(Text(o(), "OpenCollCheck"), QStringLiteral("Open Coll. Out"));
    }

    // The row controls, made when the box is first shown, keep their place in the tab order.
    void eachRowsControlsFollowItsTickBoxInTheTabOrder() {
        // The next control that takes the focus after `name` in `box` ("." for `box` itself).
        const auto next = [](QWidget* box, const char* name) {
            QWidget* from = QByteArray(name) == "." ? box : Find(box, name);
            QWidget* w = from->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(w->window()) ||
                   w->objectName().isEmpty())
                w = w->nextInFocusChain();
            return w->objectName();
        };
        Find<QCheckBox>(o(), "CaliCheck")->click();
        QCOMPARE(next(o(), "CaliCheck"), QStringLiteral("CaliStartDate"));
        QCOMPARE(next(o(), "CaliRepeatCheck"), QStringLiteral("TTLOutCheck"));
        Find<QCheckBox>(r(), "RecWinCheck2")->click();
        // The type selector's two arrows, then the row.
        QWidget* arrow = Find(r(), "RecTypeSelect2")->findChildren<QWidget*>().last();
        QCOMPARE(next(arrow, "."), QStringLiteral("RecStartDate2"));
        QCOMPARE(next(r(), "RecRepeatCheck2"), QStringLiteral("RecWinCheck3"));
    }

    void tickingShowsFiveControlsAndRepeatTheInterval() {
        Find<QCheckBox>(o(), "TTLOutCheck")->click();
        QCOMPARE(record.OutputWindows[TTLOut].OnOff, 2);
        QCOMPARE(Visible(o(), "TTL"), QStringList({"StartDate", "StartTime", "DurationDays",
                                                   "DurationTime", "RepeatCheck"}));
        Find<QCheckBox>(o(), "TTLRepeatCheck")->click();
        QCOMPARE(record.OutputWindows[TTLOut].Repeat, 2);
        QCOMPARE(Visible(o(), "TTL").size(), 7);
    }

    void clearingARowHidesEverythingAndClearsRepeatButKeepsTheValues() {
        Find<QCheckBox>(o(), "CaliCheck")->click();
        Find<QCheckBox>(o(), "CaliRepeatCheck")->click();
        Find<ui::SpinEdit>(o(), "CaliIntervalDays")->setValue(7);
        Find<QTimeEdit>(o(), "CaliStartTime")->setTime(QTime(8, 15, 59));
        Find<QCheckBox>(o(), "CaliCheck")->click();
        const OutputWindow& w = record.OutputWindows[CalOut];
        QCOMPARE(w.OnOff, 1);
        QCOMPARE(w.Repeat, 1);
        QVERIFY(Visible(o(), "Cali").isEmpty());
        QVERIFY(!Find<QCheckBox>(o(), "CaliRepeatCheck")->isChecked());
        QCOMPARE(w.IntDays, 7);
        QCOMPARE(w.StartHour, 8);
        QCOMPARE(w.StartMinute, 15);
    }

    void durationSecondsAreKeptForRecordRowsAndStoredForOutputRows() {
        Find<QCheckBox>(r(), "RecWinCheck2")->click();
        record.RecWindows[2].DurSeconds = 17;
        Find<QTimeEdit>(r(), "RecDurationTime2")->setTime(QTime(1, 30, 45));
        QCOMPARE(record.RecWindows[2].DurHours, 1);
        QCOMPARE(record.RecWindows[2].DurMinutes, 30);
        QCOMPARE(record.RecWindows[2].DurSeconds, 17);
        Find<QCheckBox>(o(), "CaliCheck")->click();
        Find<QTimeEdit>(o(), "CaliDurationTime")->setTime(QTime(1, 30, 45));
        QCOMPARE(record.OutputWindows[CalOut].DurSeconds, 45);
    }

    // A click into a time field and typing: the part clicked on takes the digits.
    void aClickIntoATimeFieldThenTypingChangesThatPart() {
        Find<QCheckBox>(r(), "RecWinCheck1")->click();
        auto* time = Find<QTimeEdit>(r(), "RecStartTime1");
        auto* edit = time->findChild<QLineEdit*>();
        QVERIFY(edit);
        time->setFocus();
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));  // the hours
        QTest::keyClicks(edit, QStringLiteral("07"));
        QCOMPARE(record.RecWindows[1].StartHour, 7);
        const int minutesAt = edit->fontMetrics().horizontalAdvance(QStringLiteral("00:0")) + 2;
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(minutesAt, edit->height() / 2));
        QTest::keyClicks(edit, QStringLiteral("45"));
        QCOMPARE(record.RecWindows[1].StartMinute, 45);
        QCOMPARE(record.RecWindows[1].StartHour, 7);
    }

    void startDateStoresDayMonthAndYear() {
        Find<QCheckBox>(r(), "RecWinCheck4")->click();
        auto* date = Find<QDateEdit>(r(), "RecStartDate4");
        QCOMPARE(date->displayFormat(), QStringLiteral("dd-MM-yyyy"));
        date->setDate(QDate(2027, 3, 9));
        QCOMPARE(record.RecWindows[4].StartDay, 9);
        QCOMPARE(record.RecWindows[4].StartMonth, 3);
        QCOMPARE(record.RecWindows[4].StartYear, 2027);
    }

    void emptyIntervalDaysStoresZero() {
        Find<QCheckBox>(o(), "OpenCollCheck")->click();
        Find<QCheckBox>(o(), "OpCollRepeatCheck")->click();
        auto* days = Find<ui::SpinEdit>(o(), "OpCollIntervalDays");
        days->setValue(5);
        days->findChild<QLineEdit*>()->clear();
        QCOMPARE(days->text(), QStringLiteral("0"));
        QCOMPARE(record.OutputWindows[OPCOut].IntDays, 0);
        days->setValue(150);
        QCOMPARE(record.OutputWindows[OPCOut].IntDays, 99);
    }

    void windowsTwoToFiveBecomeContiOnReTickingWindowOneStaysOff() {
        auto* three = Find<QCheckBox>(r(), "RecWinCheck3");
        three->click();
        Spin(r(), "RecTypeSelect3", true);
        QCOMPARE(record.RecWindows[3].WinType, 3);
        three->click();
        QCOMPARE(record.RecWindows[3].WinType, 1);
        three->click();
        QCOMPARE(record.RecWindows[3].WinType, 2);
        QCOMPARE(Text(r(), "RecTypeText3"), QStringLiteral("CONTI  "));

        auto* one = Find<QCheckBox>(r(), "RecWinCheck1");
        one->click();
        QCOMPARE(record.RecWindows[1].WinType, 1);
        QCOMPARE(Text(r(), "RecTypeText1"), QStringLiteral("Off    "));
        Spin(r(), "RecTypeSelect1", true);
        QCOMPARE(record.RecWindows[1].WinType, 2);
        one->click();
        one->click();
        Spin(r(), "RecTypeSelect1", false);
        QCOMPARE(record.RecWindows[1].WinType, 4);
        QCOMPARE(Text(r(), "RecTypeText1"), QStringLiteral("BURST  "));
    }

    void typeCyclesThroughContiPowerOnBurstAndLeavesTrigger() {
        Find<QCheckBox>(r(), "RecWinCheck2")->click();
        int& type = record.RecWindows[2].WinType;
        Spin(r(), "RecTypeSelect2", true);
        QCOMPARE(type, 3);
        Spin(r(), "RecTypeSelect2", true);
        QCOMPARE(type, 4);
        Spin(r(), "RecTypeSelect2", true);
        QCOMPARE(type, 2);
        Spin(r(), "RecTypeSelect2", false);
        QCOMPARE(type, 4);
        type = 5;  // TRIGGER, from a file
        Spin(r(), "RecTypeSelect2", true);
        QCOMPARE(type, 2);
        type = 5;
        Spin(r(), "RecTypeSelect2", false);
        QCOMPARE(type, 4);
        QCOMPARE(Text(r(), "RecTypeText2"), QStringLiteral("BURST  "));
    }

    void tickingByTheOperatorStoresWhatTheRowShows() {
        windows->setStartDates(QDate(2026, 12, 6));
        Find<QCheckBox>(r(), "RecWinCheck2")->click();
        const RecWindow& w = record.RecWindows[2];
        QCOMPARE(w.StartDay, 6);
        QCOMPARE(w.StartMonth, 12);
        QCOMPARE(w.StartYear, 2026);
        QCOMPARE(w.DurDays, 1);
        Find<QCheckBox>(r(), "RecRepeatCheck2")->click();
        QCOMPARE(w.IntDays, Find<ui::SpinEdit>(r(), "RecIntervalDays2")->value());
    }

    void immediateStartIsShownAndKeptInWindowsTwoToFive() {
        RecWindow& w = record.RecWindows[3];
        w.WinType = code::WinBurst;
        w.StartDay = 0;
        w.StartMonth = 7;
        windows->ShowRecord();
        QCOMPARE(Find<QDateEdit>(r(), "RecStartDate3")->text(), QStringLiteral("immediately"));
        QCOMPARE(w.StartDay, 0);
        QCOMPARE(w.StartMonth, 7);
        Find<QTimeEdit>(r(), "RecStartTime3")->setTime(QTime(4, 0));
        QCOMPARE(w.StartDay, 0);
        Find<QDateEdit>(r(), "RecStartDate3")->setDate(QDate(2026, 12, 24));
        QCOMPARE(w.StartDay, 24);
    }
};

QTEST_MAIN(TimeWindowsTest)
#include "time_windows_test.moc"
