// Uploads through the window against the recorder simulator: the bytes on the line with their
// timing, the file received, the status texts and colours, Escape, and the port selection.

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QThread>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "UiTestSupport.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "ui/ComSelectForm.h"
#include "ui/TKSR_SetUp.h"

using namespace ksr;
using test::Find;
using test::Shown;

namespace {

// Services whose pauses really pause: the timing on the line is part of what is tested.
class SleepingServices : public test::FakeServices {
  public:
    void sleepMs(int ms) override {
        test::FakeServices::sleepMs(ms);
        QThread::msleep(static_cast<unsigned long>(ms));
    }
};

struct LogLine {
    long long ms;
    bool in;
    std::string text;
};

class Simulator {
  public:
    Simulator(const std::filesystem::path& dir, QStringList options) : log_(dir / "sim.log") {
        std::filesystem::create_directories(dir / "rec");
        options << QStringLiteral("--dir") << QString::fromStdString((dir / "rec").string())
                << QStringLiteral("--log") << QString::fromStdString(log_.string());
        process_.start(QStringLiteral(KSR_SIMULATOR), options);
        process_.waitForReadyRead(5000);
        device_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    // Ended as a user would end it, so that it ends its receiver too.
    ~Simulator() {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    const QString& device() const { return device_; }
    std::vector<LogLine> log() const {
        std::vector<LogLine> lines;
        std::istringstream in(test::ReadBytes(log_));
        std::string ms, dir, text;
        while (in >> ms >> dir) {
            std::getline(in, text);
            lines.push_back({std::stoll(ms), dir == "IN", text.substr(1)});
        }
        return lines;
    }
    // The time of the first line in the given direction containing `text`, or -1.
    long long first(bool in, const std::string& text, long long after = 0) const {
        for (const auto& l : log())
            if (l.in == in && l.ms >= after && l.text.find(text) != std::string::npos) return l.ms;
        return -1;
    }
    // The place in the log of the first line in the given direction containing `text`, or -1:
    // the order of two lines the same millisecond cannot tell.
    int place(bool in, const std::string& text) const {
        const auto lines = log();
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].in == in && lines[i].text.find(text) != std::string::npos)
                return static_cast<int>(i);
        return -1;
    }
    int countContaining(bool in, const std::string& text) const {
        int n = 0;
        for (const auto& l : log()) n += l.in == in && l.text.find(text) != std::string::npos;
        return n;
    }
    int count(bool in, const std::string& text) const {
        int n = 0;
        for (const auto& l : log()) n += l.in == in && l.text == text;
        return n;
    }

  private:
    std::filesystem::path log_;
    QProcess process_;
    QString device_;
};

long long NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The calling thread's time so far, in ns: on a processor, and waiting for one (a busy machine).
// What is neither is time the thread slept or was blocked. False where the system does not say.
bool ThreadTimes(long long& onCpu, long long& queued) {
    std::ifstream in("/proc/thread-self/schedstat");
    return static_cast<bool>(in >> onCpu >> queued);
}

// Watches the window thread's event loop with a 10 ms timer: how late the timer came at worst,
// and of that lateness the longest part the thread spent asleep or blocked rather than working
// or waiting for a processor. A busy machine makes the timer late; only a window that blocks
// makes it late while asleep.
class EventLoopWatch : public QObject {
  public:
    explicit EventLoopWatch(QObject* parent) : QObject(parent) {
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    }
    void start() {
        lastWall_ = NowMs();
        timesKnown_ = ThreadTimes(lastCpu_, lastQueued_);
        timer_.start(kIntervalMs);
    }
    void stop() { timer_.stop(); }
    bool active() const { return timer_.isActive(); }
    long long longestWaitMs() const { return longestWait_; }
    long long longestBlockedMs() const { return longestBlocked_; }
    bool timesKnown() const { return timesKnown_; }

  private:
    static constexpr int kIntervalMs = 10;
    void tick() {
        const long long wall = NowMs();
        long long cpu = 0, queued = 0;
        const bool known = ThreadTimes(cpu, queued);
        const long long waited = wall - lastWall_;
        long long asleep = waited;
        if (known && timesKnown_) asleep -= (cpu - lastCpu_ + queued - lastQueued_) / 1000000;
        longestWait_ = std::max(longestWait_, waited);
        longestBlocked_ = std::max(longestBlocked_, asleep - kIntervalMs);
        lastWall_ = wall;
        lastCpu_ = cpu;
        lastQueued_ = queued;
        timesKnown_ = timesKnown_ && known;
    }
    QTimer timer_;
    long long lastWall_ = 0, lastCpu_ = 0, lastQueued_ = 0;
    long long longestWait_ = 0, longestBlocked_ = 0;
    bool timesKnown_ = false;
};

}  // namespace

class UploadPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir;
    SleepingServices services;
    std::unique_ptr<SetupRecord> record;
    std::unique_ptr<ui::TKSR_SetUp> window;
    QStringList statuses;
    QWidget* w() { return window.get(); }

    // `dialog`: COM 0 asks through the page's own "Select Port" dialog.
    void start(const QString& device, bool dialog = false) {
        record = std::make_unique<SetupRecord>();
        SetDefaults(*record);
        window = std::make_unique<ui::TKSR_SetUp>(*record, services, dir->path());
        connect(window.get(), &ui::TKSR_SetUp::statusChanged, this,
                [this](const QColor& c, const QString& text) { statuses << c.name() + text; });
        window->show();
        Find<QTabWidget>(w(), "SetUpPageControl")->setCurrentIndex(1);
        // Port 0: the operator picks the simulator's device in the selection dialog.
        Find<ui::SpinEdit>(w(), "ComSpinEdit")
            ->findChild<QLineEdit*>()
            ->setText(QStringLiteral("0"));
        if (!dialog)
            window->uploadPage()->port().setChooser(
                [device]() -> std::optional<QString> { return device; });
        window->uploadPage()->sessionOptions().answerTicks = 20;  // failures end in seconds
        statuses.clear();
    }
    void clickUpload() { QTest::mouseClick(Find(w(), "UpLoadPanel"), Qt::LeftButton); }
    bool idle() {
        return Find(w(), "UpLoadPanel")->isEnabled() && !Shown(w(), "EscapeUpLoadPanel") &&
               Shown(w(), "CloseUpLoadPanel") && Find(w(), "ComSpinEdit")->isEnabled() &&
               test::Text(w(), "UpLoadPanel") == QStringLiteral("UpLoad to KSR");
    }

  private slots:
    void init() {
        services.errors.clear();
        dir = std::make_unique<test::TempDir>();
        test::WriteBytes(*dir / "recorder.ini",
                         test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    void uploadToARecorderThatAnswersAtOnce() {
        Simulator sim(dir->path(), {});
        start(sim.device());
        // The window's own events go on through the whole upload, from the click's return (it
        // opens the port) to the end (which writes the log): its thread is never blocked (a
        // 10 ms timer is never late for a sleep or a wait), and the console's text shows while
        // the dialogue pauses. How late the timer came at worst, load included, is printed.
        EventLoopWatch ticker(this);
        bool promptShown = false;
        QTimer::singleShot(900, this, [&] {  // within the pause after "login:"
            for (int row = 0; row < window->uploadPage()->terminal()->rows(); ++row)
                promptShown = promptShown ||
                              window->uploadPage()->terminal()->rowText(row).contains("login:");
        });
        connect(&window->uploadPage()->driver(), &serial::UploadDriver::finished, this,
                [&ticker] { ticker.stop(); });
        const long long clicked = NowMs();
        clickUpload();
        ticker.start();
        QVERIFY(!Find(w(), "UpLoadPanel")->isEnabled());
        QCOMPARE(test::Text(w(), "UpLoadPanel"), QStringLiteral("Connecting ..."));
        QVERIFY(Shown(w(), "EscapeUpLoadPanel"));
        QVERIFY(!Shown(w(), "CloseUpLoadPanel"));
        QTRY_VERIFY_WITH_TIMEOUT(window->uploadPage()->kermitTimer().isActive(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 30000);
        QVERIFY(!ticker.active());
        qInfo("longest wait of a 10 ms timer during the upload: %lld ms, of it blocked: %lld ms",
              ticker.longestWaitMs(), ticker.longestBlockedMs());
        QVERIFY(ticker.timesKnown());
        QVERIFY2(ticker.longestBlockedMs() <= 50,
                 qPrintable(QString::number(ticker.longestBlockedMs())));
        QVERIFY(promptShown);
        QCOMPARE(window->statusColour(), ui::colour::Lime);
        QCOMPARE(
            window->statusText(),
            QStringLiteral(
                "  recorder.ini transmitted, check for message \"New Data File /data/... \" "));
        QVERIFY(test::ReadBytes(*dir / "rec" / "recorder.ini") ==
                test::ReadBytes(*dir / "recorder.ini"));

        // The bytes on the line and their timing.
        const long long etx = sim.first(true, "\\x03");
        const long long login = sim.first(false, "login:");
        const long long root = sim.first(true, "root\\x0D");
        const long long password = sim.first(false, "Password:");
        const long long kelp = sim.first(true, "kelp\\x0D");
        const long long cd = sim.first(true, "cd /usr/local/wexo\\x0D");
        const long long kermit = sim.first(true, "kermit -r\\x0D");
        const long long packet = sim.first(true, "\\x01", kermit);
        QVERIFY(etx > 0 && login > 0 && root > 0 && password > 0 && kelp > 0 && cd > 0 &&
                kermit > 0 && packet > 0);
        auto within = [](long long d, long long lo, long long hi) { return d >= lo && d <= hi; };
        QVERIFY2(within(etx - clicked, 180, 900), qPrintable(QString::number(etx - clicked)));
        QVERIFY2(within(root - login, 950, 1900), qPrintable(QString::number(root - login)));
        QVERIFY2(within(kelp - password, 90, 700), qPrintable(QString::number(kelp - password)));
        QVERIFY2(within(cd - kelp, 1950, 2900), qPrintable(QString::number(cd - kelp)));
        QVERIFY2(within(kermit - cd, 950, 1900), qPrintable(QString::number(kermit - cd)));
        QVERIFY2(within(packet - kermit, 950, 1900), qPrintable(QString::number(packet - kermit)));
        QTRY_COMPARE_WITH_TIMEOUT(sim.count(true, "/usr/local/wexo/reconfig\\x0D"), 1, 3000);
        QCOMPARE(sim.count(true, "\\x0D"), 1);

        // Status texts and colours in order.
        QStringList expected{QStringLiteral("#ff0000  waiting fo KSR... on %1 ")
                                 .arg(window->uploadPage()->port().openedDevice()),
                             QStringLiteral("#ffff00  connected to KSR... "),
                             QStringLiteral("#ff00ff  transmitting recorder.ini... ")};
        QVERIFY(statuses.size() > 3);
        for (int i = 0; i < expected.size(); ++i) QCOMPARE(statuses[i], expected[i]);
        QVERIFY(statuses.join('\n').contains(
            QStringLiteral("#ff00ff  transmitting recorder.ini... 3057 of 3057 bytes")));
        QVERIFY(statuses.back().startsWith(QStringLiteral("#00ff00  recorder.ini transmitted")));
        // The recorder's answer appears in the terminal view.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (int row = 0; row < window->uploadPage()->terminal()->rows(); ++row)
                    if (window->uploadPage()->terminal()->rowText(row).contains(
                            QStringLiteral("New Data File")))
                        return true;
                return false;
            }(),
            3000);
        QVERIFY(window->uploadPage()->port().isOpen());  // stays open for the operator

        // The upload is logged in the working folder, with the recorder's answer.
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(*dir / "uploads.log"), 5000);
        const std::string log = test::ReadBytes(*dir / "uploads.log");
        for (const char* member :
             {"\"program\": \"ksr-setup\"", "\"setup_name\": \"TIMED\"", "\"result\": \"success\"",
              "\"new_data_file\": \"New Data File /data/",
              "{\"name\": \"RECORDER.INI\", \"size\": 3057"})
            QVERIFY2(log.find(member) != std::string::npos, log.c_str());
        QVERIFY2(log.find(sim.device().toStdString()) != std::string::npos, log.c_str());
    }

    // "kermit -r" on a recorder is most likely C-Kermit, which drops what arrives while it gives
    // its terminal back: the return and the reconfigure command must still reach the shell.
    void bothReceiversGetOneReturnAndTheReconfigureCommand() {
        for (const char* receiver : {"gkermit", "ckermit"}) {
            dir = std::make_unique<test::TempDir>();
            test::WriteBytes(*dir / "recorder.ini",
                             test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
            Simulator sim(dir->path(),
                          {QStringLiteral("--receiver"), QString::fromLatin1(receiver)});
            start(sim.device());
            // With C-Kermit, the read-back the operator can ask for: cksum before reconfig.
            const bool verify = std::string(receiver) == "ckermit";
            Find<QCheckBox>(w(), "VerifyCheckBox")->setChecked(verify);
            clickUpload();
            QTRY_VERIFY_WITH_TIMEOUT(idle(), 30000);
            QCOMPARE(window->statusColour(), ui::colour::Lime);
            QVERIFY(test::ReadBytes(*dir / "rec" / "recorder.ini") ==
                    test::ReadBytes(*dir / "recorder.ini"));
            // The simulator's shell answered the command: it reached the shell.
            QTRY_VERIFY_WITH_TIMEOUT(sim.first(false, "New Data File") > 0, 3000);
            QCOMPARE(sim.count(true, "/usr/local/wexo/reconfig\\x0D"), 1);
            const long long cksum = sim.first(true, "cksum '/usr/local/wexo/recorder.ini'");
            QCOMPARE(cksum > 0, verify);
            if (verify) {
                QVERIFY(sim.place(true, "cksum '/usr/local/wexo/recorder.ini'") <
                        sim.place(true, "/usr/local/wexo/reconfig"));
                const std::string log = test::ReadBytes(*dir / "uploads.log");
                QVERIFY2(log.find("recorder.ini: ") != std::string::npos &&
                             log.find(" verified") != std::string::npos,
                         log.c_str());
                QVERIFY(statuses.contains(QStringLiteral(
                    "#00ff00  recorder.ini transmitted and verified (cksum matches), check for "
                    "New Data File ")));
            }
            window.reset();
        }
    }

    // A file that cannot be read, a name the recorder's shell would read as a command, and no
    // file at all: found before the port is opened, a failed transfer with nothing sent.
    void filesThatCannotGoAreAFailedTransferWithNothingSent() {
        const std::vector<std::pair<std::string, QString>> cases{
            {"gone", QStringLiteral("recorder.ini: cannot open file")},
            {"x;reboot.ini", QStringLiteral("x;reboot.ini is not sent")},
            {"", QStringLiteral("no \"*.ini\" file to send")},
        };
        for (const auto& [file, said] : cases) {
            services.errors.clear();
            std::filesystem::remove(*dir / "recorder.ini");
            if (file == "gone")
                std::filesystem::create_symlink(*dir / "gone.ini", *dir / "recorder.ini");
            else if (!file.empty())
                test::WriteBytes(*dir / file, "a=1\r\n");
            Simulator sim(dir->path(), {});
            start(sim.device());
            clickUpload();
            QCOMPARE(services.errors.size(), 1);
            QVERIFY2(services.errors.front().contains(said), qPrintable(services.errors.front()));
            QCOMPARE(window->statusText(), QStringLiteral("  recorder.ini : Transfer failed "));
            QCOMPARE(window->statusColour(), ui::colour::Red);
            QVERIFY(idle());
            QTest::qWait(1500);  // the timer would have reported by now
            QCOMPARE(window->statusColour(), ui::colour::Red);
            QCOMPARE(sim.countContaining(true, ""), 0);  // not a byte, not even Ctrl-C
            if (!file.empty() && file != "gone") std::filesystem::remove(*dir / file);
        }
    }

    // Escape while the dialogue waits for "login:", and "UpLoad to KSR" again at once: the new
    // dialogue runs inside the escaped one's wait; the escaped one must never send again.
    void escapeThenAQuickNewUploadRunsOneDialogueOnly() {
        Simulator sim(dir->path(), {QStringLiteral("--ignore-wakeups"), QStringLiteral("1")});
        start(sim.device());
        QTimer::singleShot(1200, this, [this] {
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        QTimer::singleShot(1400, this, [this] { clickUpload(); });
        clickUpload();
        QTRY_COMPARE_WITH_TIMEOUT(sim.count(true, "/usr/local/wexo/reconfig\\x0D"), 1, 40000);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !window->uploadPage()->driver().running(), 10000);
        QTest::qWait(3000);  // anything the escaped dialogue would still send
        QCOMPARE(sim.countContaining(true, "\\x03"), 2);
        QCOMPARE(sim.count(true, "root\\x0D"), 1);
        QCOMPARE(sim.count(true, "kermit -r\\x0D"), 1);
        QCOMPARE(sim.count(true, "/usr/local/wexo/reconfig\\x0D"), 1);
        QCOMPARE(sim.count(true, "logout\\x0D"), 0);
        QVERIFY(test::ReadBytes(*dir / "rec" / "recorder.ini") ==
                test::ReadBytes(*dir / "recorder.ini"));
    }

    // The operator types into the focused field and clicks: the number as typed is used.
    void aComNumberTypedIsUsedAsTypedAlsoAfterLeavingTheField() {
        Simulator sim(dir->path(), {QStringLiteral("--no-login")});
        for (const char* typed : {"0", "9"}) {
            start(sim.device());
            bool asked = false;
            window->uploadPage()->port().setChooser([&]() -> std::optional<QString> {
                asked = true;
                return sim.device();
            });
            auto* edit = Find<ui::SpinEdit>(w(), "ComSpinEdit")->findChild<QLineEdit*>();
            window->activateWindow();
            edit->setFocus();
            QTRY_VERIFY(edit->hasFocus());
            edit->selectAll();
            QTest::keyClicks(edit, QString::fromLatin1(typed));
            if (typed[0] == '0') {
                // Leaving the field keeps the digit: "Select Port" is reached from the keyboard.
                QTest::keyClick(edit, Qt::Key_Tab);
                QTRY_VERIFY(!edit->hasFocus());
                QCOMPARE(edit->text(), QStringLiteral("0"));
            }
            QTimer::singleShot(1200, this, [this] {
                QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
            });
            clickUpload();
            QVERIFY2(asked, typed);  // no port has these numbers here: the operator is asked
            QCOMPARE(window->uploadPage()->port().portNumber(), QString::fromLatin1(typed).toInt());
            QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
            window.reset();
        }
    }

    // Progress must not overwrite what another part of the window says meanwhile.
    void progressLeavesOtherMessagesStanding() {
        Simulator sim(dir->path(), {QStringLiteral("--dead-receiver")});
        start(sim.device());
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(window->uploadPage()->driver().session()->inTransfer(), 10000);
        QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        clickUpload();  // refused while the transfer runs on
        const QString busy = QStringLiteral("  previous transfer still running, wait for its end ");
        QCOMPARE(window->statusText(), busy);
        QTest::qWait(2500);  // resends go out meanwhile, each a progress event
        QCOMPARE(window->statusText(), busy);
        QTRY_COMPARE_WITH_TIMEOUT(window->statusText(),
                                  QStringLiteral("  recorder.ini : Transfer failed "), 40000);
    }

    void loginPromptInCapitalsIsAccepted() {
        Simulator sim(dir->path(), {QStringLiteral("--caps")});
        start(sim.device());
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 30000);
        QCOMPARE(window->statusColour(), ui::colour::Lime);
    }

    // The recorder's refusal ends the upload at once: the failure status, a message naming the
    // login, a log line, and nothing typed into the login prompt that follows.
    void wrongPasswordEndsAsAFailedTransferWithNothingAfterIt() {
        Simulator sim(dir->path(), {QStringLiteral("--wrong-password")});
        start(sim.device());
        const qint64 started = NowMs();
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 40000);
        QVERIFY(NowMs() - started < 10000);
        QCOMPARE(window->statusText(), QStringLiteral("  recorder.ini : Transfer failed "));
        QCOMPARE(window->statusColour(), ui::colour::Red);
        QVERIFY(!statuses.contains(ui::colour::Magenta.name() +
                                   QString::fromLatin1(upload::TransmittingText)));
        QCOMPARE(services.errors.size(), 1);
        QVERIFY2(services.errors.front().contains(QStringLiteral("refused the login as root")),
                 qPrintable(services.errors.front()));
        QTest::qWait(500);
        QCOMPARE(sim.countContaining(true, "cd /usr/local/wexo"), 0);
        QCOMPARE(sim.countContaining(true, "kermit"), 0);
        QCOMPARE(sim.count(true, "/usr/local/wexo/reconfig\\x0D"), 0);
        QCOMPARE(sim.count(true, "\\x0D"), 0);
        QVERIFY(test::ReadBytes(*dir / "uploads.log").find("refused the login as root") !=
                std::string::npos);
    }

    void escapeWhileWaitingForLoginThenANewDialogue() {
        Simulator sim(dir->path(), {QStringLiteral("--no-login")});
        start(sim.device());
        QTimer::singleShot(1200, this, [this] {
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QVERIFY(!window->uploadPage()->kermitTimer().isActive());
        QCOMPARE(sim.countContaining(true, "\\x03"), 1);
        QTimer::singleShot(1200, this, [this] {
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QCOMPARE(test::Text(w(), "ComSpinEdit"),
                 QStringLiteral("0"));  // the typed number stays as typed
        QCOMPARE(sim.countContaining(true, "\\x03"),
                 2);  // a whole new dialogue: the console woken again
    }

    // A line where nothing answers: the status says so, also after Escape, never "connected".
    void nothingAnsweringIsNoAnswerNotConnected() {
        Simulator sim(dir->path(), {QStringLiteral("--no-login")});
        start(sim.device());
        QTimer::singleShot(3600, this, [this] {  // after the first wait for "login:" ran out
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 6000);
        QVERIFY(statuses.contains(QStringLiteral("#ff0000") + upload::NoAnswerText));
        QVERIFY(!statuses.join('\n').contains(QStringLiteral("connected")));
        QCOMPARE(window->statusText(), QStringLiteral("  no answer from KSR on %1: nothing sent ")
                                           .arg(window->uploadPage()->port().openedDevice()));
    }

    // Escape in the 2000 ms pause after the password: the dialogue ends at the click, and
    // nothing more goes to the recorder.
    void escapeDuringAPauseEndsTheDialogueAtOnce() {
        Simulator sim(dir->path(), {});
        start(sim.device());
        // The click itself ends it: the page is idle when the click returns, not at the pause's
        // end.
        long long escaped = 0;
        bool idleAtOnce = false;
        QTimer::singleShot(1800, this, [&] {
            escaped = NowMs();
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
            idleAtOnce = idle() && !window->uploadPage()->driver().running();
        });
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(escaped > 0, 5000);
        QVERIFY(idleAtOnce);
        QTest::qWait(3000);
        const long long kelp = sim.first(true, "kelp\\x0D");
        QVERIFY(kelp > 0 && kelp < escaped);  // in the pause after the password
        QCOMPARE(sim.countContaining(true, "cd /usr/local/wexo"), 0);
        QCOMPARE(sim.countContaining(true, "kermit"), 0);
        const std::string log = test::ReadBytes(*dir / "uploads.log");
        QVERIFY2(log.find("\"result\": \"escaped\", \"error\": \"escaped before the transfer\"") !=
                     std::string::npos,
                 log.c_str());
    }

    void escapeAfterTheTransferStartedStillReportsTheResult() {
        Simulator sim(dir->path(), {QStringLiteral("--dead-receiver")});
        start(sim.device());
        clickUpload();
        QTRY_VERIFY_WITH_TIMEOUT(window->uploadPage()->driver().session()->inTransfer(), 10000);
        QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        QVERIFY(idle());
        // A new upload while the transfer runs on is refused.
        clickUpload();
        QCOMPARE(window->statusText(),
                 QStringLiteral("  previous transfer still running, wait for its end "));
        QVERIFY(idle());
        QTRY_COMPARE_WITH_TIMEOUT(window->statusText(),
                                  QStringLiteral("  recorder.ini : Transfer failed "), 40000);
    }

    void portNumberZeroOpensTheSelectionDialog() {
        Simulator sim(dir->path(), {QStringLiteral("--no-login")});
        start(sim.device(), true);
        bool offered = false;
        QTimer::singleShot(300, this, [&] {
            auto* form = qobject_cast<ui::TComSelectForm*>(QApplication::activeModalWidget());
            if (!form) return;
            offered = form->windowTitle() == QStringLiteral("Select Port");
            form->portsComboBox()->setEditText(sim.device());
            form->accept();
        });
        QTimer::singleShot(1500, this, [this] {
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        clickUpload();
        QVERIFY(offered);
        QVERIFY(sim.device().endsWith(window->uploadPage()->port().openedDevice()));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QCOMPARE(test::Text(w(), "ComDeviceLabel"),
                 QStringLiteral("port: ") + window->uploadPage()->port().openedDevice());
        // COM 0 again: asked again (the cable may have moved), the last device offered first.
        offered = false;
        QString offeredFirst;
        QTimer::singleShot(300, this, [&] {
            auto* form = qobject_cast<ui::TComSelectForm*>(QApplication::activeModalWidget());
            if (!form) return;
            offered = true;
            offeredFirst = form->chosenDevice();
            form->accept();
        });
        QTimer::singleShot(1500, this, [this] {
            QTest::mouseClick(Find(w(), "EscapeUpLoadPanel"), Qt::LeftButton);
        });
        clickUpload();
        QVERIFY(offered);
        QVERIFY2(sim.device().endsWith(offeredFirst), qPrintable(offeredFirst));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
    }

    void aPortThatWillNotOpenShowsItsMessageAndTheIdlePage() {
        start(QStringLiteral("/dev/ttyNOSUCH7"));
        clickUpload();
        QCOMPARE(services.errors.size(), 1);
        QVERIFY(services.errors.front().contains(QStringLiteral("/dev/ttyNOSUCH7")));
        QVERIFY(idle());
        // Logged as a failed upload, with the port's reason.
        const std::string log = test::ReadBytes(*dir / "uploads.log");
        QVERIFY2(log.find("\"result\": \"failed\", \"error\": \"") != std::string::npos &&
                     log.find("/dev/ttyNOSUCH7") != std::string::npos,
                 log.c_str());
        // No longer claims to be waiting for the recorder.
        QVERIFY(!window->statusText().contains(QStringLiteral("waiting")));
    }

    // "Read from KSR": the recorder's file in the memo, what differs from the local one marked,
    // and nothing changed on the recorder or here.
    void readFromKsrShowsTheRecordersFileWithTheDifferencesMarked() {
        const std::string local = test::ReadBytes(*dir / "recorder.ini");
        std::string running = local;
        running.replace(running.find("serial_number=0000"), 18, "serial_number=0417");
        running.replace(running.find("tm=10122026 0630 720 1440"), 25, "tm=11122026 0630 720 1440");
        test::WriteBytes(*dir / "running.ini", running);
        Simulator sim(dir->path(), {QStringLiteral("--current"),
                                    QString::fromStdString((*dir / "running.ini").string())});
        start(sim.device());
        auto* memo = Find<QPlainTextEdit>(w(), "IniFileMemo");
        QTest::mouseClick(Find(w(), "ReadFromKsrPanel"), Qt::LeftButton);
        // What does nothing during the read looks so: silver and disabled.
        QVERIFY(!Find(w(), "UpLoadPanel")->isEnabled());
        QCOMPARE(Find(w(), "UpLoadPanel")->palette().color(QPalette::Window), ui::colour::Silver);
        QVERIFY(!Find(w(), "VerifyCheckBox")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(idle() && Find(w(), "ReadFromKsrPanel")->isEnabled(), 30000);
        QVERIFY(Find(w(), "VerifyCheckBox")->isEnabled());
        // The line above the memo says whose file it shows; the first difference is in view.
        QCOMPARE(test::Text(w(), "NextUploadLabel"),
                 QStringLiteral("recorder.ini of KSR, read ") +
                     ui::TKSR_SetUp::TimeText(services.now().time()));
        QCOMPARE(memo->textCursor().block().text(), QStringLiteral("serial_number=0417"));
        QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join('\n')));
        QStringList lines;
        for (const std::string& line : SplitLines(running)) lines << QString::fromLatin1(line);
        QCOMPARE(memo->toPlainText(), lines.join(QLatin1Char('\n')));
        QStringList marked;
        for (const auto& mark : memo->extraSelections()) marked << mark.cursor.block().text();
        QCOMPARE(marked, (QStringList{QStringLiteral("serial_number=0417"),
                                      QStringLiteral("tm=11122026 0630 720 1440")}));
        QVERIFY2(window->statusText().contains(QStringLiteral("2 lines differ")),
                 qPrintable(window->statusText()));
        QVERIFY(test::ReadBytes(*dir / "recorder.ini") == local);
        QCOMPARE(sim.countContaining(true, "kermit -r"), 0);
        QCOMPARE(sim.countContaining(true, "reconfig"), 0);

        test::WriteBytes(*dir / "running.ini", local);
        QTest::mouseClick(Find(w(), "ReadFromKsrPanel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->statusText().contains(QStringLiteral("runs the local")),
                                 30000);
        QVERIFY(memo->extraSelections().isEmpty());
    }
};

QTEST_MAIN(UploadPageTest)
#include "upload_page_test.moc"
