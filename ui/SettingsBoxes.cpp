#include "ui/SettingsBoxes.h"

#include "ui/Look.h"

#include <QFontDatabase>

namespace ksr::ui {

MenuButton::MenuButton(const char* name, const char* caption, const char* menuName, QWidget* parent)
    : QPushButton(QString::fromLatin1(caption), parent), menu_(new QMenu(this)) {
    setObjectName(QString::fromLatin1(name));
    menu_->setObjectName(QString::fromLatin1(menuName));
    connect(this, &QPushButton::clicked, this, &MenuButton::popUp);
}

QAction* MenuButton::addItem(const char* name, const QString& text, std::function<void()> action) {
    QAction* item = menu_->addAction(text);
    item->setObjectName(QString::fromLatin1(name));
    connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
    return item;
}

void MenuButton::popUp() {
    menu_->popup(mapToGlobal(QPoint(0, height())));
}

QLabel* ValueLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setFont(FixedPitchFont());
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

// ---- Record Settings ----

RecordSettingsBox::RecordSettingsBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Record Settings"), parent), record_(record) {
    setObjectName(QStringLiteral("RecordSetBox"));
    auto* mode = new MenuButton("RecModeButton", "Record Mode", "RecModeMenu", this);
    mode->setGeometry(8, 20, 96, 24);
    mode->setToolTip(QStringLiteral("Select Recording Modes"));
    mode->addItem("ContiRec", QStringLiteral("Continuous"), [this] { ContiRecClick(); })
        ->setToolTip(QStringLiteral("Continuous Recording, overruns all Time Windows"));
    mode->addItem("TimedRec", QStringLiteral("Timed"), [this] { TimedRecClick(); })
        ->setToolTip(QStringLiteral("Recorder sleeps between Time Windows"));
    recModeText_ = ValueLabel(this, "RecModeText", {110, 21, 110, 22});

    auto* type = new MenuButton("DataTypeButton", "Data Type", "DataTypeMenu", this);
    type->setGeometry(8, 48, 96, 24);
    type->addItem("MiniSEEDLT1", QStringLiteral("MiniSEED   little Endian"),
                  [this] { DataTypeClick(1); });
    type->addItem("ASCII1", QStringLiteral("ASCII"), [this] { DataTypeClick(2); });
    type->addItem("Legacy1", QStringLiteral("Legacy"), [this] { DataTypeClick(3); });
    type->addItem("MiniSEEDBE1", QStringLiteral("MiniSEED   big Endian"),
                  [this] { DataTypeClick(4); });
    dataTypeText_ = ValueLabel(this, "DataTypeText", {110, 49, 110, 22});

    auto* disk = new MenuButton("DiskModeButton", "Disk Mode", "DiskModeMenu", this);
    disk->setGeometry(8, 76, 96, 24);
    disk->addItem("WriteOnce1", QStringLiteral("Write Once"), [this] { DiskModeClick(1); });
    disk->addItem("RingBuffer1", QStringLiteral("Ring Buffer"), [this] { DiskModeClick(2); });
    diskModeText_ = ValueLabel(this, "DiskModeText", {110, 77, 110, 22});

    Label(this, "FileLenText", QStringLiteral("File Length [min]"), {8, 112, 110, 22});
    fileLength_ = new SpinEdit(QStringLiteral("FileLength"), 5, 1440, 5, this);
    fileLength_->setGeometry(124, 110, 64, 26);
    fileLength_->setMaxLength(4);
    fileLength_->setValue(60);
    connect(fileLength_, &SpinEdit::changed, this, &RecordSettingsBox::FileLengthChange);
}

void RecordSettingsBox::ContiRecClick() {
    record_.RecordParams[RecordMode] = code::Conti;
    ShowRecordMode();
    emit recordModeChosen(code::Conti);
}

void RecordSettingsBox::TimedRecClick() {
    record_.RecordParams[RecordMode] = code::Timed;
    ShowRecordMode();
    emit recordModeChosen(code::Timed);
}

