// The channel rates and gains editor: stepping through the tables, Similar/Different copying,
// the 6 Channel Unit switch and the display of a record.

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/RatesEditor.h"

using namespace ksr;
using test::Find;
using test::Shown;
using test::Spin;
using test::Text;

class RatesEditorTest : public QObject {
    Q_OBJECT

    SetupRecord record;
    std::unique_ptr<ui::RatesEditor> editor;
    QWidget* e() { return editor.get(); }

    void diff() { QTest::mouseClick(Find(e(), "DiffRateButton"), Qt::LeftButton); }
    void six() { QTest::mouseClick(Find(e(), "SixChannelCheck"), Qt::LeftButton); }

  private slots:
    void init() {
        record = test::DefaultRecord(2026);
        editor = std::make_unique<ui::RatesEditor>(record, nullptr);
        editor->show();
    }

    void startsWithChannelOneSelectorsOnly() {
        QVERIFY(Shown(e(), "Ch1PriSelect"));
        QVERIFY(Shown(e(), "Ch1GainSelect"));
        for (const char* name : {"Ch2PriSelect", "Ch3SecSelect", "Ch4GainSelect", "Ch6PriSelect"})
            QVERIFY2(!Shown(e(), name), name);
        QVERIFY(Find<QRadioButton>(e(), "SimRateButton")->isChecked());
        QCOMPARE(Text(e(), "Ch1PriText"), QStringLiteral("100"));
        QCOMPARE(Text(e(), "Ch4PriText"), QStringLiteral("0"));
        QCOMPARE(Text(e(), "Ch1GainText"), QStringLiteral("  1"));
    }

    void primaryDownAtZeroKeepsChannelOneButStillCopies() {
        Spin(e(), "Ch1PriSelect", false, 12);  // 100 -> 0 sps, then further at the limit
        QCOMPARE(record.PrimRateIndex[1], 1);
        record.PrimRateIndex[2] = 7;  // as if changed elsewhere
        record.SecRateIndex[2] = 3;
        Spin(e(), "Ch1PriSelect", false);
        QCOMPARE(record.PrimRateIndex[2], 1);
        QCOMPARE(record.SecRateIndex[2], 1);
        QCOMPARE(record.SecRateValue[2], 0);
        QCOMPARE(Text(e(), "Ch2PriText"), QStringLiteral("0"));
        QCOMPARE(Text(e(), "Ch2SecText"), QStringLiteral("0"));
        QCOMPARE(record.PrimRateIndex[4], 1);
    }

    void primaryStepSwitchesTheSecondaryOff() {
        Spin(e(), "Ch1SecSelect", true, 8);  // 100 sps row: up to column 9, 50 sps
        QCOMPARE(record.SecRateIndex[1], 9);
        QCOMPARE(record.SecRateValue[1], 50);
        QCOMPARE(Text(e(), "Ch1SecText"), QStringLiteral("50"));
        Spin(e(), "Ch1PriSelect", true);  // 125 sps
        QCOMPARE(Text(e(), "Ch1PriText"), QStringLiteral("125"));
        QCOMPARE(record.SecRateIndex[1], 1);
        QCOMPARE(record.SecRateValue[1], 0);
        QCOMPARE(Text(e(), "Ch1SecText"), QStringLiteral("0"));
        Spin(e(), "Ch1SecSelect", true);
        QCOMPARE(record.SecRateValue[1], 25);
        Spin(e(), "Ch1SecSelect", true);  // only one choice above 0
        QCOMPARE(record.SecRateIndex[1], 2);
        QCOMPARE(Text(e(), "Ch1SecText"), QStringLiteral("25"));
    }

    void primaryLimitsAtBothEnds() {
        Spin(e(), "Ch1PriSelect", true, 15);
        QCOMPARE(record.PrimRateIndex[1], 20);
        QCOMPARE(Text(e(), "Ch1PriText"), QStringLiteral("3000"));
    }

