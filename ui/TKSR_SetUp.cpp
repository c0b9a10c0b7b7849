// The main window's construction: pages, controls at their design places, the status bar and
// the window heights.

#include "ui/TKSR_SetUp.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "setup/Errors.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "ui/HelpWindow.h"
#include "ui/Look.h"
#include "ui/Tooltips.h"

namespace ksr::ui {
namespace {

const char* const kStartTitle =
    " Varnix Logger SetUp  ( V 2.24 ff )                    Ver. 26-JUL-2013";

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    return b;
}

QWidget* DialogPanel(QWidget* parent, const char* name, const QColor& colour, QRect geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(3);
    panel->setGeometry(geometry);
    SetBackground(panel, colour);
    panel->hide();
    return panel;
}

}  // namespace

TKSR_SetUp::TKSR_SetUp(SetupRecord& record, WindowServices& services, std::filesystem::path workDir,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      record_(record),
      services_(services),
      workDir_(std::move(workDir)),
      ini_(workDir_) {
    setObjectName(QStringLiteral("KSR_SetUp"));
    ApplyWindowLook(this);  // first: every control below takes the window's font and palette
    setWindowTitle(QString::fromLatin1(kStartTitle));
    SetBackground(this, colour::Silver);

    // The pages scroll when the screen is smaller than the window; the status bar stays in view.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("SetUpScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);  // the first control of the pages takes the focus
    scroll_->setWidgetResizable(false);
    canvas_ = new QWidget;
    canvas_->setObjectName(QStringLiteral("SetUpCanvas"));
    scroll_->setWidget(canvas_);
    SetBackground(scroll_->viewport(), colour::Silver);

    pages_ = new QTabWidget(canvas_);
    pages_->setObjectName(QStringLiteral("SetUpPageControl"));
    editSheet_ = new QWidget;
    editSheet_->setObjectName(QStringLiteral("EditSheet"));
    upLoadSheet_ = new QWidget;
    upLoadSheet_->setObjectName(QStringLiteral("UpLoadSheet"));
    powerSheet_ = new QWidget;
    powerSheet_->setObjectName(QStringLiteral("PowerSheet"));
    pages_->addTab(editSheet_, QStringLiteral("Edit SetUp"));
    pages_->addTab(upLoadSheet_, QStringLiteral("UpLoad old SetUp"));
    pages_->addTab(powerSheet_, QStringLiteral("PowerEstimation"));
    pages_->setCurrentIndex(0);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("SetUpStatus"));
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont bold = status_->font();
    bold.setBold(true);
    status_->setFont(bold);
    status_->setAutoFillBackground(true);
    status_->installEventFilter(this);

    buildEditPage(editSheet_);
    buildDialogPanels(editSheet_);
    // The upload and power pages are made when first shown (or first asked for): the window
    // starts on the edit page.
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            guarded([this] {
                uploadPage();
                SetUpPageControlEnter();  // what the next upload sends, as the folder has it now
            });
        if (index == 2) guarded([this] { powerPage()->PowerSheetEnter(); });
        fitPage(index);
    });

    auto* pageWatcher = new FocusWatcher(pages_);
    on(pageWatcher, &FocusWatcher::entered, &TKSR_SetUp::SetUpPageControlEnter);

    designClient_ = QSize(DesignWidth, DesignHeight - FrameHeight);
    canvas_->setFixedSize(DesignWidth, designClient_.height() - StatusHeight);
    pages_->setGeometry(0, 0, DesignWidth, DesignHeight - FrameHeight - StatusHeight);
    fitToScreen(availableSize());

    // Help beside the pages' tabs and on F1, and the tooltips the captions need.
    auto* help = new QToolButton(pages_);
    help->setObjectName(QStringLiteral("HelpButton"));
    help->setText(QStringLiteral("?"));
    help->setToolTip(QStringLiteral("Help (F1)"));
    help->setAccessibleName(QStringLiteral("Help"));
    pages_->setCornerWidget(help, Qt::TopRightCorner);
    on(help, &QToolButton::clicked, &TKSR_SetUp::ShowHelp);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    on(f1, &QShortcut::activated, &TKSR_SetUp::ShowHelp);
    ApplyControlTips(this);
    // The keyboard and screen readers reach everything the mouse does.
    InstallAccessibility();
    NameFocusableControls(this);
    PressButtonsWithEnter(this);
    setUpFileBox_->installEventFilter(this);
    setUpFileBox_->setToolTip(QStringLiteral("Working folder: ") +
                              QString::fromStdString(std::filesystem::absolute(workDir_).string()));
    selectBelowLabel_->setToolTip(setUpFileBox_->toolTip());
    FormCreate();
}