void RecordSettingsBox::DataTypeClick(int code) {
    record_.RecordParams[DataType] = code;
    dataTypeText_->setText(Latin1Text(DataTypeNames[code]));
}

void RecordSettingsBox::DiskModeClick(int code) {
    record_.RecordParams[DiskMode] = code;
    diskModeText_->setText(Latin1Text(DiskModeNames[code]));
}

void RecordSettingsBox::FileLengthChange() {
    if (EmptySpinBecomesZero(fileLength_)) return;  // the nested change stored the value
    const int minutes = fileLength_->value();
    record_.RecordParams[FileLength] = minutes;
    fileLength_->setStep(minutes < 60 ? 5 : minutes < 240 ? 30 : 120);
}

void RecordSettingsBox::ShowRecordMode() {
    recModeText_->setText(
        Latin1Text(RecordModeNames.at(record_.RecordParams[RecordMode], "RecordMode")));
}

void RecordSettingsBox::ShowFileAndFormat() {
    fileLength_->setValue(record_.RecordParams[FileLength]);
    dataTypeText_->setText(Latin1Text(DataTypeNames.at(record_.RecordParams[DataType], "DataType")));
    diskModeText_->setText(Latin1Text(DiskModeNames.at(record_.RecordParams[DiskMode], "DiskMode")));
}

// ---- GPS Settings ----

GpsSettingsBox::GpsSettingsBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("GPS Settings"), parent), record_(record) {
    setObjectName(QStringLiteral("GPSBox"));
    auto* mode = new MenuButton("GPSModeButton", "GPS Mode", "GPSModeMenu", this);
    mode->setGeometry(8, 20, 86, 24);
    mode->addItem("Continuous1", QStringLiteral("Continuous"), [this] { Continuous1Click(); });
    mode->addItem("Cycled1", QStringLiteral("Cycled"), [this] { Cycled1Click(); });
    modeText_ = ValueLabel(this, "GPSModeText", {100, 21, 104, 22});
    cycleSelect_ = new SpinButton(QStringLiteral("GPSCycleSelect"), this);
    cycleSelect_->setGeometry(208, 20, 18, 24);
    cycleSelect_->hide();
    connect(cycleSelect_, &SpinButton::upClicked, this, [this] { GPSCycleSelectClick(+1); });
    connect(cycleSelect_, &SpinButton::downClicked, this, [this] { GPSCycleSelectClick(-1); });

    auto* lock = new MenuButton("GPSLockButton", "Lock Mode", "GPSLockMenu", this);
    lock->setGeometry(8, 46, 86, 24);
    lock->addItem("N3DLock1", QStringLiteral("2D/3D Lock"), [this] { LockClick(1); });
    lock->addItem("SingleSatLock1", QStringLiteral("Single-Sat Lock"), [this] { LockClick(2); });
    lockText_ = ValueLabel(this, "GPSLockText", {100, 47, 104, 22});

    auto* log = new MenuButton("GPSLogButton", "Log Type", "GPSLogMenu", this);
    log->setGeometry(8, 72, 86, 24);
    log->addItem("GPSString1", QStringLiteral("GPS String"), [this] { LogClick(1); });
    log->addItem("PLLData1", QStringLiteral("PLL Data"), [this] { LogClick(2); });
    log->addItem("PLLChange1", QStringLiteral("PLL Change"), [this] { LogClick(3); });
    log->addItem("PLL10s1", QString::fromUtf8("PLL > 10 \u00B5s"), [this] { LogClick(4); });
    logText_ = ValueLabel(this, "GPSLogText", {100, 73, 104, 22});

    Label(this, "IniPosText", QStringLiteral("Initial Position"), {8, 100, 120, 18});
    Label(this, "LatLabel", QStringLiteral("Lat"), {8, 122, 24, 22});
    lat_ = new SpinEdit(QStringLiteral("LatSpin"), -90, 90, 1, this);
    lat_->setGeometry(34, 120, 60, 26);
    lat_->setMaxLength(3);
    lat_->setValue(0);
    Label(this, "LonLabel", QStringLiteral("Lon"), {110, 122, 26, 22});
    lon_ = new SpinEdit(QStringLiteral("LonSpin"), -179, 180, 1, this);
    lon_->setGeometry(138, 120, 66, 26);
    lon_->setMaxLength(4);
    lon_->setValue(0);
    connect(lat_, &SpinEdit::changed, this, &GpsSettingsBox::LatSpinChange);
    connect(lon_, &SpinEdit::changed, this, &GpsSettingsBox::LonSpinChange);
}

