// The window against a real port: an upload and "Read from KSR" on the COM number the operator
// types, the port in "Select Port". Run by the Windows tests under Wine, with COM7 mapped onto
// the recorder simulator's pseudo-terminal: KSR_TEST_COM names the number, KSR_TEST_RECEIVED the
// folder the simulated recorder receives into. Without them there is nothing to test.

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "setup/FileIo.h"
#include "ui/ComSelectForm.h"
#include "ui/TKSR_SetUp.h"

using namespace ksr;
using test::Find;

class WindowComTest : public QObject {
    Q_OBJECT

    int com = 0;
    std::filesystem::path received;

    bool idle(QWidget* w) {
        return Find(w, "UpLoadPanel")->isEnabled() && Find(w, "ReadFromKsrPanel")->isEnabled() &&
               !test::Shown(w, "EscapeUpLoadPanel");
    }

  private slots:
    void initTestCase() {
        com = qEnvironmentVariableIntValue("KSR_TEST_COM");
        received = PathOf(qEnvironmentVariable("KSR_TEST_RECEIVED").toStdString());
        if (com <= 0 || received.empty()) QSKIP("no port to test: KSR_TEST_COM is not set");
    }

    void selectPortListsThePort() {
        ui::TComSelectForm form;
        bool listed = false;
        for (int i = 0; i < form.portsComboBox()->count(); ++i)
            listed = listed ||
                     form.portsComboBox()->itemText(i).startsWith(QStringLiteral("COM%1").arg(com));
        QVERIFY2(listed, "the port is not in Select Port");
    }

    void uploadThenReadFromKsrOnTheTypedPort() {
        test::TempDir dir;
        const std::string ini = test::ReadBytes(test::TestData("golden/timed.recorder.ini"));
        test::WriteBytes(dir / "recorder.ini", ini);
        test::FakeServices services;
        SetupRecord record;
        SetDefaults(record);
        ui::TKSR_SetUp window(record, services, dir.path());
        window.show();
        Find<QTabWidget>(&window, "SetUpPageControl")->setCurrentIndex(1);
        QTRY_VERIFY(window.pagesMade());
        auto* comField = Find<ui::SpinEdit>(&window, "ComSpinEdit")->findChild<QLineEdit*>();
        comField->setText(QString::number(com));

        QTest::mouseClick(Find(&window, "UpLoadPanel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(idle(&window), 90000);
        QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join('\n')));
        QVERIFY2(window.statusText().contains(QStringLiteral("recorder.ini transmitted")),
                 qPrintable(window.statusText()));
        QVERIFY(test::ReadBytes(received / "recorder.ini") == ini);
        const std::string log = test::ReadBytes(dir / "uploads.log");
        QVERIFY2(log.find("\"result\": \"success\"") != std::string::npos, log.c_str());
        QVERIFY2(log.find(QStringLiteral("COM%1").arg(com).toStdString()) != std::string::npos,
                 log.c_str());

        QTest::mouseClick(Find(&window, "ReadFromKsrPanel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.statusText().contains(QStringLiteral("runs the local")),
                                 90000);
        QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join('\n')));
    }
};

QTEST_MAIN(WindowComTest)
#include "window_com_test.moc"
