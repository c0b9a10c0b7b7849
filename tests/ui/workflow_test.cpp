// The set-up workflow driven through the window's controls by their names, in a scratch
// working directory: new, open, unlock, finish, save, name clash, build, close.

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QAccessible>
#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <cstdlib>
#include <ctime>

#include "UiTestSupport.h"
#include "setup/FileIo.h"
#include "ui/DataFolders.h"
#include "ui/HelpWindow.h"
#include "ui/TKSR_SetUp.h"
#include "ui/Tooltips.h"
#include "ui/WindowServices.h"

using namespace ksr;
using test::Click;
using test::Find;
using test::Shown;
using test::Spin;
using test::Text;

class WorkflowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir;
    std::unique_ptr<test::FakeServices> services;
    std::unique_ptr<SetupRecord> record;
    std::unique_ptr<ui::TKSR_SetUp> window;
    QWidget* w() { return window.get(); }

    void open(const char* fileName) {
        auto* list = Find<QListWidget>(w(), "SetUpFileBox");
        const auto items = list->findItems(QString::fromLatin1(fileName), Qt::MatchExactly);
        QVERIFY(items.size() == 1);
        // A real double-click: the first press selects, the second is the double-click.
        const QPoint at = list->visualItemRect(items.front()).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    void menu(const char* item) {
        auto* action =
            Find<QMenu>(w(), "CloseMenu")->findChild<QAction*>(QString::fromLatin1(item));
        QVERIFY(action);
        action->trigger();
    }
    void typeName(const QString& text) {
        auto* edit = Find<QLineEdit>(w(), "SetUpNameEdit");
        QTest::keyClicks(edit, text);
    }
    void finishNaming() { QTest::keyClick(Find(w(), "SetUpNameEdit"), Qt::Key_Return); }
    std::string file(const char* name) { return test::ReadBytes(*dir / name); }
    QString status() { return window->statusText(); }
    QColor statusColour() { return window->statusColour(); }
    void newWindow() {
        record = std::make_unique<SetupRecord>();
        SetDefaults(*record);
        window = std::make_unique<ui::TKSR_SetUp>(*record, *services, dir->path());
        window->show();
        QTRY_VERIFY(window->pagesMade());  // as the operator finds the window after its first frame
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

  private slots:
    void init() {
        dir = std::make_unique<test::TempDir>();
        test::WriteBytes(*dir / "recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));
        test::WriteBytes(*dir / "station1.set",
                         test::ReadBytes(test::ShippedData("examples/station1.set")));
        test::WriteBytes(*dir / "timed.set",
                         test::ReadBytes(test::ShippedData("examples/timed.set")));
        services = std::make_unique<test::FakeServices>();
        newWindow();
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    void startShowsTheFileListAndANeutralStatus() {
        QCOMPARE(window->windowTitle(),
                 QStringLiteral(
                     " Varnix Logger SetUp  ( V 2.24 ff )                    Ver. 26-JUL-2013"));
        QVERIFY(Shown(w(), "NewSetUpPanel"));
        QCOMPARE(Text(w(), "SelectBelowLabel"), QStringLiteral("or select below"));
        auto* list = Find<QListWidget>(w(), "SetUpFileBox");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("station1.set"));
        QCOMPARE(status(), QString());
        QCOMPARE(statusColour(), window->palette().color(QPalette::Button));
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        QCOMPARE(pages->tabText(0), QStringLiteral("Edit SetUp"));
        QCOMPARE(pages->tabText(1), QStringLiteral("UpLoad old SetUp"));
        QCOMPARE(pages->tabText(2), QStringLiteral("PowerEstimation"));
        QCOMPARE(pages->currentIndex(), 0);
        for (const char* box : {"SrateBox", "AuxChannelBox", "CalibratBox", "RecordSetBox",
                                "GPSBox", "CaliWinBox", "RecordWinBox", "TemperatureBox"})
            QVERIFY2(!Shown(w(), box), box);
        QCOMPARE(window->width(), 712);
        QCOMPARE(window->windowHeight(), 794);
    }

    void newFinishSaveYesOkWritesTheFilesAndHandsOver() {
        Click(w(), "NewSetUpPanel");
        QCOMPARE(window->windowTitle(), QStringLiteral("Varnix Logger SetUp     Default"));
        QCOMPARE(Text(w(), "SetUpName"), QStringLiteral("NoName"));
        QCOMPARE(Text(w(), "CloseSetUpPanel"), QStringLiteral("Finish"));
        QCOMPARE(Text(w(), "SetUpDateLabel"), QStringLiteral("06-DEC-2026"));
        QVERIFY(!Shown(w(), "NewSetUpPanel"));
        QVERIFY(!Shown(w(), "SetUpFileBox"));
        QVERIFY(Find(w(), "SrateBox")->isEnabled());
        QCOMPARE(record->SetupSaved, 0);
        QCOMPARE(record->RecWindows[5].StartYear, 2026);
        // Continuous recording: the short window, with the record windows box below its edge.
        QCOMPARE(Find(w(), "SetUpPageControl")->height(), 556);
        QCOMPARE(window->windowHeight(), 611);

        Click(w(), "CloseSetUpPanel");
        QCOMPARE(Find<ui::ClickPanel>(w(), "CloseSetUpPanel")->palette().color(QPalette::Window),
                 ui::colour::Silver);
        QVERIFY(Find<QMenu>(w(), "CloseMenu")->isVisible());
        Find<QMenu>(w(), "CloseMenu")->hide();
        menu("SaveSetUp");
        QCOMPARE(test::Snapshot(dir->path()).count("NoName.set"), 1u);
        QCOMPARE(file("NoName.set"), test::ReadBytes(test::TestData("golden/noname_new.set")));
        QCOMPARE(
            file("SHORTTMP.DAT"),
            std::string("-10\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n"));
        QCOMPARE(Text(w(), "SavedText"), QStringLiteral("SetUp  \"NoName.set\"  saved"));
        QCOMPARE(status(), QStringLiteral("  SetUp  \"NoName.set\"  saved"));
        QCOMPARE(statusColour(), ui::colour::Lime);
        QVERIFY(Shown(w(), "SavedBox"));
        QCOMPARE(Text(w(), "BuildIniLabel"), QStringLiteral("Build new  \"recorder.ini\" ?"));
        QCOMPARE(record->SetupSaved, 1);

        Click(w(), "BuildIniYesButton");
        QVERIFY(services->errors.isEmpty());
        QCOMPARE(file("recorder.ini"),
                 test::ReadBytes(test::TestData("golden/noname.recorder.ini")));
        QVERIFY(!Shown(w(), "SavedBox"));
        QVERIFY(Shown(w(), "IniBuiltPanel"));
        QCOMPARE(Find<QTabWidget>(w(), "SetUpPageControl")->tabText(1),
                 QStringLiteral("UpLoad \"NONAME\" SetUp"));
        QCOMPARE(status(), QStringLiteral(" "));

        Click(w(), "IniChangedOKButton");
        QCOMPARE(Find<QTabWidget>(w(), "SetUpPageControl")->currentIndex(), 1);
        QCOMPARE(status(), QStringLiteral("  Check Com Port No. "));
        QCOMPARE(statusColour(), ui::colour::Yellow);
        QVERIFY(!Shown(w(), "IniBuiltPanel"));
        QCOMPARE(Find(w(), "SetUpPageControl")->height(), 740);
        QCOMPARE(window->windowHeight(), 795);
        QCOMPARE(services->ends, 0);
    }

    void lowestTemperatureGoesToShortTmp() {
        Click(w(), "NewSetUpPanel");
        Find<ui::SpinEdit>(w(), "TemperatureSpin")->stepBy(-3);
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        QCOMPARE(file("SHORTTMP.DAT").substr(0, 5), std::string("-25\r\n"));
    }

    void finishAppliesTheRateRules() {
        Click(w(), "NewSetUpPanel");
        QTest::mouseClick(Find(w(), "DiffRateButton"), Qt::LeftButton);
        Spin(w(), "Ch2GainSelect", true, 2);
        Spin(w(), "Ch1PriSelect", true, 9);  // 1000 sps: files of at most 30 minutes
        QCOMPARE(Text(w(), "Ch1GainText"), QStringLiteral("  1"));
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(Text(w(), "Ch1GainText"), QStringLiteral("0.4"));
        QCOMPARE(Text(w(), "Ch3GainText"), QStringLiteral("0.4"));
        QCOMPARE(record->RecordParams[FileLength], 30);
        QCOMPARE(record->RecordParams[MaxPcCycle], 16000000 / ((1000 + 200) * 240 + 4000) - 6);
    }

    void leavingTheRatesGroupAppliesTheRateRules() {
        Click(w(), "NewSetUpPanel");
        QTest::mouseClick(Find(w(), "DiffRateButton"), Qt::LeftButton);
        Spin(w(), "Ch3GainSelect", true, 2);
        QCOMPARE(Text(w(), "Ch2GainText"), QStringLiteral("  1"));
        Find(w(), "TemperatureSpin")->setFocus();
        QCOMPARE(Text(w(), "Ch2GainText"), QStringLiteral("0.4"));
    }

    void openLockedThenCloseEndsWithOneBeepAndWritesNothing() {
        const auto before = test::Snapshot(dir->path());
        open("timed.set");
        // The title names the file with its whole path (a drive letter and "\" on Windows).
        const QString title = window->windowTitle();
        QVERIFY2(title.startsWith(QStringLiteral("Varnix Logger SetUp     ")) &&
                     title.endsWith(QStringLiteral("timed.set")) &&
                     title.contains(QString::fromStdString(dir->path().filename().string())) &&
                     title.size() > 24 + 9 + 2,
                 qPrintable(title));
        QCOMPARE(Text(w(), "SetUpName"), QStringLiteral("timed"));
        QCOMPARE(Text(w(), "SetUpDateLabel"), QStringLiteral("02-NOV-2026   16:20 UTC"));
        QCOMPARE(status(), QStringLiteral("  !! To enable Edit --> Hit UnLock !!"));
        QCOMPARE(statusColour(), ui::colour::Yellow);
        QVERIFY(Shown(w(), "UnLockPanel"));
        QVERIFY(Shown(w(), "SrateBox"));
        QVERIFY(!Find(w(), "SrateBox")->isEnabled());
        // Locked, nothing is saved: a lowest temperature would go nowhere.
        QVERIFY(!Find(w(), "TemperatureBox")->isEnabled());
        QCOMPARE(Text(w(), "CloseSetUpPanel"), QStringLiteral("Close"));
        QCOMPARE(window->windowHeight(), 795);  // timed: the long window
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(services->trace, QStringList({QStringLiteral("b"), QStringLiteral("end")}));
        QVERIFY(test::Snapshot(dir->path()) == before);
    }

    // "UpLoad old SetUp" sends the folder's recorder.ini whatever is open: the page says which.
    void theUploadPageNamesTheSetUpItWouldSendAndWarnsWhenAnotherIsOpen() {
        auto* label = Find<QLabel>(w(), "NextUploadLabel");
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        pages->setCurrentIndex(1);
        window->SetUpPageControlEnter();
        QCOMPARE(label->text(), QStringLiteral("sends: no recorder.ini in the folder"));
        test::WriteBytes(*dir / "recorder.ini",
                         test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
        window->SetUpPageControlEnter();  // nothing open yet: no warning
        QCOMPARE(label->text(), QStringLiteral("sends: TIMED  02-NOV-2026 16:20"));
        pages->setCurrentIndex(0);
        open("station1.set");
        pages->setCurrentIndex(1);
        window->SetUpPageControlEnter();
        QCOMPARE(label->text(),
                 QStringLiteral("sends: TIMED  02-NOV-2026 16:20\nnot the open set-up station1 !"));
        QCOMPARE(label->palette().color(QPalette::Window), ui::colour::Orange);
        QVERIFY(Find(w(), "UpLoadPanel")->isEnabled());  // the upload stays possible
        pages->setCurrentIndex(0);
        open("timed.set");
        pages->setCurrentIndex(1);
        window->SetUpPageControlEnter();
        QVERIFY(!label->text().contains(QStringLiteral("not the open")));
        QCOMPARE(label->palette().color(QPalette::Window), ui::colour::Silver);
    }

    // F1 on every page, and "?" beside the tabs, open the help from the program's resources.
    void helpOnBoardFromEveryPageAndTooltipsWhereCaptionsDoNotSay() {
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        // F1 opens at the page's own section.
        const QStringList sections{QStringLiteral("From a new set-up to an upload"),
                                   QStringLiteral("The upload page"),
                                   QStringLiteral("The power page")};
        for (int page = 0; page < 3; ++page) {
            pages->setCurrentIndex(page);
            if (window->helpWindow()) window->helpWindow()->hide();
            QTest::keyClick(w(), Qt::Key_F1);
            QVERIFY2(window->helpWindow() && window->helpWindow()->isVisible(),
                     qPrintable(QString::number(page)));
            auto* shown = qobject_cast<ui::HelpWindow*>(window->helpWindow());
            QTRY_COMPARE(shown->topLine(), sections[page]);
        }
        window->helpWindow()->hide();
        QTest::mouseClick(Find(w(), "HelpButton"), Qt::LeftButton);
        auto* help = qobject_cast<ui::HelpWindow*>(window->helpWindow());
        QVERIFY(help && help->isVisible());
        const QString html = help->html();
        for (const QString& part :
             {QStringLiteral("From a new set-up to an upload"), QStringLiteral("Keyboard"),
              QStringLiteral("check with cksum"), QStringLiteral("Read from KSR"),
              QStringLiteral("Escape"), QStringLiteral("The power page"),
              QStringLiteral("Status colours"), QStringLiteral("dialout"),
              QString::fromStdString(std::filesystem::absolute(dir->path()).string())})
            QVERIFY2(html.contains(part), qPrintable(part));
        // Every entry of the tooltip table is a control of the window, and has its tip.
        for (int i = 0; i < ui::ControlTipCount; ++i) {
            const ui::ControlTip& tip = ui::ControlTips[i];
            auto* control = w()->findChild<QWidget*>(QString::fromLatin1(tip.objectName));
            QVERIFY2(control && !control->toolTip().isEmpty(), tip.objectName);
        }
        int tipped = 0;
        for (QWidget* control : w()->findChildren<QWidget*>())
            tipped += !control->toolTip().isEmpty();
        QVERIFY2(tipped >= 25, qPrintable(QString::number(tipped)));
    }

    // The Finish menu opens inside the window, however near its right edge the panel is.
    void theFinishMenuStaysInTheWindow() {
        open("station1.set");
        Click(w(), "UnLockPanel");
        QVERIFY(Find(w(), "TemperatureBox")->isEnabled());
        Click(w(), "CloseSetUpPanel");
        auto* menu = Find<QMenu>(w(), "CloseMenu");
        QTRY_VERIFY(menu->isVisible());
        QVERIFY2(menu->geometry().right() <= w()->geometry().right(),
                 qPrintable(QStringLiteral("%1 > %2")
                                .arg(menu->geometry().right())
                                .arg(w()->geometry().right())));
        menu->hide();
    }

    void unlockClearsTheHintAndEnablesEditing() {
        open("station1.set");
        QVERIFY(Find<QRadioButton>(w(), "DiffRateButton")->isChecked());
        QVERIFY(Find<QCheckBox>(w(), "SixChannelCheck")->isChecked());
        Click(w(), "UnLockPanel");
        QVERIFY(!Shown(w(), "UnLockPanel"));
        QCOMPARE(Text(w(), "CloseSetUpPanel"), QStringLiteral("Finish"));
        QCOMPARE(status(), QString());
        QCOMPARE(record->SetupSaved, 0);
        QVERIFY(Find(w(), "SrateBox")->isEnabled());
    }

    void saveAsKeepsLettersAndDigitsOnly() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");
        QVERIFY(Shown(w(), "SetUpNameEdit"));
        // The field says what it wants, and so does the status bar.
        QCOMPARE(Find<QLineEdit>(w(), "SetUpNameEdit")->placeholderText(),
                 QStringLiteral("new name"));
        QVERIFY(status().contains(QStringLiteral("new set-up name")));
        typeName(QStringLiteral("My-Set!"));
        QCOMPARE(Text(w(), "SetUpNameEdit"), QStringLiteral("my-set!"));
        finishNaming();
        QVERIFY(std::filesystem::exists(*dir / "myset.set"));
        QCOMPARE(Text(w(), "SetUpName"), QStringLiteral("myset.set"));
        QCOMPARE(record->SetupName, "MYSET");
        // The message and the title name the file as it is on the disk.
        QCOMPARE(Text(w(), "SavedText"), QStringLiteral("SetUp  \"myset.set\"  saved"));
        QVERIFY2(w()->windowTitle().endsWith(QStringLiteral("myset.set")),
                 qPrintable(w()->windowTitle()));
        QCOMPARE(Text(w(), "SetUpDateLabel"), QStringLiteral("06-DEC-2026 14:07 UTC"));
        QVERIFY(!Shown(w(), "SetUpNameEdit"));
        // Leaving the hidden field afterwards does not save again.
        std::filesystem::remove(*dir / "myset.set");
        window->SetUpNameEditExit();
        QVERIFY(!std::filesystem::exists(*dir / "myset.set"));
    }

    void aFailedSaveKeepsTheTypedNameSoTheRetryWritesTheSameFile() {
        std::filesystem::create_directory(*dir / "SHORTTMP.DAT");  // the save cannot complete
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");
        typeName(QStringLiteral("station9"));
        finishNaming();
        QCOMPARE(services->errors.size(), 1);
        QVERIFY2(services->errors.front().contains(QStringLiteral("SHORTTMP.DAT")),
                 qPrintable(services->errors.front()));
        QVERIFY(!std::filesystem::exists(*dir / "station9.set"));  // both files or neither
        QCOMPARE(record->SetupName, "station9");
        QCOMPARE(record->SetupSaved, 0);

        std::filesystem::remove(*dir / "SHORTTMP.DAT");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        QCOMPARE(services->errors.size(), 1);
        // The name as typed, not as stored in the record (the names differ where the file
        // system tells case apart).
        const auto names = test::Snapshot(dir->path());
        QCOMPARE(names.count("station9.set"), 1u);
        QCOMPARE(names.count("STATION9.set"), 0u);
        QVERIFY(!Shown(w(), "RenamePanel"));  // no clash with a file of its own making
        QCOMPARE(record->SetupName, "STATION9");
    }

    void aFifoInTheFileListShowsAnErrorInsteadOfFreezing() {
#ifdef _WIN32
        QSKIP("FIFOs in a folder are POSIX's");
#else
        // Listed as a file, then replaced by a FIFO before the double-click.
        test::WriteBytes(*dir / "pipe.set", test::ReadBytes(*dir / "timed.set"));
        newWindow();
        std::filesystem::remove(*dir / "pipe.set");
        QCOMPARE(::mkfifo((*dir / "pipe.set").c_str(), 0644), 0);
        open("pipe.set");  // blocked forever before: nothing ever writes into the FIFO
        QCOMPARE(services->errors.size(), 1);
        QVERIFY2(services->errors.front().contains(
                     QStringLiteral("pipe.set: cannot read file: not a regular file")),
                 qPrintable(services->errors.front()));
        QVERIFY(Shown(w(), "NewSetUpPanel"));
#endif
    }

    void nameOfOnlyPunctuationKeepsTheOldName() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");
        typeName(QStringLiteral("-- !!"));
        finishNaming();
        QVERIFY(std::filesystem::exists(*dir / "NoName.set"));
    }

    // One build for both programs: a set-up opened, saved and built in the window gives the
    // same recorder.ini and SHORTTMP.DAT, byte for byte, as "ksr-config build" of the same file,
    // for the samples and for names holding "~", "-", "_" and ".".
    void theWindowAndTheCommandLineBuildTheSameFiles() {
        const std::vector<std::pair<std::string, std::string>> cases{
            {"station1.set", "station1"}, {"timed.set", "timed"},  {"FIELDS~1.set", "timed"},
            {"st-1.set", "station1"},     {"my_set.set", "timed"}, {"a.b.set", "station1"},
            {"~~.set", "timed"}};
        for (const auto& [name, sample] : cases) {
            const std::string bytes =
                test::ReadBytes(test::ShippedData("examples/" + sample + ".set"));
            test::WriteBytes(*dir / name, bytes);
            newWindow();
            open(name.c_str());
            Click(w(), "UnLockPanel");
            Click(w(), "CloseSetUpPanel");
            menu("SaveSetUp");
            if (Shown(w(), "RenamePanel")) Click(w(), "OverWriteButton");
            Click(w(), "BuildIniYesButton");
            QVERIFY2(services->errors.isEmpty(), name.c_str());

            test::TempDir alone;
            test::WriteBytes(alone / "recorder.000",
                             test::ReadBytes(test::ShippedData("recorder.000")));
            test::WriteBytes(alone / name, bytes);
            QProcess build;
            build.setWorkingDirectory(QString::fromStdString(alone.path().string()));
            build.start(QStringLiteral(KSR_CONFIG_EXE),
                        {QStringLiteral("build"), QString::fromStdString(name)});
            QVERIFY(build.waitForFinished(30000));
            QCOMPARE(build.exitCode(), 0);
            QVERIFY2(file("recorder.ini") == test::ReadBytes(alone / "recorder.ini"), name.c_str());
            QVERIFY2(file("SHORTTMP.DAT") == test::ReadBytes(alone / "SHORTTMP.DAT"), name.c_str());
        }
    }

    void saveOfAnOpenedSetUpClashesAndOverwriteReplacesIt() {
        const std::string original = file("station1.set");
        open("station1.set");
        Click(w(), "UnLockPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        QVERIFY(Shown(w(), "RenamePanel"));
        QCOMPARE(Text(w(), "RenameText"), QStringLiteral("another file \"station1.set\" exists"));
        QVERIFY(!Shown(w(), "SavedBox"));
        QCOMPARE(record->SetupSaved, 0);
        Click(w(), "OverWriteButton");
        QVERIFY(!Shown(w(), "RenamePanel"));
        QCOMPARE(Text(w(), "SavedText"), QStringLiteral("SetUp  \"station1.set\"  saved"));
        QCOMPARE(status(), QStringLiteral("  SetUp  \"station1.set\"  saved"));
        QCOMPARE(file("station1.set"), original);  // nothing changed, same bytes
        QCOMPARE(record->SetupSaved, 1);
    }

    void clashThenRenameSavesUnderTheNewName() {
        open("timed.set");
        Click(w(), "UnLockPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        Click(w(), "RenameButton");
        QVERIFY(!Shown(w(), "RenamePanel"));
        QVERIFY(Shown(w(), "SetUpNameEdit"));
        typeName(QStringLiteral("other"));
        finishNaming();
        QCOMPARE(Text(w(), "SavedText"), QStringLiteral("SetUp  \"other.set\"  saved"));
        const std::string saved = file("other.set");
        const std::string old = file("timed.set");
        // Only the name, date and time lines differ.
        QCOMPARE(saved.substr(0, 7), std::string("OTHER\r\n"));
        QCOMPARE(saved.substr(saved.find("\r\n\r\n")), old.substr(old.find("\r\n\r\n")));
    }

    void exitWithoutSavingAsksThenEnds() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("EXITwithoutSaving1");
        QVERIFY(Shown(w(), "ExitBox"));
        QCOMPARE(Text(w(), "ExitLabel"), QStringLiteral("Exit Without Saving ?"));
        Click(w(), "ExitNoButton");
        QVERIFY(!Shown(w(), "ExitBox"));
        QCOMPARE(services->ends, 0);
        menu("EXITwithoutSaving1");
        Click(w(), "ExitYesButton");
        QCOMPARE(services->trace, QStringList({"b", "s200", "b", "s200", "end"}));
        QVERIFY(!std::filesystem::exists(*dir / "NoName.set"));
    }

    void closingTheWindowWhileNamingSavesNothing() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");
        typeName(QStringLiteral("half"));
        QVERIFY(!window->close());  // the window's close button
        QVERIFY(Shown(w(), "ExitBox"));
        QVERIFY(!std::filesystem::exists(*dir / "half.set"));
        QVERIFY(!std::filesystem::exists(*dir / "SHORTTMP.DAT"));
        QVERIFY(!Shown(w(), "SavedBox"));
        QCOMPARE(record->SetupSaved, 0);
        // Back from the question, the operator finishes the name: now it is saved.
        Click(w(), "ExitNoButton");
        Find(w(), "SetUpNameEdit")->setFocus();
        finishNaming();
        QVERIFY(std::filesystem::exists(*dir / "half.set"));
    }

    void anEditAfterASaveMakesFinishAndCloseAskAgain() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        Click(w(), "BuildIniYesButton");
        Click(w(), "IniChangedOKButton");
        Find<QTabWidget>(w(), "SetUpPageControl")->setCurrentIndex(0);
        test::Spin(w(), "Ch1PriSelect", true);  // 100 -> 125 sps after the save
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(services->ends, 0);
        QVERIFY(Find<QMenu>(w(), "CloseMenu")->isVisible());  // save, save as or exit
        Find<QMenu>(w(), "CloseMenu")->hide();
        QCOMPARE(record->SetupSaved, 0);
        QVERIFY(!window->close());
        QVERIFY(Shown(w(), "ExitBox"));
        Click(w(), "ExitNoButton");
        // Saved again, and nothing edited since: "Finish" ends as written.
        menu("SaveSetUp");
        Click(w(), "OverWriteButton");
        Click(w(), "BuildIniYesButton");
        Click(w(), "IniChangedOKButton");
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(services->ends, 1);
    }

    void theClockIsShownAndStoredInUtc() {
        const QByteArray before = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        tzset();
        const QDateTime now = ui::WindowServices().now();
        const QDateTime utc = QDateTime::currentDateTimeUtc();
        if (before.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", before);
        tzset();
        QCOMPARE(now.timeSpec(), Qt::UTC);
        QVERIFY(std::llabs(now.secsTo(utc)) < 5);
        QVERIFY(std::abs(now.time().hour() - utc.time().hour()) % 23 == 0);  // not 9 h ahead
    }

    void buildQuestionNoEndsTheProgram() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        Click(w(), "BuildIniNoButton");
        QCOMPARE(services->trace, QStringList({"b", "s200", "b", "s200", "end"}));
        QVERIFY(!std::filesystem::exists(*dir / "recorder.ini"));
    }

    void closeQueryInEveryState() {
        QVERIFY(window->close());  // Start
        QCOMPARE(services->ends, 1);

        newWindow();
        open("timed.set");  // Locked
        QVERIFY(window->close());

        newWindow();
        Click(w(), "NewSetUpPanel");  // Editing
        QVERIFY(!window->close());
        QVERIFY(Shown(w(), "ExitBox"));
        Click(w(), "ExitNoButton");

        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");  // Naming
        QVERIFY(!window->close());
        Click(w(), "ExitNoButton");

        newWindow();
        open("timed.set");
        Click(w(), "UnLockPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");  // NameTaken
        QVERIFY(!window->close());
        Click(w(), "ExitNoButton");
        Click(w(), "OverWriteButton");  // Saved
        QVERIFY(window->close());

        newWindow();
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUpas");
        typeName(QStringLiteral("ready"));
        finishNaming();
        Click(w(), "BuildIniYesButton");  // IniReady
        QVERIFY(Shown(w(), "IniBuiltPanel"));
        QVERIFY(window->close());
    }

    void finishAfterSavingEndsWithoutAQuestion() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        services->trace.clear();
        Click(w(), "CloseSetUpPanel");
        QCOMPARE(services->trace, QStringList({"b", "end"}));
    }

    void aFailedBuildExplainsTheTemplateAndCanBeAnsweredAgain() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("SaveSetUp");
        const std::string templ = test::ReadBytes(*dir / "recorder.000");
        std::filesystem::remove(*dir / "recorder.000");
        Click(w(), "BuildIniYesButton");
        QCOMPARE(services->errors.size(), 1);
        const QString error = services->errors.front();
        QVERIFY2(error.contains(QStringLiteral("recorder.000: cannot open file")),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("configuration template")), qPrintable(error));
        QVERIFY2(error.contains(
                     QString::fromStdString((ui::InstalledDataDir() / "recorder.000").string())),
                 qPrintable(error));
        QVERIFY(!Shown(w(), "IniBuiltPanel"));
        QVERIFY(!std::filesystem::exists(*dir / "recorder.ini"));
        // The question is still there: the template back in place, YES again builds.
        QVERIFY(Shown(w(), "SavedBox"));
        test::WriteBytes(*dir / "recorder.000", templ);
        Click(w(), "BuildIniYesButton");
        QCOMPARE(services->errors.size(), 1);
        QVERIFY(Shown(w(), "IniBuiltPanel"));
        QVERIFY(std::filesystem::exists(*dir / "recorder.ini"));
    }

    void theWorkingFolderIsShownAndAUserFolderIsMadeOnFirstUse() {
        QVERIFY(Find(w(), "SetUpFileBox")
                    ->toolTip()
                    .contains(QString::fromStdString(dir->path().string())));
        const auto user = dir->path() / "home" / "KSR";
        ui::PrepareUserFolder(user, KSR_SHIPPED_DATA);
        QCOMPARE(test::ReadBytes(user / "recorder.000"),
                 test::ReadBytes(test::ShippedData("recorder.000")));
        QVERIFY(std::filesystem::exists(user / "station1.set"));
        QVERIFY(std::filesystem::exists(user / "timed.set"));
        // Later runs replace nothing the operator has changed.
        test::WriteBytes(user / "recorder.000", "mine\r\n");
        std::filesystem::remove(user / "timed.set");
        ui::PrepareUserFolder(user, KSR_SHIPPED_DATA);
        QCOMPARE(test::ReadBytes(user / "recorder.000"), std::string("mine\r\n"));
        QVERIFY(std::filesystem::exists(user / "timed.set"));
        // An empty copy is what a full disk left behind: it is made anew.
        test::WriteBytes(user / "station1.set", "");
        ui::PrepareUserFolder(user, KSR_SHIPPED_DATA);
        QCOMPARE(
            test::ReadBytes(user / "station1.set"),
            test::ReadBytes(std::filesystem::path(KSR_SHIPPED_DATA) / "examples" / "station1.set"));
    }

    void aUserFolderOnAFullDiskIsAFailureAndLeavesNoEmptyCopy() {
#ifdef _WIN32
        QSKIP("a file size limit for one process is POSIX's");
#else
        const auto user = dir->path() / "full" / "KSR";
        // No copy fits.
        QCOMPARE(
            test::WriteUnderSizeLimit(100, [&] { ui::PrepareUserFolder(user, KSR_SHIPPED_DATA); }),
            0);
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(user, ec))
            QVERIFY2(!entry.is_regular_file() || entry.file_size() > 0,
                     entry.path().string().c_str());
