// The workflow around one set-up: new or open, unlock, finish, save with the name clash dialog,
// build recorder.ini, the end sequence and the close question.

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>

#include "setup/FileIo.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "ui/DataFolders.h"
#include "ui/TKSR_SetUp.h"

namespace ksr::ui {
namespace {

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace

QString TKSR_SetUp::DateText(const QDate& date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(MonthNames[date.month()]))
        .arg(date.year());
}

QString TKSR_SetUp::TimeText(const QTime& time) {
    return time.toString(QStringLiteral("hh:mm"));
}

void TKSR_SetUp::FormCreate() {
    setStatus(QColor(), QString());
}

void TKSR_SetUp::NewSetUpPanelClick() {
    setWindowTitle(QStringLiteral("Varnix Logger SetUp     Default"));
    setupOpen_ = true;
    const QDateTime now = services_.now();
    record_.CurrentYear = static_cast<std::uint16_t>(now.date().year());
    SetDefaults(record_);
    setUpName_->setText(QStringLiteral("NoName"));
    closeSetUpPanel_->setText(QStringLiteral("Finish"));
    record_.SetupName = Bytes(setUpName_->text());
    caliWinBox_->setStartDates(now.date());
    recordWinBox_->setStartDates(now.date());
    record_.SetupDate = Bytes(DateText(now.date()));
    record_.SetupTime = Bytes(TimeText(now.time()));
    setUpDateLabel_->setText(Latin1Text(record_.SetupDate));
    SETUP_ENTRY();
    SHOW_BOXES();
    ENABLE_BOXES();
    ShowNextUpload();
}

void TKSR_SetUp::SetUpFileBoxDblClick() {
    QListWidgetItem* item = setUpFileBox_->currentItem();
    if (!item || !item->isSelected()) return;  // nothing chosen: nothing to open
    const std::string file = item->data(Qt::UserRole).toByteArray().toStdString();
    (void)SetupNameForBuild(file);  // a name recorder.ini cannot carry is refused before loading
    setWindowTitle(QStringLiteral("Varnix Logger SetUp     ") +
                   QString::fromLocal8Bit(file.c_str()));
    ReadSetupFile(record_, file);
    setupOpen_ = true;
    record_.SetupName = SetupNameFromPath(file);
    setUpName_->setText(Latin1Text(record_.SetupName));
    setUpDateLabel_->setText(Latin1Text(record_.SetupDate + "   " + record_.SetupTime + " UTC"));
    SETUP_ENTRY();
    SHOW_BOXES();
    // Locked, nothing is saved: a lowest temperature set now would go nowhere.
    temperatureBox_->setEnabled(false);
    unLockPanel_->show();
    ShowNextUpload();
    setStatus(colour::Yellow, QStringLiteral("  !! To enable Edit --> Hit UnLock !!"));
    repaint();
}

void TKSR_SetUp::UnLockPanelClick() {
    ENABLE_BOXES();
    unLockPanel_->hide();
    closeSetUpPanel_->setText(QStringLiteral("Finish"));
    setStatus(QColor(), QString());
}

void TKSR_SetUp::setSaved(bool saved) {
    record_.SetupSaved = saved ? 1 : 0;
    if (!saved) return;
    savedRecord_ = record_;
    savedTemperature_ = lowestTemperature();
}

void TKSR_SetUp::noteEditsSinceSave() {
    // An edit after a save makes the set-up unsaved again: "Finish" and closing must not drop it.
    if (record_.SetupSaved == 1 && savedRecord_ &&
        (record_ != *savedRecord_ || lowestTemperature() != savedTemperature_))
        setSaved(false);
}

void TKSR_SetUp::CloseSetUpPanelClick() {
    CheckSrate();
    noteEditsSinceSave();
    if (record_.SetupSaved == 1) {
        services_.beep();
        services_.endProgram();
        return;
    }
    closeSetUpPanel_->setColour(colour::Silver);
    // 60 px left of the panel, under it; but never past the window's right edge.
    QPoint at = closeSetUpPanel_->mapToGlobal(QPoint(-60, closeSetUpPanel_->height()));
    const int right = mapToGlobal(QPoint(width(), 0)).x();
    at.setX(std::min(at.x(), right - closeMenu_->sizeHint().width()));
    closeMenu_->popup(at);
}

void TKSR_SetUp::SaveSetUpClick() {
    setUpName_->setText(Latin1Text(record_.SetupName));
    SAVE_SETUP();
}

void TKSR_SetUp::SaveSetUpasClick() {
    naming_ = true;
    setUpNameEdit_->show();
    setUpNameEdit_->setFocus();
    setStatus(colour::Yellow,
              QStringLiteral("  Type the new set-up name (letters and digits, at most 8), then "
                             "Enter "));
}

void TKSR_SetUp::EXITwithoutSaving1Click() {
    exitBox_->show();
    exitBox_->raise();
    exitNoButton_->setFocus();
}

bool TKSR_SetUp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && event->type() == QEvent::Paint && !pagesAsked_) {
        // The first frame is on the screen: the other pages follow at once.
        pagesAsked_ = true;
        QTimer::singleShot(0, this, [this] {
            guarded([this] {
                uploadPage();
                powerPage();
            });
        });
    }
    if (watched == setUpFileBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {  // opens, as a double-click does
            guarded([this] { SetUpFileBoxDblClick(); });
            return true;
        }
    }
    if (watched == setUpNameEdit_ && naming_) {
        if (event->type() == QEvent::FocusOut) {
            // Leaving the field finishes the name; the window losing the focus or a popup does not.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                !closing_)
                guarded([this] { SetUpNameEditExit(); });
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            guarded([this] { SetUpNameEditDblClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TKSR_SetUp::SetUpNameEditExit() {
    if (!naming_) return;  // one naming saves once, however it is finished
    naming_ = false;
    const QDateTime now = services_.now();
    record_.SetupDate = Bytes(DateText(now.date()));
    record_.SetupTime = Bytes(TimeText(now.time()));
    setUpDateLabel_->setText(Latin1Text(record_.SetupDate + " " + record_.SetupTime + " UTC"));
    const std::string typed = Bytes(setUpNameEdit_->text());
    setUpNameEdit_->hide();
    const std::string kept = SetupNameCharacters(typed);
    if (!kept.empty()) record_.SetupName = kept;
    setUpName_->setText(Latin1Text(record_.SetupName.str() + ".set"));
    SAVE_SETUP();
    repaint();
}

void TKSR_SetUp::SAVE_SETUP() {
    setupFileName_ = fmt::Cut(record_.SetupName.str() + ".set", SetupFileNameCapacity);
    if (std::filesystem::exists(workDir_ / setupFileName_)) {
        renamePanel_->show();
        renamePanel_->raise();
        renameText_->setText(QStringLiteral("another file \"") + Latin1Text(setupFileName_) +
                             QStringLiteral("\" exists"));
        renameButton_->setFocus();
        return;
    }
    writeSetUp(setupFileName_);
    showSaved();
}

void TKSR_SetUp::writeSetUp(const std::string& fileName) {
    SaveSetupFiles(record_, workDir_ / fileName, LowestTemperatureText(lowestTemperature()));
}

// The message names the file as it was written (the record's name is in capitals by now), and
// the title the file the set-up now lives in.
void TKSR_SetUp::showSaved() {
    const QString savedText =
        QStringLiteral("SetUp  \"") + Latin1Text(setupFileName_) + QStringLiteral("\"  saved");
    setWindowTitle(
        QStringLiteral("Varnix Logger SetUp     ") +
        QString::fromStdString(std::filesystem::absolute(workDir_ / setupFileName_).string()));
    setSaved(true);
    savedBox_->show();
    savedBox_->raise();
    savedText_->setText(savedText);
    ShowNextUpload();
    setStatus(colour::Lime, QStringLiteral("  ") + savedText);
    buildIniNoButton_->setFocus();
}

void TKSR_SetUp::OverWriteButtonClick() {
    renamePanel_->hide();
    writeSetUp(setupFileName_);
    showSaved();
}

void TKSR_SetUp::RenameButtonClick() {
    renamePanel_->hide();
    SaveSetUpasClick();
}

void TKSR_SetUp::BuildIniYesButtonClick() {
    try {
        ini_.BuildRecorderIni(record_);
    } catch (const KsrError& e) {
        // The question stays, so that the operator can fix the cause and answer YES again.
        if (e.file().size() >= 12 &&
            e.file().compare(e.file().size() - 12, 12, TemplateFileName) == 0)
            throw KsrError(e.message() +
                               ".\n\nrecorder.000 is the recorder's configuration "
                               "template that recorder.ini is built from. Copy it into " +
                               workDir_.string() + " (the installed copy is " +
                               (InstalledDataDir() / TemplateFileName).string() +
                               "), then answer YES again.",
                           e.file(), e.line());
        throw;
    }
    savedBox_->hide();
    renamePanel_->hide();
    SetUpPageControlEnter();  // the upload page shows the recorder.ini just built
    pages_->setTabText(1, QStringLiteral("UpLoad \"") + Latin1Text(record_.SetupName) +
                              QStringLiteral("\" SetUp"));
    iniBuiltPanel_->show();
    iniBuiltPanel_->raise();
    setStatus(QColor(), QStringLiteral(" "));
}

void TKSR_SetUp::IniChangedOKButtonClick() {
    pages_->setCurrentIndex(1);
    setStatus(colour::Yellow, QStringLiteral("  Check Com Port No. "));
    iniBuiltPanel_->hide();
    uploadPage()->enablePortNumber();
    LONG_SIZE();
}

void TKSR_SetUp::ExitNoButtonClick() {
    exitBox_->hide();
}

void TKSR_SetUp::EndSequence() {
    if (uploadPage_) uploadPage_->port().close();
    services_.beep();
    services_.sleepMs(200);
    services_.beep();
    services_.sleepMs(200);
    services_.endProgram();
}

bool TKSR_SetUp::FormCloseQuery() {
    noteEditsSinceSave();
    if (record_.SetupSaved == 1) return true;
    exitBox_->show();
    exitBox_->raise();
    // The question takes the focus from an open name field: that is no operator leaving the
    // field, so it must not finish (and save) the half-typed name.
    closing_ = true;
    exitNoButton_->setFocus();
    closing_ = false;
    return false;
}

// The memo shows the folder's recorder.ini, exactly its lines (nothing of a file shown before),
// or nothing when there is none.
void TKSR_SetUp::SetUpPageControlEnter() {
    if (!uploadPage_) return;              // the upload page shows the file when it is made
    iniFileMemo_->setExtraSelections({});  // the marks of a read from the recorder
    memoShowsRecorder_ = false;
    ini_.ClearLines();
    localIni_ = std::filesystem::exists(workDir_ / RecorderIniFileName);
    if (localIni_) ini_.LoadRecorderIni();
    ShowNextUpload();
    QStringList lines;
    for (int i = 1; i <= ini_.IniLineCount; ++i) lines << Latin1Text(ini_.IniLines[i]);
    iniFileMemo_->setPlainText(lines.join(QLatin1Char('\n')));
}

void TKSR_SetUp::CheckSrate() {
    CheckSampleRates(record_);
    srateBox_->ShowGains();
    recordSetBox_->fileLength()->setValue(record_.RecordParams[FileLength]);
    repaint();
}

void TKSR_SetUp::SETUP_ENTRY() {
    srateBox_->ShowRecord();  // rates, gains, three or six channels, similar or different
    auxChannelBox_->ShowRecord();
    recordSetBox_->ShowRecordMode();
    sizeForRecordMode();
    recordSetBox_->ShowFileAndFormat();
    gpsBox_->ShowRecord();
    calibratBox_->ShowRecord();
    caliWinBox_->ShowRecord();
    recordWinBox_->ShowRecord();
}

}  // namespace ksr::ui