void GpsSettingsBox::Continuous1Click() {
    record_.GpsParams[GpsMode] = 1;
    modeText_->setText(Latin1Text(GpsModeNames[1]));
    cycleSelect_->hide();
}

void GpsSettingsBox::Cycled1Click() {
    record_.GpsParams[GpsMode] = 2;
    modeText_->setText(Latin1Text(GpsModeNames[2]));
    cycleSelect_->show();
}

void GpsSettingsBox::GPSCycleSelectClick(int step) {
    const int mode = record_.GpsParams[GpsMode] + step;
    if (mode < 2 || mode > GpsModeNames.size()) return;  // the ends: no wrap, never continuous
    record_.GpsParams[GpsMode] = mode;
    modeText_->setText(Latin1Text(GpsModeNames[mode]));
}

void GpsSettingsBox::LockClick(int code) {
    record_.GpsParams[ClockMode] = code;
    lockText_->setText(Latin1Text(ClockModeNames[code]));
}

void GpsSettingsBox::LogClick(int code) {
    record_.GpsParams[LogMode] = code;
    logText_->setText(Latin1Text(LogModeNames[code]));
}

void GpsSettingsBox::LatSpinChange() {
    if (EmptySpinBecomesZero(lat_)) return;
    record_.GpsParams[GpsLat] = lat_->value();
}

void GpsSettingsBox::LonSpinChange() {
    if (EmptySpinBecomesZero(lon_)) return;
    record_.GpsParams[GpsLon] = lon_->value();
}

void GpsSettingsBox::ShowRecord() {
    const int mode = record_.GpsParams[GpsMode];
    modeText_->setText(Latin1Text(GpsModeNames.at(mode, "GpsMode")));
    cycleSelect_->setVisible(mode != 1);
    lat_->setValue(record_.GpsParams[GpsLat]);
    lon_->setValue(record_.GpsParams[GpsLon]);
    lockText_->setText(Latin1Text(ClockModeNames.at(record_.GpsParams[ClockMode], "ClockMode")));
    logText_->setText(Latin1Text(LogModeNames.at(record_.GpsParams[LogMode], "LogMode")));
}

// ---- Aux. Channels ----

AuxChannelsBox::AuxChannelsBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Aux. Channels"), parent), record_(record) {
    setObjectName(QStringLiteral("AuxChannelBox"));
    struct Item {
        const char* name;
        const char* caption;
        QRect geometry;
    };
    // In the record's order: Aux 1-4, T Rec., T Disk, U Batt., I Batt. (current shown above
    // voltage).
    const Item items[AuxFlagCount] = {
        {"Aux1CheckBox", "Aux 1", {12, 24, 80, 24}},
        {"Aux2CheckBox", "Aux 2", {12, 56, 80, 24}},
        {"Aux3CheckBox", "Aux 3", {12, 88, 80, 24}},
        {"Aux4CheckBox", "Aux 4", {12, 120, 80, 24}},
        {"TempRecCheckBox", "T Rec.", {116, 24, 90, 24}},
        {"TempDiskCheckBox", "T Disk", {116, 56, 90, 24}},
        {"UbattCheckBox", "U Batt.", {116, 120, 90, 24}},
        {"IbattCheckBox", " I  Batt.", {116, 88, 90, 24}},
    };
    for (int i = 1; i <= AuxFlagCount; ++i) {
        const Item& item = items[i - 1];
        auto* box = new QCheckBox(QString::fromLatin1(item.caption), this);
        box->setObjectName(QString::fromLatin1(item.name));
        box->setLayoutDirection(Qt::RightToLeft);  // text left of the box
        box->setGeometry(item.geometry);
        connect(box, &QCheckBox::toggled, this, [this, i] { AuxCheckBoxClick(i); });
        boxes_[i] = box;
    }
    boxes_[1]->setToolTip(QStringLiteral("Aux Channel 1 "));
}

