#pragma once
// The main window: three pages ("Edit SetUp", "UpLoad old SetUp", "PowerEstimation"), the status
// bar, and the workflow around one set-up: new or open, unlock, finish, save (with the name
// clash dialog), build recorder.ini and hand over to the upload page.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "recorder_ini/RecorderIni.h"
#include "setup/SetupRecord.h"
#include "ui/Look.h"
#include "ui/PowerPage.h"
#include "ui/RatesEditor.h"
#include "ui/SettingsBoxes.h"
#include "ui/TimeWindowsEditor.h"
#include "ui/UploadPage.h"
#include "ui/Widgets.h"
#include "ui/WindowServices.h"

namespace ksr::ui {

class HelpWindow;

class TKSR_SetUp : public QWidget {
    Q_OBJECT
  public:
    static constexpr int DesignWidth = 712;
    static constexpr int DesignHeight = 794;
    // Title bar and borders: the window heights below include them.
    static constexpr int FrameHeight = 30;
    static constexpr int StatusHeight = 25;

    TKSR_SetUp(SetupRecord& record, WindowServices& services,
               std::filesystem::path workDir = std::filesystem::current_path(),
               QWidget* parent = nullptr);

    // Start-up and workflow handlers.
    void FormCreate();
    void NewSetUpPanelClick();
    void SetUpFileBoxDblClick();
    void UnLockPanelClick();
    void CloseSetUpPanelClick();
    void SaveSetUpClick();
    void SaveSetUpasClick();
    void EXITwithoutSaving1Click();
    void SetUpNameEditExit();
    void SetUpNameEditDblClick() { SetUpNameEditExit(); }
    void OverWriteButtonClick();
    void RenameButtonClick();
    void BuildIniYesButtonClick();
    void BuildIniNoButtonClick() { EndSequence(); }
    void IniChangedOKButtonClick();
    void ExitYesButtonClick() { EndSequence(); }
    void ExitNoButtonClick();
    bool FormCloseQuery();
    void SetUpPageControlEnter();
    // Above the memo: the set-up name, date and time of the recorder.ini the next upload sends
    // (the buffer's, as last loaded), and a warning when the set-up open in the window is
    // another one. Kept while the memo shows a recorder's file read back.
    void ShowNextUpload();
    // The help window, made on first use.
    void ShowHelp();
    QWidget* helpWindow() const;
    // The memo shows the recorder's file read back, `lines`, those flagged in `marked` on an
    // orange ground, from the first of them; the line above it says whose file it is.
    void ShowMarkedLines(const QStringList& lines, const std::vector<bool>& marked);
    void CloseUpLoadPanelClick() { EndSequence(); }
    void CheckSrate();

    // Window operations.
    void SETUP_ENTRY();
    void SHOW_BOXES();
    void ENABLE_BOXES();
    void LONG_SIZE();
    void SHORT_SIZE();
    // The edit page's size for the record's mode: short for continuous recording.
    void sizeForRecordMode();
    void SAVE_SETUP();

    // The status bar: text and background colour (an invalid colour is the neutral default).
    void setStatus(const QColor& background, const QString& text);
    QString statusText() const;
    QColor statusColour() const;

    // The window's height, title bar and borders included (the screen may show less and
    // scroll).
    int windowHeight() const { return designClient_.height() + FrameHeight; }
    // Sizes the window to the design, or to `available` with scroll bars where it is smaller.
    void fitToScreen(const QSize& available);
    int lowestTemperature() const;

    // The date and time texts of a moment: 06-DEC-2026 and 14:07.
    static QString DateText(const QDate& date);
    static QString TimeText(const QTime& time);

    RecorderIni& recorderIni() { return ini_; }
    // Made on first use.
    PowerPage* powerPage();
    UploadPage* uploadPage();
    // The upload and power pages are there (made after the first frame, or when first shown).
    bool pagesMade() const { return uploadPage_ && powerPage_; }