template <class Box>
Box* TKSR_SetUp::placeBox(Box* box, QRect geometry) {
    box->setGeometry(geometry);
    box->hide();
    box->setEnabled(false);
    return box;
}

void TKSR_SetUp::buildEditPage(QWidget* page) {
    const QFont fixed = FixedPitchFont();

    newSetUpPanel_ = new ClickPanel(QStringLiteral("NewSetUpPanel"), QStringLiteral("New SetUp"),
                                    colour::Lime, page);
    newSetUpPanel_->setGeometry(8, 8, 120, 30);
    selectBelowLabel_ =
        Label(page, "SelectBelowLabel", QStringLiteral("or select below"), {140, 14, 140, 20});
    setUpFileBox_ = new QListWidget(page);
    setUpFileBox_->setObjectName(QStringLiteral("SetUpFileBox"));
    setUpFileBox_->setGeometry(8, 46, 300, 330);
    setUpFileBox_->setFont(fixed);
    refreshFileList();

    setUpName_ = Label(page, "SetUpName", QStringLiteral("NoName"), {8, 4, 200, 34});
    QFont big = setUpName_->font();
    big.setPixelSize(24);
    big.setBold(true);
    setUpName_->setFont(big);
    QPalette maroon = setUpName_->palette();
    maroon.setColor(QPalette::WindowText, colour::Maroon);
    setUpName_->setPalette(maroon);
    builtAtLabel_ = Label(page, "BuiltatLabel", QStringLiteral("Built at"), {214, 12, 60, 20});
    QPalette red = builtAtLabel_->palette();
    red.setColor(QPalette::WindowText, colour::Red);
    builtAtLabel_->setPalette(red);
    setUpDateLabel_ = Label(page, "SetUpDateLabel", QString(), {276, 12, 250, 20});
    setUpNameEdit_ = new QLineEdit(page);
    setUpNameEdit_->setObjectName(QStringLiteral("SetUpNameEdit"));
    setUpNameEdit_->setGeometry(214, 36, 100, 24);
    setUpNameEdit_->setFont(fixed);
    setUpNameEdit_->setMaxLength(8);
    setUpNameEdit_->setPlaceholderText(QStringLiteral("new name"));
    setUpNameEdit_->installEventFilter(this);
    connect(setUpNameEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int cursor = setUpNameEdit_->cursorPosition();
        setUpNameEdit_->setText(text.toLower());
        setUpNameEdit_->setCursorPosition(cursor);
    });
    on(setUpNameEdit_, &QLineEdit::returnPressed, &TKSR_SetUp::SetUpNameEditExit);
    unLockPanel_ =
        new ClickPanel(QStringLiteral("UnLockPanel"), QStringLiteral("UnLock"), colour::Lime, page);
    unLockPanel_->setGeometry(536, 8, 76, 30);
    closeSetUpPanel_ = new ClickPanel(QStringLiteral("CloseSetUpPanel"), QStringLiteral("Close"),
                                      colour::Red, page);
    closeSetUpPanel_->setGeometry(620, 8, 80, 30);
    for (QWidget* w :
         std::initializer_list<QWidget*>{setUpName_, builtAtLabel_, setUpDateLabel_, setUpNameEdit_,
                                         unLockPanel_, closeSetUpPanel_})
        w->hide();

    closeMenu_ = new QMenu(this);
    closeMenu_->setObjectName(QStringLiteral("CloseMenu"));
    auto item = [this](const char* name, const char* text, void (TKSR_SetUp::*handler)()) {
        QAction* action = closeMenu_->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        on(action, &QAction::triggered, handler);
    };
    item("SaveSetUp", "&Save SetUp", &TKSR_SetUp::SaveSetUpClick);
    item("SaveSetUpas", "S&ave SetUp as ...", &TKSR_SetUp::SaveSetUpasClick);
    item("EXITwithoutSaving1", "E&XIT without Saving", &TKSR_SetUp::EXITwithoutSaving1Click);

    srateBox_ = placeBox(new RatesEditor(record_, page), {8, 64, 470, 160});
    auto* rateWatcher = new FocusWatcher(srateBox_);
    on(rateWatcher, &FocusWatcher::exited, &TKSR_SetUp::CheckSrate);
    auxChannelBox_ = placeBox(new AuxChannelsBox(record_, page), {484, 64, 220, 160});
    recordSetBox_ = placeBox(new RecordSettingsBox(record_, page), {8, 230, 230, 156});
    connect(recordSetBox_, &RecordSettingsBox::recordModeChosen, this,
            [this] { sizeForRecordMode(); });
    gpsBox_ = placeBox(new GpsSettingsBox(record_, page), {244, 230, 234, 156});
    temperatureBox_ = new QGroupBox(QStringLiteral("Temperature Setting"), page);
    temperatureBox_->setObjectName(QStringLiteral("TemperatureBox"));
    temperatureBox_->setGeometry(484, 230, 220, 56);
    temperatureBox_->hide();
    Label(temperatureBox_, "LowestTempLabel", QString::fromUtf8("Lowest Temperature [\u00B0C]"),
          {8, 24, 150, 22});
    temperatureSpin_ = new SpinEdit(QStringLiteral("TemperatureSpin"), LowestTemperatureMin,
                                    LowestTemperatureMax, LowestTemperatureStep, temperatureBox_);
    temperatureSpin_->setGeometry(158, 22, 54, 24);
    temperatureSpin_->setValue(LowestTemperatureDefault);
    calibratBox_ = placeBox(new CalibrationSignalBox(record_, page), {484, 290, 220, 96});
    caliWinBox_ = placeBox(new OutputWindowsBox(record_, page), {8, 392, 696, 129});
    recordWinBox_ = placeBox(new RecordWindowsBox(record_, page), {8, 528, 696, 177});

    on(newSetUpPanel_, &ClickPanel::clicked, &TKSR_SetUp::NewSetUpPanelClick);
    on(unLockPanel_, &ClickPanel::clicked, &TKSR_SetUp::UnLockPanelClick);
    on(closeSetUpPanel_, &ClickPanel::clicked, &TKSR_SetUp::CloseSetUpPanelClick);
    on(setUpFileBox_, &QListWidget::itemDoubleClicked, &TKSR_SetUp::SetUpFileBoxDblClick);
}