void AuxChannelsBox::AuxCheckBoxClick(int flag) {
    record_.AuxFlags[flag] = boxes_[flag]->isChecked() ? code::On : code::Off;
}

void AuxChannelsBox::ShowRecord() {
    for (int i = 1; i <= AuxFlagCount; ++i) boxes_[i]->setChecked(record_.AuxFlags[i] != code::Off);
}

// ---- Calibration Signal ----

CalibrationSignalBox::CalibrationSignalBox(SetupRecord& record, QWidget* parent)
    : QGroupBox(QStringLiteral("Calibration Signal"), parent), record_(record) {
    setObjectName(QStringLiteral("CalibratBox"));
    auto* type = new MenuButton("SignalTypeButton", "Signal Type", "SignalTypeMenu", this);
    type->setGeometry(8, 20, 90, 24);
    type->addItem("Step1", QStringLiteral("Step"), [this] { SignalTypeClick(1); });
    type->addItem("Sinus1", QStringLiteral("Sinus"), [this] { SignalTypeClick(2); });
    type->addItem("Sweep1", QStringLiteral("Sweep"), [this] { SignalTypeClick(3); });
    signalTypeText_ = ValueLabel(this, "SignalTypeText", {104, 21, 70, 22});
    freqLabel_ = Label(this, "CaliFreqLabel", QStringLiteral("Frequency"), {8, 46, 70, 20});
    freqText_ = Label(this, "CaliFreqText", QStringLiteral("1 Hz"), {80, 46, 130, 20});
    freqLabel_->hide();
    freqText_->hide();
    Label(this, "VoltText", QStringLiteral("Voltage [mV]"), {8, 68, 90, 22});
    volt_ = new SpinEdit(QStringLiteral("VoltSpin"), -10000, 10000, 100, this);
    volt_->setGeometry(104, 66, 76, 24);
    volt_->setMaxLength(6);
    volt_->setValue(0);
    connect(volt_, &SpinEdit::changed, this, &CalibrationSignalBox::VoltSpinChange);
}

void CalibrationSignalBox::SignalTypeClick(int code) {
    record_.OutputWindows[CalOut].SignalType = code;
    signalTypeText_->setText(Latin1Text(SignalTypeNames[code]));
    freqLabel_->setVisible(code != code::Step);
    freqText_->setVisible(code != code::Step);
    if (code == code::Sine) freqText_->setText(QStringLiteral("1 Hz"));
    if (code == code::Sweep) freqText_->setText(QStringLiteral("0.1 .. 20 Hz"));
}

void CalibrationSignalBox::VoltSpinChange() {
    if (EmptySpinBecomesZero(volt_)) return;
    record_.OutputWindows[CalOut].MilliVolt = volt_->value();
}

void CalibrationSignalBox::ShowRecord() {
    const int type = record_.OutputWindows[CalOut].SignalType;
    const QString name = Latin1Text(SignalTypeNames.at(type, "CalOut SignalType"));
    freqLabel_->setVisible(type != code::Step);
    freqText_->setVisible(type != code::Step);
    signalTypeText_->setText(name);
    if (type == code::Sine) freqText_->setText(QStringLiteral("1 Hz"));
    if (type == code::Sweep) freqText_->setText(QStringLiteral("0.1 ... 20 Hz"));
    volt_->setValue(record_.OutputWindows[CalOut].MilliVolt);
}

}  // namespace ksr::ui