  signals:
    // Every change of the status bar, in order.
    void statusChanged(const QColor& background, const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The one place the window changes the record's SetupSaved: saved keeps the copy (and the
    // temperature) that later edits are compared with.
    void setSaved(bool saved);
    void noteEditsSinceSave();
    QSize availableSize() const;
    void buildEditPage(QWidget* page);
    void buildDialogPanels(QWidget* page);
    void buildUploadPage(QWidget* page);
    // Places an editor box: hidden and disabled until a set-up is shown.
    template <class Box>
    Box* placeBox(Box* box, QRect geometry);
    // Runs a handler; an error stops it and is shown in the standard message box.
    void guarded(const std::function<void()>& handler);
    // Connects a control's signal to a handler that runs guarded.
    template <class Sender, class Signal>
    void on(Sender* sender, Signal signal, void (TKSR_SetUp::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    }
    void EndSequence();
    void writeSetUp(const std::string& fileName);
    void showSaved();
    void resizeTo(int bottomEdge);
    // The height a page needs when it is shown: the edit page's follows the record mode (a
    // set-up shown), the upload page's the long height; the power page keeps its own.
    void fitPage(int index);
    void refreshFileList();
    std::string path(const std::string& fileName) const;

    SetupRecord& record_;
    WindowServices& services_;
    std::filesystem::path workDir_;
    RecorderIni ini_;
    std::string setupFileName_;
    bool naming_ = false;
    bool closing_ = false;  // the close question is taking the focus
    // The set-up as last saved, to tell an edit made after the save.
    std::optional<SetupRecord> savedRecord_;
    int savedTemperature_ = 0;
    bool localIni_ = false;           // the folder had a recorder.ini when last loaded
    bool memoShowsRecorder_ = false;  // the memo shows a recorder's file read back

    QTabWidget* pages_;
    QWidget* editSheet_;
    QWidget* upLoadSheet_;
    QWidget* powerSheet_;
    QLabel* status_;
    QScrollArea* scroll_;
    QWidget* canvas_;
    QSize designClient_;

    ClickPanel* newSetUpPanel_;
    QLabel* selectBelowLabel_;
    QListWidget* setUpFileBox_;
    QLabel* setUpName_;
    QLabel* builtAtLabel_;
    QLabel* setUpDateLabel_;
    QLineEdit* setUpNameEdit_;
    ClickPanel* unLockPanel_;
    ClickPanel* closeSetUpPanel_;
    QMenu* closeMenu_;

    QWidget* renamePanel_;
    QLabel* renameText_;
    QPushButton* overWriteButton_;
    QPushButton* renameButton_;
    QWidget* savedBox_;
    QLabel* savedText_;
    QPushButton* buildIniYesButton_;
    QPushButton* buildIniNoButton_;
    QWidget* exitBox_;
    QPushButton* exitYesButton_;
    QPushButton* exitNoButton_;
    QWidget* iniBuiltPanel_;
    QPushButton* iniChangedOKButton_;

    RatesEditor* srateBox_;
    AuxChannelsBox* auxChannelBox_;
    CalibrationSignalBox* calibratBox_;
    RecordSettingsBox* recordSetBox_;
    GpsSettingsBox* gpsBox_;
    QGroupBox* temperatureBox_;
    SpinEdit* temperatureSpin_;
    OutputWindowsBox* caliWinBox_;
    RecordWindowsBox* recordWinBox_;

    PowerPage* powerPage_ = nullptr;
    bool pagesAsked_ = false;
    UploadPage* uploadPage_ = nullptr;
    QPlainTextEdit* iniFileMemo_;
    QLabel* nextUploadLabel_;
    HelpWindow* help_ = nullptr;
    bool setupOpen_ = false;  // a set-up was opened or begun in this window
    ClickPanel* closeUpLoadPanel_;
};

}  // namespace ksr::ui