void TKSR_SetUp::buildDialogPanels(QWidget* page) {
    auto press = [this](QPushButton* button, void (TKSR_SetUp::*handler)()) {
        on(button, &QPushButton::clicked, handler);
    };
    renamePanel_ = DialogPanel(page, "RenamePanel", colour::Orange, {190, 140, 330, 100});
    renameText_ = Label(renamePanel_, "RenameText", QString(), {10, 10, 310, 30});
    renameText_->setAlignment(Qt::AlignCenter);
    overWriteButton_ = Button(renamePanel_, "OverWriteButton", "&OverWrite", {40, 56, 110, 30});
    renameButton_ = Button(renamePanel_, "RenameButton", "&ReName", {180, 56, 110, 30});
    press(overWriteButton_, &TKSR_SetUp::OverWriteButtonClick);
    press(renameButton_, &TKSR_SetUp::RenameButtonClick);

    savedBox_ = DialogPanel(page, "SavedBox", colour::LightYellow, {190, 140, 330, 130});
    savedText_ = Label(savedBox_, "SavedText", QString(), {10, 10, 310, 26});
    savedText_->setAlignment(Qt::AlignCenter);
    auto* buildLabel = Label(savedBox_, "BuildIniLabel",
                             QStringLiteral("Build new  \"recorder.ini\" ?"), {10, 44, 310, 26});
    buildLabel->setAlignment(Qt::AlignCenter);
    buildIniYesButton_ = Button(savedBox_, "BuildIniYesButton", "&YES", {40, 86, 110, 30});
    buildIniNoButton_ = Button(savedBox_, "BuildIniNoButton", "&NO", {180, 86, 110, 30});
    press(buildIniYesButton_, &TKSR_SetUp::BuildIniYesButtonClick);
    press(buildIniNoButton_, &TKSR_SetUp::BuildIniNoButtonClick);

    exitBox_ = DialogPanel(page, "ExitBox", colour::Red, {190, 140, 330, 100});
    auto* exitLabel =
        Label(exitBox_, "ExitLabel", QStringLiteral("Exit Without Saving ?"), {10, 10, 310, 30});
    exitLabel->setAlignment(Qt::AlignCenter);
    exitYesButton_ = Button(exitBox_, "ExitYesButton", "&YES", {40, 56, 110, 30});
    exitNoButton_ = Button(exitBox_, "ExitNoButton", "&NO", {180, 56, 110, 30});
    press(exitYesButton_, &TKSR_SetUp::ExitYesButtonClick);
    press(exitNoButton_, &TKSR_SetUp::ExitNoButtonClick);

    iniBuiltPanel_ = DialogPanel(page, "IniBuiltPanel", colour::Green, {190, 140, 330, 100});
    QFont italic = iniBuiltPanel_->font();
    italic.setItalic(true);
    iniBuiltPanel_->setFont(italic);
    auto* changedLabel = Label(iniBuiltPanel_, "IniChangedLabel",
                               QStringLiteral("'recorder.ini'   changed"), {10, 10, 310, 30});
    changedLabel->setAlignment(Qt::AlignCenter);
    iniChangedOKButton_ = Button(iniBuiltPanel_, "IniChangedOKButton", "&OK", {110, 56, 110, 30});
    press(iniChangedOKButton_, &TKSR_SetUp::IniChangedOKButtonClick);
}

