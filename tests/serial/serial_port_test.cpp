// The serial port, terminal view and upload driver over pseudo-terminals.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "TestSupport.h"
#include "app/SimulatorProcess.h"
#include "serial/PortList.h"
#include "serial/Ports.h"
#include "serial/SerialPort.h"
#include "serial/UploadDriver.h"

using namespace ksr;

namespace {

// A pseudo-terminal whose slave the port opens; the test plays the device on the master.
struct Pty {
    int master = -1, slave = -1;
    QString path;
    Pty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        openpty(&master, &slave, name, &raw, nullptr);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty() {
        if (master >= 0) close(master);
        close(slave);
    }
    void write(const QByteArray& bytes) const {
        QVERIFY(::write(master, bytes.constData(), bytes.size()) == bytes.size());
    }
    QByteArray read(int ms = 500) const {
        QByteArray got;
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, ms) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, n);
            ms = 100;
        }
        return got;
    }
};

}  // namespace

class SerialPortTest : public QObject {
    Q_OBJECT

  private slots:
    void putStringSendsEveryByteUnchanged() {
        Pty pty;
        serial::SerialPort port;
        port.setDevice(pty.path);
        port.open();
        QByteArray all;
        for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
        port.PutString(all);
        QTRY_VERIFY(true);
        QCoreApplication::processEvents();
        QCOMPARE(pty.read(), all);
        QVERIFY(port.ClearToSend());  // no modem lines on a pseudo-terminal: clear to send
    }

    // What the recorder printed before the dialogue's flush is no prompt: the port drops it.
    void theDriverFlushesWhatCameBeforeTheDialogue() {
        Pty pty;
        serial::SerialPort port;
        port.setDevice(pty.path);
        serial::UploadDriver driver(port);
        driver.start(std::make_unique<upload::UploadSession>(
            std::vector<kermit::SendFile>{{"RECORDER.INI", "a=1\r\n"}}));
        pty.write("ksr login: ");  // before the flush at 200 ms
        QTest::qWait(1600);        // "root" would follow at 1400 ms
        QCOMPARE(pty.read(100), QByteArray("\x03"));
        QVERIFY(driver.running());
    }

    void openErrorsSayWhatToDo() {
        serial::SerialPort port;
        port.setDevice(QStringLiteral("/dev/ttyNOSUCH9"));
        try {
            port.open();
            QFAIL("no error");
        } catch (const serial::SerialError& e) {
            QVERIFY2(
                QString::fromStdString(e.message()).contains(QStringLiteral("/dev/ttyNOSUCH9")),
                e.what());
        }
        const std::string denied = serial::OpenFailureText(serial::OpenFailure::NoPermission,
                                                           "Permission denied", "/dev/ttyUSB0");
        QVERIFY(denied.find("/dev/ttyUSB0") != std::string::npos);
        QVERIFY(denied.find("dialout") != std::string::npos);
        QVERIFY(denied.find("log in again") != std::string::npos);
        // A port another program holds (the window and ksr-config lock it alike).
        Pty pty;
        serial::SerialLine other;
        other.open(pty.path.toStdString());
        port.setDevice(pty.path);
        try {
            port.open();
            QFAIL("no error");
        } catch (const serial::SerialError& e) {
            QVERIFY2(std::string(e.what()).find("in use") != std::string::npos, e.what());
        }
    }

    // The far end gone (the adapter pulled, the recorder's side closed): the session ends at
    // once, naming the device, and the port is let go.
    void aLineThatIsGoneEndsTheSessionAtOnce() {
        auto pty = std::make_unique<Pty>();
        const QString device = pty->path;
        serial::SerialPort port;
        port.setDevice(device);
        serial::UploadDriver driver(port);
        QSignalSpy finished(&driver, &serial::UploadDriver::finished);
        driver.start(std::make_unique<upload::UploadSession>(
            std::vector<kermit::SendFile>{{"RECORDER.INI", "a=1\r\n"}}));
        QTest::qWait(500);
        ::close(pty->master);
        pty->master = -1;
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 5000);
        QVERIFY(driver.session()->lineLost());
        QCOMPARE(driver.session()->record().resultText(), std::string("failed"));
        QVERIFY2(driver.session()->record().error.find(device.toStdString()) != std::string::npos,
                 driver.session()->record().error.c_str());
        QVERIFY(!port.isOpen());
    }

    void portNumberZeroAsksForAPortAndCancelFails() {
        serial::SerialPort port;
        port.setPortNumber(0);
        int asked = 0;
        port.setChooser([&]() -> std::optional<QString> {
            ++asked;
            return std::nullopt;
        });
        QVERIFY_THROWS_EXCEPTION(serial::SerialError, port.open());
        QCOMPARE(asked, 1);
        Pty pty;
        port.setChooser([&]() -> std::optional<QString> { return pty.path; });
        port.open();
        QVERIFY(port.isOpen());
    }

    void portsAreNumberedInAStableOrder() {
        const std::vector<std::string> ordered =
            serial::NumberingOrder({"/dev/ttyS1", "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyACM0",
                                    "/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS2"});
        QCOMPARE(ordered, std::vector<std::string>({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0",
                                                    "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2",
                                                    "/dev/ttyS10"}));
    }

    // The whole upload on events: the file arrives byte for byte, and the console's text (the
    // terminal's) holds none of the transfer's packets.
    void anUploadThroughTheDriverToTheSimulator() {
        test::TempDir dir;
        const std::string bytes = test::ReadBytes(test::ShippedData("recorder.000")) + "\xB0\xB5";
        test::SimulatorProcess sim(dir.path(), "--receiver gkermit");
        serial::SerialPort port;
        port.setDevice(QString::fromStdString(sim.device()));
        QByteArray console;
        connect(&port, &serial::SerialPort::received, [&](const QByteArray& b) { console += b; });
        serial::UploadDriver driver(port);
        QSignalSpy finished(&driver, &serial::UploadDriver::finished);
        int progress = 0;
        connect(&driver, &serial::UploadDriver::progress, [&] { ++progress; });
        driver.start(std::make_unique<upload::UploadSession>(
            std::vector<kermit::SendFile>{{"RECORDER.INI", bytes}}));
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 60000);
        QCOMPARE(driver.session()->record().resultText(), std::string("success"));
        QCOMPARE(driver.session()->sender().bytesDone(), bytes.size());
        QVERIFY(progress > 1);
        QVERIFY(test::ReadBytes(dir / "rec" / "recorder.ini") == bytes);
        QVERIFY(console.contains("login:"));
        QVERIFY(console.contains("New Data File"));
        QVERIFY(!console.contains('\x01'));
    }
};

QTEST_MAIN(SerialPortTest)
#include "serial_port_test.moc"