#endif
    }

    void withoutHomeTheUserFolderIsTheUsersOwnNotTheRoot() {
#ifdef _WIN32
        // Windows: the operator's own folder, %USERPROFILE%\KSR.
        QCOMPARE(ui::UserFolder(),
                 ksr::PathOf(qEnvironmentVariable("USERPROFILE").toStdString()) / "KSR");
#else
        const QByteArray home = qgetenv("HOME");
        qunsetenv("HOME");
        const std::filesystem::path folder = ui::UserFolder();
        qputenv("HOME", home);
        QVERIFY(folder != std::filesystem::path("/KSR"));
        QCOMPARE(folder, std::filesystem::path(getpwuid(getuid())->pw_dir) / "KSR");
#endif
    }

    // A file whose name gives a set-up name recorder.ini cannot carry is not opened.
    void aFileNameRecorderIniCannotCarryIsRefusedBeforeLoading() {
        test::WriteBytes(*dir / "st\x7F.set",
                         test::ReadBytes(test::ShippedData("examples/timed.set")));
        newWindow();
        const SetupRecord before = *record;
        open("st\x7F.set");
        QCOMPARE(services->errors.size(), 1);
        QVERIFY2(services->errors.front().contains(QStringLiteral("cannot carry")),
                 qPrintable(services->errors.front()));
        QVERIFY(*record == before);
    }

    void damagedSetupFileShowsTheErrorAndStaysAtStart() {
        test::WriteBytes(*dir / "broken.set",
                         "X\r\n01-JAN-2026\r\n10:00\r\n;;params\r\n;;rec_mode 1 1 x\r\n");
        newWindow();
        open("broken.set");
        QCOMPARE(services->errors.size(), 1);
        QVERIFY(services->errors.front().contains(QStringLiteral("broken.set:5:")));
        QVERIFY(Shown(w(), "NewSetUpPanel"));
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("broken.set")));
        QCOMPARE(record->SetupName, "noname");
    }

    void doubleClickWithoutASelectionDoesNothing() {
        Find<QListWidget>(w(), "SetUpFileBox")->clearSelection();
        window->SetUpFileBoxDblClick();
        QVERIFY(services->errors.isEmpty());
        QVERIFY(Shown(w(), "NewSetUpPanel"));
    }

    // The memo shows exactly the folder's recorder.ini: no line of a longer file shown before.
    void theMemoShowsExactlyTheFolderFile() {
        auto* memo = Find<QPlainTextEdit>(w(), "IniFileMemo");
        window->SetUpPageControlEnter();  // no recorder.ini yet: an empty memo, no error
        QVERIFY(services->errors.isEmpty());
        QCOMPARE(memo->toPlainText(), QString());
        std::string big;
        for (int i = 1; i <= 250; ++i) big += "k" + std::to_string(i) + "\r\n";
        test::WriteBytes(*dir / "recorder.ini", big);
        window->SetUpPageControlEnter();
        QCOMPARE(memo->document()->blockCount(), 250);
        QCOMPARE(memo->document()->lastBlock().text(), QStringLiteral("k250"));
        test::WriteBytes(*dir / "recorder.ini", "a=1\r\nb=\xB0\r\n");
        window->SetUpPageControlEnter();
        QCOMPARE(memo->toPlainText(), QString::fromUtf8("a=1\nb=\u00B0"));
    }

    // The warning follows the set-up open and the folder's file whenever the page is shown.
    void theNextUploadWarningIsTrueWhenThePageIsShown() {
        auto* label = Find<QLabel>(w(), "NextUploadLabel");
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        test::WriteBytes(*dir / "recorder.ini",
                         test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
        open("station1.set");
        QTest::keyClick(pages, Qt::Key_Tab, Qt::ControlModifier);  // to the upload page
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(label->text(),
                 QStringLiteral("sends: TIMED  02-NOV-2026 16:20\nnot the open set-up station1 !"));
        QCOMPARE(label->palette().color(QPalette::Window), ui::colour::Orange);
        // Built elsewhere meanwhile: the page shows what the folder holds now.
        pages->setCurrentIndex(0);
        test::WriteBytes(*dir / "recorder.ini",
                         test::ReadBytes(test::TestData("golden/station1.recorder.ini")));
        pages->setCurrentIndex(1);
        QVERIFY2(label->text().startsWith(QStringLiteral("sends: STATION1")),
                 qPrintable(label->text()));
        QCOMPARE(label->palette().color(QPalette::Window), ui::colour::Silver);
    }

    // The power page shortens the window; the other pages get back the height they need.
    void everyPageHasItsHeightAfterThePowerPage() {
        auto* pages = Find<QTabWidget>(w(), "SetUpPageControl");
        open("timed.set");
        pages->setCurrentIndex(2);
        QVERIFY(window->windowHeight() < 700);
        pages->setCurrentIndex(0);
        QVERIFY(Shown(w(), "RecordWinBox"));
        const QWidget* box = Find(w(), "RecordWinBox");
        QVERIFY(box->mapTo(w(), QPoint(0, box->height())).y() <= Find(w(), "SetUpStatus")->y());
        pages->setCurrentIndex(2);
        pages->setCurrentIndex(1);
        for (const char* name : {"IniFileMemo", "CPortTerminal"}) {
            const QWidget* c = Find(w(), name);
            QVERIFY2(c->mapTo(w(), QPoint(0, c->height())).y() <= Find(w(), "SetUpStatus")->y(),
                     name);
        }
    }

    void memoShowsRecorderIniFromTheStart() {
        test::WriteBytes(*dir / "recorder.ini", "first=1\r\nsecond=2\r\n");
        newWindow();
        auto* memo = Find<QPlainTextEdit>(w(), "IniFileMemo");
        QCOMPARE(memo->document()->firstBlock().text(), QStringLiteral("first=1"));
    }

    void panelsWorkFromTheKeyboard() {
        Find(w(), "NewSetUpPanel")->setFocus();
        QTest::keyClick(Find(w(), "NewSetUpPanel"), Qt::Key_Space);
        QVERIFY(Shown(w(), "SrateBox"));
    }

    void enterOnAFileOfTheListOpensIt() {
        auto* list = Find<QListWidget>(w(), "SetUpFileBox");
        list->setFocus();
        list->setCurrentRow(1);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("timed.set"));
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("timed.set")));
        QVERIFY(Shown(w(), "UnLockPanel"));
        QCOMPARE(record->SetupName, "timed");
    }

    void enterPressesTheFocusedButtonOfAQuestion() {
        Click(w(), "NewSetUpPanel");
        Click(w(), "CloseSetUpPanel");
        menu("EXITwithoutSaving1");
        QVERIFY(Shown(w(), "ExitBox"));
        auto* no = Find(w(), "ExitNoButton");
        QVERIFY(no->hasFocus());
        QTest::keyClick(no, Qt::Key_Return);
        QVERIFY(!Shown(w(), "ExitBox"));
        menu("SaveSetUp");  // then the build question, answered with Enter on "NO"
        QTest::keyClick(Find(w(), "BuildIniNoButton"), Qt::Key_Enter);
        QCOMPARE(services->ends, 1);
    }

    void panelsAreButtonsToScreenReadersAndShowTheFocus() {
        auto* panel = Find<ui::ClickPanel>(w(), "NewSetUpPanel");
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(panel);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("New SetUp"));
        QVERIFY(a->actionInterface());
        QVERIFY(a->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        const QImage unfocused = panel->grab().toImage();
        panel->setFocus();
        QVERIFY(panel->hasFocus());
        QVERIFY(panel->grab().toImage() != unfocused);  // a focus mark is drawn
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(Shown(w(), "SrateBox"));
    }

    void everyControlThatTakesTheFocusHasAnAccessibleName() {
        QStringList unnamed;
        for (QWidget* control : w()->findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus) continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << QString::fromLatin1(control->metaObject()->className()) +
                               QLatin1Char(' ') + control->objectName();
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QCOMPARE(Find(w(), "ComSpinEdit")->accessibleName(), QStringLiteral("Com spin edit"));
    }

    void dateTextIsBuiltFromTheDateItself() {
        QCOMPARE(ui::TKSR_SetUp::DateText(QDate(2026, 12, 6)), QStringLiteral("06-DEC-2026"));
        QCOMPARE(ui::TKSR_SetUp::DateText(QDate(2013, 7, 5)), QStringLiteral("05-JUL-2013"));
        QCOMPARE(ui::TKSR_SetUp::TimeText(QTime(9, 5, 59)), QStringLiteral("09:05"));
    }
};

QTEST_MAIN(WorkflowTest)
#include "workflow_test.moc"