// Children made after their page was shown need showing, but for those meant hidden.
static void ShowMadeChildren(QWidget* page) {
    if (!page->isVisible()) return;
    for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isWindow() && !w->testAttribute(Qt::WA_WState_ExplicitShowHide)) w->show();
}

UploadPage* TKSR_SetUp::uploadPage() {
    if (!uploadPage_) {
        buildUploadPage(upLoadSheet_);
        ApplyControlTips(upLoadSheet_);
        NameFocusableControls(upLoadSheet_);
        PressButtonsWithEnter(upLoadSheet_);
        ShowMadeChildren(upLoadSheet_);
        SetUpPageControlEnter();
    }
    return uploadPage_;
}

PowerPage* TKSR_SetUp::powerPage() {
    if (!powerPage_) {
        PowerPage::Host host{
            [this] { return statusText(); },
            [this](const QColor& c, const QString& text) { setStatus(c, text); },
            [this] { SHORT_SIZE(); },
            [this] { guarded([this] { CheckSrate(); }); },
            [this] { services_.endProgram(); },
        };
        powerPage_ = new PowerPage(std::move(host), powerSheet_);
        powerPage_->setGeometry(0, 0, DesignWidth, 530);
        ApplyControlTips(powerSheet_);
        NameFocusableControls(powerSheet_);
        PressButtonsWithEnter(powerSheet_);
        ShowMadeChildren(powerSheet_);
        powerPage_->Start();
    }
    return powerPage_;
}

void TKSR_SetUp::buildUploadPage(QWidget* page) {
    closeUpLoadPanel_ = new ClickPanel(QStringLiteral("CloseUpLoadPanel"), QStringLiteral("Close"),
                                       colour::Red, page);
    closeUpLoadPanel_->setGeometry(620, 8, 80, 30);
    on(closeUpLoadPanel_, &ClickPanel::clicked, &TKSR_SetUp::CloseUpLoadPanelClick);
    iniFileMemo_ = new QPlainTextEdit(page);
    iniFileMemo_->setObjectName(QStringLiteral("IniFileMemo"));
    iniFileMemo_->setReadOnly(true);
    iniFileMemo_->setFont(FixedPitchFont());
    iniFileMemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    iniFileMemo_->setGeometry(4, 72, 287, 641);
    nextUploadLabel_ = Label(page, "NextUploadLabel", QString(), {4, 40, 287, 30});
    nextUploadLabel_->setAutoFillBackground(true);
    nextUploadLabel_->setToolTip(QStringLiteral(
        "What \"UpLoad to KSR\" sends: the set-up name, date and time of the working folder's "
        "recorder.ini, which goes as it is, whatever set-up is open"));
    UploadPage::Host host{
        [this](const QColor& c, const QString& text) { setStatus(c, text); },
        [this] { return status_->text(); },
        [this] { repaint(); },
        [this](bool shown) { closeUpLoadPanel_->setVisible(shown); },
        [this](const std::function<void()>& handler) { guarded(handler); },
        [this](const QStringList& lines, const std::vector<bool>& marked) {
            ShowMarkedLines(lines, marked);
        },
    };
    uploadPage_ = new UploadPage(page, std::move(host), workDir_);
}