    void ratesWithoutSecondaryStayAtZero() {
        for (int prim : {1, 2, 4, 5, 6, 9}) {
            record.PrimRateIndex[1] = prim;
            record.SecRateIndex[1] = 1;
            Spin(e(), "Ch1SecSelect", true, 3);
            QCOMPARE(record.SecRateIndex[1], 1);
            QCOMPARE(record.SecRateValue[1], 0);
        }
    }

    void gainUpAtTopKeepsTheLabelButSimilarStillCopies() {
        Spin(e(), "Ch1GainSelect", true, 2);
        QCOMPARE(Text(e(), "Ch1GainText"), QStringLiteral("0.4"));
        QCOMPARE(Text(e(), "Ch3GainText"), QStringLiteral("0.4"));
        Find<QLabel>(e(), "Ch1GainText")->setText(QStringLiteral("marker"));
        record.GainIndex[2] = 1;
        Spin(e(), "Ch1GainSelect", true);
        QCOMPARE(Text(e(), "Ch1GainText"), QStringLiteral("marker"));  // not rewritten at the limit
        QCOMPARE(record.GainIndex[2], 3);
        QCOMPARE(record.GainIndex[4], 1);
    }

    void similarThreeChannelsCopiesOnlyTheSteppedQuantity() {
        record.SecRateIndex[5] = 4;
        record.GainIndex[2] = 2;
        Spin(e(), "Ch1SecSelect", true);
        QCOMPARE(record.SecRateIndex[2], 2);
        QCOMPARE(record.SecRateValue[3], 1);
        QCOMPARE(Text(e(), "Ch3SecText"), QStringLiteral("1"));
        QCOMPARE(record.SecRateIndex[5], 4);  // channels 4-6 left alone
        QCOMPARE(record.GainIndex[2], 2);     // gain was not stepped
    }

    void similarSecondaryValueFollowsEachChannelsOwnRow() {
        diff();
        Spin(e(), "Ch2PriSelect", true);  // channel 2 at 125 sps
        QTest::mouseClick(Find(e(), "SimRateButton"), Qt::LeftButton);
        Spin(e(), "Ch1SecSelect", true);  // channel 1: column 2 of the 100 row, 1 sps
        QCOMPARE(record.SecRateValue[1], 1);
        QCOMPARE(record.SecRateIndex[2], 2);
        QCOMPARE(record.SecRateValue[2], 25);  // column 2 of the 125 row
        QCOMPARE(Text(e(), "Ch2SecText"), QStringLiteral("25"));
    }

    void switchingModesChangesNoValue() {
        diff();
        Spin(e(), "Ch2PriSelect", false);
        Spin(e(), "Ch3GainSelect", true);
        const SetupRecord before = record;
        QTest::mouseClick(Find(e(), "SimRateButton"), Qt::LeftButton);
        QVERIFY(record == before);
        QVERIFY(!Shown(e(), "Ch2PriSelect"));
        Spin(e(), "Ch1GainSelect", true);
        QCOMPARE(record.GainIndex[2], 2);
        QCOMPARE(record.PrimRateIndex[2], 9);  // primary not stepped, not copied
    }

    void channelTwoPrimaryDownAtZeroStillResetsItsSecondary() {
        diff();
        record.PrimRateIndex[2] = 1;
        record.SecRateIndex[2] = 5;
        record.SecRateValue[2] = 99;
        Spin(e(), "Ch2PriSelect", false);
        QCOMPARE(record.PrimRateIndex[2], 1);
        QCOMPARE(record.SecRateIndex[2], 1);
        QCOMPARE(record.SecRateValue[2], 0);
        QCOMPARE(Text(e(), "Ch2SecText"), QStringLiteral("0"));
        QCOMPARE(Text(e(), "Ch2PriText"), QStringLiteral("0"));
    }

