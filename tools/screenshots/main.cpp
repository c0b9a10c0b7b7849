// Saves pictures of the window for the README: at start, while editing a new set-up, and with
// an opened set-up locked. Run by scripts/screenshots.sh under a virtual display.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QMenu>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "setup/SetupRecord.h"
#include "ui/TKSR_SetUp.h"

namespace {

void Save(QWidget& window, const QString& folder, const QString& name) {
    QApplication::processEvents();
    window.grab().save(folder + QLatin1Char('/') + name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        fprintf(stderr, "usage: ksr-screenshots DATA_DIR OUT_DIR [SIMULATOR]\n");
        return 2;
    }
    const std::filesystem::path data = args[1].toStdString();
    const QString out = args[2];
    QDir().mkpath(out);
    const auto work = std::filesystem::temp_directory_path() / "ksr-screenshots";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    std::filesystem::copy(data / "recorder.000", work);
    for (const auto& e : std::filesystem::directory_iterator(data / "examples"))
        std::filesystem::copy(e.path(), work);

    ksr::ui::WindowServices services;
    ksr::SetupRecord record;
    // A window at start, or with the sample set-up of list row `row` opened.
    auto fresh = [&](int row = -1) {
        ksr::SetDefaults(record);
        auto window = std::make_unique<ksr::ui::TKSR_SetUp>(record, services, work);
        window->show();
        if (row >= 0) {
            window->findChild<QListWidget*>(QStringLiteral("SetUpFileBox"))->setCurrentRow(row);
            window->SetUpFileBoxDblClick();
        }
        return window;
    };
    {
        auto owner = fresh();
        ksr::ui::TKSR_SetUp& window = *owner;
        Save(window, out, QStringLiteral("window-start.png"));
        window.NewSetUpPanelClick();
        auto* diff = window.findChild<QWidget*>(QStringLiteral("DiffRateButton"));
        QTest::mouseClick(diff, Qt::LeftButton);
        Save(window, out, QStringLiteral("window-editing.png"));
    }
    {
        auto owner = fresh(1);
        ksr::ui::TKSR_SetUp& window = *owner;
        window.UnLockPanelClick();
        Save(window, out, QStringLiteral("window-timed.png"));
        window.findChild<QTabWidget*>(QStringLiteral("SetUpPageControl"))->setCurrentIndex(2);
        Save(window, out, QStringLiteral("window-power.png"));
    }
    {
        auto owner = fresh(0);
        Save(*owner, out, QStringLiteral("window-locked.png"));
    }
    if (args.size() == 4) {
        // An upload to the recorder simulator, seen on the upload page.
        QProcess simulator;
        simulator.start(args[3],
                        {QStringLiteral("--dir"), QString::fromStdString(work.string()) + "/rec"});
        std::filesystem::create_directories(work / "rec");
        simulator.waitForReadyRead(5000);
        const QString device = QString::fromLocal8Bit(simulator.readLine()).trimmed();
        auto owner = fresh(1);
        ksr::ui::TKSR_SetUp& window = *owner;
        window.UnLockPanelClick();
        window.CloseSetUpPanelClick();
        window.findChild<QMenu*>(QStringLiteral("CloseMenu"))->hide();
        window.SaveSetUpClick();
        window.OverWriteButtonClick();
        window.BuildIniYesButtonClick();
        window.IniChangedOKButtonClick();
        window.uploadPage()->port().setChooser(
            [device]() -> std::optional<QString> { return device; });
        window.findChild<QWidget*>(QStringLiteral("ComSpinEdit"))
            ->findChild<QLineEdit*>()
            ->setText(QStringLiteral("0"));
        window.uploadPage()->UpLoadPanelClick();
        for (int i = 0; i < 300 && window.uploadPage()->driver().running(); ++i)
            QTest::qWait(100);
        QTest::qWait(500);
        Save(window, out, QStringLiteral("window-upload.png"));
        simulator.kill();
        simulator.waitForFinished();
    }
    {
        // A desktop with a dark theme and an 11 pt font: the window must look the same.
        QPalette dark;
        for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
            dark.setColor(role, QColor(0x20, 0x20, 0x20));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, QColor(0xEE, 0xEE, 0xEE));
        QApplication::setPalette(dark);
        QFont big = QApplication::font();
        big.setPointSize(11);
        QApplication::setFont(big);
        auto owner = fresh(1);
        owner->UnLockPanelClick();
        Save(*owner, out, QStringLiteral("window-dark-desktop.png"));
    }
    std::filesystem::remove_all(work);
    return 0;
}