QWidget* TKSR_SetUp::helpWindow() const {
    return help_;
}

void TKSR_SetUp::ShowHelp() {
    if (!help_)
        help_ = new HelpWindow(QString::fromStdString(std::filesystem::absolute(workDir_).string()),
                               this);
    help_->show();
    help_->raise();
    help_->activateWindow();
    // At the section of the page the operator is on.
    static const char* const kSections[] = {"edit", "upload", "power"};
    const int page = pages_->currentIndex();
    if (page >= 0 && page < 3) help_->showSection(QString::fromLatin1(kSections[page]));
}

void TKSR_SetUp::ShowNextUpload() {
    if (!uploadPage_ || memoShowsRecorder_) return;
    const bool haveFile = localIni_;
    const auto value = [this](const char* key) {
        const auto values = KeyValues(ini_.lines(), key);
        return values.empty() ? QString() : Latin1Text(values.front());
    };
    QString text;
    bool otherSetup = false;
    if (!haveFile) {
        text = QStringLiteral("sends: no recorder.ini in the folder");
    } else {
        const QString name = value("setup_name");
        text =
            QStringLiteral("sends: %1  %2 %3").arg(name, value("setup_date"), value("setup_time"));
        const QString open = Latin1Text(record_.SetupName);
        otherSetup = setupOpen_ && name.compare(open, Qt::CaseInsensitive) != 0;
        if (otherSetup) text += QStringLiteral("\nnot the open set-up %1 !").arg(open);
    }
    nextUploadLabel_->setText(text);
    SetBackground(nextUploadLabel_, otherSetup ? colour::Orange : colour::Silver);
}

void TKSR_SetUp::ShowMarkedLines(const QStringList& lines, const std::vector<bool>& marked) {
    memoShowsRecorder_ = true;
    nextUploadLabel_->setText(
        QStringLiteral("recorder.ini of KSR, read %1").arg(TimeText(services_.now().time())));
    SetBackground(nextUploadLabel_, colour::Silver);
    iniFileMemo_->setPlainText(lines.join(QLatin1Char('\n')));
    QList<QTextEdit::ExtraSelection> marks;
    QTextBlock block = iniFileMemo_->document()->firstBlock();
    for (std::size_t i = 0; block.isValid(); ++i, block = block.next()) {
        if (i >= marked.size() || !marked[i]) continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.format.setBackground(colour::Orange);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks << mark;
    }
    iniFileMemo_->setExtraSelections(marks);
    // From the first line that differs, so that it is in view.
    const auto first = std::find(marked.begin(), marked.end(), true);
    if (first != marked.end()) {
        QTextCursor at(
            iniFileMemo_->document()->findBlockByNumber(static_cast<int>(first - marked.begin())));
        iniFileMemo_->setTextCursor(at);
        iniFileMemo_->verticalScrollBar()->setValue(static_cast<int>(first - marked.begin()));
    }
}