    void handlersOfOtherChannelsAreInertInSimilarRates() {
        const SetupRecord before = record;
        for (int c = 2; c <= 6; ++c) {
            editor->PriSelectClick(c, +1);
            editor->SecSelectClick(c, +1);
            editor->GainSelectClick(c, +1);
        }
        QVERIFY(record == before);
        diff();
        editor->PriSelectClick(5, +1);  // six-channel unit not ticked
        QVERIFY(record == before);
        editor->PriSelectClick(3, +1);
        QCOMPARE(record.PrimRateIndex[3], 11);
    }

    void sixChannelUnitInSimilarCopiesChannelOneAndClearResets() {
        Spin(e(), "Ch1PriSelect", true);
        Spin(e(), "Ch1SecSelect", true);
        Spin(e(), "Ch1GainSelect", true);
        six();
        for (int c = 4; c <= 6; ++c) {
            QCOMPARE(record.PrimRateIndex[c], 11);
            QCOMPARE(record.SecRateIndex[c], 2);
            QCOMPARE(record.SecRateValue[c], 25);
            QCOMPARE(record.GainIndex[c], 2);
        }
        QCOMPARE(Text(e(), "Ch5PriText"), QStringLiteral("125"));
        QCOMPARE(Text(e(), "Ch6GainText"), QStringLiteral(" 10"));
        QVERIFY(!Shown(e(), "Ch4PriSelect"));
        six();
        for (int c = 4; c <= 6; ++c) {
            QCOMPARE(record.PrimRateIndex[c], 1);
            QCOMPARE(record.SecRateIndex[c], 1);
            QCOMPARE(record.SecRateValue[c], 0);
            QCOMPARE(record.GainIndex[c], 1);
        }
        QCOMPARE(Text(e(), "Ch4PriText"), QStringLiteral("0"));
        QCOMPARE(Text(e(), "Ch4GainText"), QStringLiteral("1"));
    }

    void sixChannelUnitInDifferentShowsAndHidesButKeepsValues() {
        diff();
        six();
        QVERIFY(Shown(e(), "Ch5PriSelect"));
        Spin(e(), "Ch5PriSelect", true, 15);  // 500 sps
        QCOMPARE(Text(e(), "Ch5PriText"), QStringLiteral("500"));
        six();
        QVERIFY(!Shown(e(), "Ch5PriSelect"));
        QCOMPARE(record.PrimRateIndex[5], 16);
        QVERIFY(Shown(e(), "Ch2PriSelect"));
    }

    void showRecordPicksDifferentForAGainDifferenceAndSixForUpperRates() {
        SetupRecord r = test::DefaultRecord(2026);
        r.GainIndex[2] = 2;
        ui::RatesEditor a(r, nullptr);
        a.ShowRecord();
        QVERIFY(a.diffRateButton()->isChecked());
        QVERIFY(!a.sixChannelCheck()->isChecked());

        SetupRecord b = test::DefaultRecord(2026);
        b.PrimRateIndex[4] = 1;
        b.SecRateIndex[4] = 9;  // rate 0 row: adds nothing
        ui::RatesEditor eb(b, nullptr);
        eb.ShowRecord();
        QVERIFY(!eb.sixChannelCheck()->isChecked());
        QVERIFY(eb.simRateButton()->isChecked());

        SetupRecord c = test::DefaultRecord(2026);
        for (int ch = 4; ch <= 6; ++ch) c.PrimRateIndex[ch] = 10;
        ui::RatesEditor ec(c, nullptr);
        ec.show();
        ec.ShowRecord();
        QVERIFY(ec.simRateButton()->isChecked());
        QVERIFY(ec.sixChannelCheck()->isChecked());
        QCOMPARE(Text(&ec, "Ch6PriText"), QStringLiteral("100"));
        QVERIFY(c.PrimRateIndex[6] == 10);
    }
};

QTEST_MAIN(RatesEditorTest)
#include "rates_editor_test.moc"