void TKSR_SetUp::refreshFileList() {
    setUpFileBox_->clear();
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(workDir_, ec)) {
        const auto ext = entry.path().extension().string();
        if (entry.is_regular_file(ec) && (ext == ".set" || ext == ".SET"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        auto* item =
            new QListWidgetItem(QString::fromStdString(file.filename().string()), setUpFileBox_);
        item->setData(Qt::UserRole, QByteArray::fromStdString(file.string()));
    }
}

void TKSR_SetUp::setStatus(const QColor& background, const QString& text) {
    QPalette palette = status_->palette();
    palette.setColor(QPalette::Window,
                     background.isValid() ? background : this->palette().color(QPalette::Button));
    status_->setPalette(palette);
    status_->setText(text);
    emit statusChanged(palette.color(QPalette::Window), text);
}

QString TKSR_SetUp::statusText() const {
    return status_->text();
}
QColor TKSR_SetUp::statusColour() const {
    return status_->palette().color(QPalette::Window);
}

void TKSR_SetUp::resizeTo(int bottomEdge) {
    const int pageHeight = bottomEdge + StatusHeight + 10;
    const int windowHeight = bottomEdge + StatusHeight + 65;
    designClient_ = QSize(DesignWidth, windowHeight - FrameHeight);
    canvas_->setFixedSize(DesignWidth, designClient_.height() - StatusHeight);
    pages_->setGeometry(0, 0, DesignWidth, pageHeight);
    fitToScreen(availableSize());
}

QSize TKSR_SetUp::availableSize() const {
    const QScreen* s = screen();
    if (!s) return designClient_;
    return s->availableGeometry().size() - QSize(0, FrameHeight);
}

void TKSR_SetUp::fitToScreen(const QSize& available) {
    QSize size = designClient_;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    const bool tall = size.height() > available.height();
    const bool wide = size.width() > available.width();
    if (tall) size.rwidth() += bar;
    if (wide) size.rheight() += bar;
    size = size.boundedTo(available);
    setFixedSize(size);
    scroll_->setGeometry(0, 0, size.width(), size.height() - StatusHeight);
    status_->setGeometry(0, size.height() - StatusHeight, size.width(), StatusHeight);
}

void TKSR_SetUp::showEvent(QShowEvent* event) {
    fitToScreen(availableSize());  // the screen the window opens on is known now
    QWidget::showEvent(event);
}

void TKSR_SetUp::fitPage(int index) {
    if (index == 0 && setupOpen_) {
        sizeForRecordMode();
    } else if (index == 0 || index == 1) {
        // The file list, or the memo and the console: the long height, whatever the power
        // page left.
        resizeTo(recordWinBox_->geometry().bottom() + 1);
    }
}

void TKSR_SetUp::sizeForRecordMode() {
    if (record_.RecordParams[RecordMode] == code::Conti)
        SHORT_SIZE();
    else
        LONG_SIZE();
}

void TKSR_SetUp::LONG_SIZE() {
    resizeTo(recordWinBox_->geometry().bottom() + 1);
    recordWinBox_->show();
}

void TKSR_SetUp::SHORT_SIZE() {
    resizeTo(caliWinBox_->geometry().bottom() + 1);
    recordWinBox_->hide();
}

void TKSR_SetUp::SHOW_BOXES() {
    newSetUpPanel_->hide();
    selectBelowLabel_->hide();
    setUpFileBox_->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{
             srateBox_, auxChannelBox_, calibratBox_, recordSetBox_, gpsBox_, temperatureBox_,
             caliWinBox_, recordWinBox_, setUpName_, builtAtLabel_, setUpDateLabel_,
             closeSetUpPanel_})
        w->show();
}

void TKSR_SetUp::ENABLE_BOXES() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{srateBox_, auxChannelBox_, calibratBox_, recordSetBox_,
                                         gpsBox_, caliWinBox_, recordWinBox_, temperatureBox_})
        w->setEnabled(true);
    setSaved(false);
}

int TKSR_SetUp::lowestTemperature() const {
    return temperatureSpin_->value();
}

void TKSR_SetUp::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const KsrError& e) {
        services_.showError(this, QString::fromLocal8Bit(e.located().c_str()));
    } catch (const std::exception& e) {
        services_.showError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TKSR_SetUp::closeEvent(QCloseEvent* event) {
    bool allowed = false;
    guarded([&] { allowed = FormCloseQuery(); });
    if (allowed) {
        event->accept();
        services_.endProgram();
    } else {
        event->ignore();
    }
}

std::string TKSR_SetUp::path(const std::string& fileName) const {
    return (workDir_ / fileName).string();
}

}  // namespace ksr::ui
